#pragma once

#include <cstdint>
#include <string>

namespace pagelume::epub {

// What a conversion reads about the book. Every value is asked for at the
// moment the run needs it, never cached, so the window's fields are the model.
class BookSource {
public:
    virtual ~BookSource() = default;
    virtual int pageCount() const = 0;
    virtual std::string pagePath(int index) const = 0;  // 0-based, display order
    virtual std::string title() const = 0;
    virtual std::string author() const = 0;
    virtual std::string coverPath() const = 0;  // empty: no cover
    virtual std::string savePath() const = 0;
};

// How a conversion talks to the user. The window answers with dialogs, the
// command line with stderr and its flags, tests with a recording fake.
class RunHost {
public:
    virtual ~RunHost() = default;
    // A modal box with one OK button.
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;
    // A Yes/No question; true only for Yes.
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;
    // An error box (icon "critical") for failures the user has to know about.
    virtual void showError(const std::string& text) = 0;
    virtual void setBusy(bool busy) = 0;
    // Lets pending window events through during the archive step.
    virtual void processEvents() = 0;
    // Progress of the archive step: bytes of the book packed so far of total.
    virtual void archiveProgress(std::uint64_t done, std::uint64_t total) = 0;
    virtual void openFolder(const std::string& path) = 0;
};

}  // namespace pagelume::epub
