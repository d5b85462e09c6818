#pragma once

#include <string>

#include "zip/file_io.h"

namespace pagelume::zip {

// The hidden file an archive is written to before it is renamed into place:
// ".pagelume-XXXXXX.tmp" in the archive's folder. A short name, so that a
// long title cannot make it too long, and a hidden one, so that a walk of
// the folder passes over it.
//
// The writer holds an exclusive lock (flock) on it from creation until it is
// renamed or removed; a file of that pattern that nobody holds is what a
// killed or crashed run left behind.
class TempArchive {
public:
    // Creates and locks a new temporary file in folder ("" for the current
    // one). Throws EInOutError when it cannot be created.
    TempArchive(FileIo& io, const std::string& folder);
    // Removes the file unless it was renamed; then releases the lock.
    ~TempArchive();
    TempArchive(const TempArchive&) = delete;
    TempArchive& operator=(const TempArchive&) = delete;

    const std::string& path() const { return path_; }
    // The descriptor to write through; its owner closes it (the lock stays
    // held through a second descriptor until this object goes).
    int releaseFd();
    // Renames the file to target; false with errno set on failure.
    bool renameTo(const std::string& target);

private:
    FileIo& io_;
    std::string path_;
    int fd_ = -1;
    int lockFd_ = -1;
    bool renamed_ = false;
};

// Removes the temporary archives in folder that no live writer holds. Never
// touches a held one, nor anything but regular files of the exact pattern.
void sweepStaleTempArchives(const std::string& folder);

// True for ".pagelume-" + six characters + ".tmp".
bool isTempArchiveName(const std::string& name);

}  // namespace pagelume::zip
