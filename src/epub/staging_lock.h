#pragma once

#include <string>

namespace pagelume::epub {

// An exclusive lock on the staging directory, held for the length of a
// conversion, so that two running copies of the program never rebuild or
// pack the same tree at once. The lock file is hidden, so it is never packed.
class StagingLock {
public:
    // Tries once, without waiting. Creates the staging directory if needed.
    explicit StagingLock(const std::string& stagingDir);
    ~StagingLock();
    StagingLock(const StagingLock&) = delete;
    StagingLock& operator=(const StagingLock&) = delete;

    // False only when another process holds the lock. When the lock file
    // cannot be created at all the run goes on unlocked and fails later
    // with a clearer error of its own.
    bool acquired() const { return !busy_; }

    static constexpr const char* kFileName = ".pagelume.lock";

private:
    int fd_ = -1;
    bool busy_ = false;
};

}  // namespace pagelume::epub
