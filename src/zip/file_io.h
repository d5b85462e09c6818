#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/files.h"

namespace pagelume::zip {

// The few system calls the writer makes on files, behind one small interface
// so that tests can make any of them fail (a failed close, a read error in
// the middle of a file) without needing a broken disk. Each function behaves
// like its POSIX namesake: -1 and errno on failure.
class FileIo {
public:
    virtual ~FileIo() = default;

    virtual int open(const std::string& path, int flags);
    virtual int fstat(int fd, struct stat* st);
    virtual ssize_t read(int fd, void* buf, std::size_t count);
    virtual ssize_t pread(int fd, void* buf, std::size_t count, off_t offset);
    virtual ssize_t write(int fd, const void* buf, std::size_t count);
    virtual ssize_t pwrite(int fd, const void* buf, std::size_t count, off_t offset);
    virtual int fsync(int fd);
    virtual int close(int fd);
    // Creates and opens a new file from a template ending in "XXXXXX" plus
    // suffixLength characters; the template receives the name.
    virtual int mkstemps(std::string& nameTemplate, int suffixLength);
    virtual int rename(const std::string& from, const std::string& to);
    virtual int unlink(const std::string& path);

    // The shared instance that simply calls the system.
    static FileIo& system();
};

using platform::errorText;

}  // namespace pagelume::zip
