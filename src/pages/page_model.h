#pragma once

#include <string>
#include <vector>

#include "pages/page.h"

namespace pagelume::pages {

// The book's pages in order. The window's list, the command line and the
// conversion run all read the pages from one of these; moves follow the
// list's rules, so every view of it agrees.
class PageModel {
public:
    int size() const { return static_cast<int>(pages_.size()); }
    bool empty() const { return pages_.empty(); }
    const Page& at(int row) const { return pages_.at(static_cast<std::size_t>(row)); }
    const std::vector<Page>& pages() const { return pages_; }

    // Inserts before position (clamped to 0..size()).
    void insert(int position, std::vector<Page> pages);
    void append(std::vector<Page> pages) { insert(size(), std::move(pages)); }
    // A chapter mark goes to the next page, unless that one starts its own.
    void remove(int row);
    void clear() {
        pages_.clear();
        chapters_ = 0;
    }
    // The page at row starts a chapter with this title; empty: it starts none.
    void setChapter(int row, std::string title);
    bool hasChapters() const { return chapters_ > 0; }
    // The page at from ends up at to; the others keep their order.
    void move(int from, int to);
    // order[i] is the old position of the page that goes to position i; an
    // order that is not a permutation of the rows changes nothing (false).
    bool reorder(const std::vector<int>& order);
    // The order that puts the pages in natural order of how they are shown
    // (ties keep their order), for reorder().
    std::vector<int> naturalOrder() const;

private:
    std::vector<Page> pages_;
    int chapters_ = 0;  // pages that start a chapter
};

}  // namespace pagelume::pages
