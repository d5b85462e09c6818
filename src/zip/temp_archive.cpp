#include "zip/temp_archive.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/exception.h"
#include "platform/files.h"

namespace pagelume::zip {

namespace {

constexpr const char* kPrefix = ".pagelume-";
constexpr const char* kSuffix = ".tmp";
constexpr std::size_t kPrefixLength = 10;
constexpr std::size_t kSuffixLength = 4;

bool tryLock(int fd) {
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

// The open file is still the one under that name.
bool stillNamed(int fd, const std::string& path) {
    struct stat open {}, named{};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace

bool isTempArchiveName(const std::string& name) {
    return name.size() == kPrefixLength + 6 + kSuffixLength && name.rfind(kPrefix, 0) == 0 &&
           name.compare(name.size() - kSuffixLength, kSuffixLength, kSuffix) == 0;
}

TempArchive::TempArchive(FileIo& io, const std::string& folder) : io_(io) {
    // A sweep in another process may lock (and then remove) a file between
    // its creation and our lock; such a file is left to it and a new one made.
    for (int attempt = 0;; ++attempt) {
        path_ = folder + kPrefix + "XXXXXX" + kSuffix;
        fd_ = io_.mkstemps(path_, static_cast<int>(kSuffixLength));
        if (fd_ < 0)
            throw EInOutError(errorText(errno));
        lockFd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
        bool keep = true;  // without a second descriptor or locks, unlocked
        if (lockFd_ >= 0)
            keep = tryLock(lockFd_) ? stillNamed(fd_, path_) : errno != EWOULDBLOCK;
        if (keep)
            break;
        if (lockFd_ >= 0)
            ::close(lockFd_);
        lockFd_ = -1;
        io_.close(fd_);
        fd_ = -1;
        if (attempt == 9)
            throw EInOutError(path_ + ": " + errorText(EWOULDBLOCK));
    }
}

TempArchive::~TempArchive() {
    if (fd_ >= 0)
        io_.close(fd_);
    if (!renamed_)
        io_.unlink(path_);
    if (lockFd_ >= 0)
        ::close(lockFd_);  // releases the lock, after the file is gone
}

int TempArchive::releaseFd() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool TempArchive::renameTo(const std::string& target) {
    if (io_.rename(path_, target) != 0)
        return false;
    renamed_ = true;
    return true;
}

void sweepStaleTempArchives(const std::string& folder) {
    const std::string dir = folder.empty() ? std::string("./") : folder;
    for (const auto& entry : platform::listDirectory(dir)) {
        if (!isTempArchiveName(entry.name))
            continue;
        const std::string path = dir + entry.name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && tryLock(fd) && stillNamed(fd, path))
            ::unlink(path.c_str());
        ::close(fd);
    }
}

}  // namespace pagelume::zip
