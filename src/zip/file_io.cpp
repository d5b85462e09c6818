#include "zip/file_io.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>


namespace pagelume::zip {

int FileIo::open(const std::string& path, int flags) {
    return ::open(path.c_str(), flags | O_CLOEXEC);
}

int FileIo::fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}

ssize_t FileIo::read(int fd, void* buf, std::size_t count) {
    return ::read(fd, buf, count);
}

ssize_t FileIo::pread(int fd, void* buf, std::size_t count, off_t offset) {
    return ::pread(fd, buf, count, offset);
}

ssize_t FileIo::write(int fd, const void* buf, std::size_t count) {
    return ::write(fd, buf, count);
}

ssize_t FileIo::pwrite(int fd, const void* buf, std::size_t count, off_t offset) {
    return ::pwrite(fd, buf, count, offset);
}

int FileIo::fsync(int fd) {
    return ::fsync(fd);
}

int FileIo::close(int fd) {
    return ::close(fd);
}

int FileIo::mkstemps(std::string& nameTemplate, int suffixLength) {
    return ::mkostemps(nameTemplate.data(), suffixLength, O_CLOEXEC);
}

int FileIo::rename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str());
}

int FileIo::unlink(const std::string& path) {
    return ::unlink(path.c_str());
}

FileIo& FileIo::system() {
    static FileIo io;
    return io;
}

}  // namespace pagelume::zip
