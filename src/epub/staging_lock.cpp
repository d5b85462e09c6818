#include "epub/staging_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"

namespace pagelume::epub {

StagingLock::StagingLock(const std::string& stagingDir) {
    platform::createDirectories(stagingDir);
    std::string path = stagingDir + "/" + kFileName;
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return;
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        busy_ = errno == EWOULDBLOCK;
        ::close(fd_);
        fd_ = -1;
    }
}

StagingLock::~StagingLock() {
    if (fd_ >= 0)
        ::close(fd_);  // closing releases the lock
}

}  // namespace pagelume::epub
