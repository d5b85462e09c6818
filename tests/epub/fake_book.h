#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "epub/book.h"

namespace pagelume::test {

// The book as plain fields, and a host that records what the run says and
// answers questions from a script.
struct FakeBook : epub::BookSource {
    std::vector<std::string> pages;
    std::string titleText = "Book", authorText = "Author", cover, save;
    int pageCount() const override { return static_cast<int>(pages.size()); }
    std::string pagePath(int i) const override { return pages.at(static_cast<std::size_t>(i)); }
    std::string title() const override { return titleText; }
    std::string author() const override { return authorText; }
    std::string coverPath() const override { return cover; }
    std::string savePath() const override { return save; }
};

struct FakeHost : epub::RunHost {
    struct Message {
        std::string text, caption;
    };
    std::vector<Message> messages, questions;
    std::vector<std::string> errors, opened;
    bool answer = false;
    int busy = 0, maxBusy = 0, events = 0;

    void showMessage(const std::string& t, const std::string& c) override { messages.push_back({t, c}); }
    bool askYesNo(const std::string& t, const std::string& c) override {
        questions.push_back({t, c});
        return answer;
    }
    void showError(const std::string& t) override { errors.push_back(t); }
    void setBusy(bool b) override {
        busy += b ? 1 : -1;
        maxBusy = std::max(maxBusy, busy);
    }
    void processEvents() override { ++events; }
    void archiveProgress(std::uint64_t, std::uint64_t) override {}
    void openFolder(const std::string& p) override { opened.push_back(p); }
};

}  // namespace pagelume::test
