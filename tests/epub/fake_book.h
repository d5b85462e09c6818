#pragma once

#include <algorithm>
#include <functional>
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
    epub::BookKind bookKind = epub::BookKind::Default;
    bool rtl = false;
    epub::BookKind kind() const override { return bookKind; }
    bool rightToLeft() const override { return rtl; }
    // The chapter each page starts, by index; pages past its end start none.
    std::vector<std::string> chapters;
    epub::BookDetails bookDetails;
    pages::Page page(int i) const override {
        pages::Page p{pagePath(i), {}};
        if (static_cast<std::size_t>(i) < chapters.size())
            p.chapter = chapters[static_cast<std::size_t>(i)];
        return p;
    }
    epub::BookDetails details() const override { return bookDetails; }
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
    struct Progress {
        epub::RunStage stage;
        std::uint64_t done, total;
    };
    std::vector<Progress> progressSeen;
    std::vector<std::string> notCopied;  // "page: path: reason"
    std::function<void()> onEvents;      // e.g. to throw ERunInterrupted
    void processEvents() override {
        ++events;
        if (onEvents)
            onEvents();
    }
    void progress(epub::RunStage stage, std::uint64_t done, std::uint64_t total) override {
        progressSeen.push_back({stage, done, total});
    }
    void imageNotCopied(int page, const std::string& path, const std::string& reason) override {
        notCopied.push_back(std::to_string(page) + ": " + path + ": " + reason);
    }
    void openFolder(const std::string& p) override { opened.push_back(p); }
};

}  // namespace pagelume::test
