#include "pages/page_model.h"

#include <algorithm>
#include <numeric>

#include "platform/natural_order.h"

namespace pagelume::pages {

void PageModel::insert(int position, std::vector<Page> pages) {
    const auto at = static_cast<std::size_t>(std::clamp(position, 0, size()));
    for (const Page& p : pages)
        chapters_ += p.startsChapter();
    pages_.insert(pages_.begin() + static_cast<std::ptrdiff_t>(at),
                  std::make_move_iterator(pages.begin()), std::make_move_iterator(pages.end()));
}

void PageModel::remove(int row) {
    if (row < 0 || row >= size())
        return;
    const auto at = pages_.begin() + row;
    if (at->startsChapter()) {
        if (at + 1 != pages_.end() && !(at + 1)->startsChapter())
            (at + 1)->chapter = std::move(at->chapter);
        else
            --chapters_;
    }
    pages_.erase(at);
}

void PageModel::setChapter(int row, std::string title) {
    if (row < 0 || row >= size())
        return;
    Page& page = pages_[static_cast<std::size_t>(row)];
    chapters_ += !title.empty() - page.startsChapter();
    page.chapter = std::move(title);
}

void PageModel::move(int from, int to) {
    if (from < 0 || from >= size() || to < 0 || to >= size() || from == to)
        return;
    const auto first = pages_.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
}

bool PageModel::reorder(const std::vector<int>& order) {
    if (order.size() != pages_.size())
        return false;
    std::vector<bool> seen(pages_.size());
    for (int old : order) {
        if (old < 0 || old >= size() || seen[static_cast<std::size_t>(old)])
            return false;
        seen[static_cast<std::size_t>(old)] = true;
    }
    std::vector<Page> sorted;
    sorted.reserve(pages_.size());
    for (int old : order)
        sorted.push_back(std::move(pages_[static_cast<std::size_t>(old)]));
    pages_ = std::move(sorted);
    return true;
}

std::vector<int> PageModel::naturalOrder() const {
    std::vector<std::string> names;
    names.reserve(pages_.size());
    for (const Page& p : pages_)
        names.push_back(p.displayName());
    std::vector<int> order(pages_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return platform::naturalLess(names[static_cast<std::size_t>(a)],
                                     names[static_cast<std::size_t>(b)]);
    });
    return order;
}

}  // namespace pagelume::pages
