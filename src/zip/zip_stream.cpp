#include "zip/zip_stream.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "platform/exception.h"
#include "zip/zip_errors.h"

namespace pagelume::zip {

namespace {

// Written data is sent on its way to the disk in steps of this size, while
// the rest of the archive is still being made, so that the final sync finds
// little left to wait for.
constexpr std::uint64_t kWritebackStep = std::uint64_t{8} << 20;

}  // namespace

ArchiveFile::~ArchiveFile() {
    if (fd_ >= 0)
        io_.close(fd_);
}

void ArchiveFile::write(const void* data, std::size_t size) {
    auto bytes = static_cast<const unsigned char*>(data);
    if (size <= buffer_.size() - used_) {
        std::memcpy(buffer_.data() + used_, bytes, size);
        used_ += size;
        return;
    }
    flush();
    if (size >= buffer_.size()) {
        writeAll(bytes, size);
        flushed_ += size;
        startWriteback();
    } else {
        std::memcpy(buffer_.data(), bytes, size);
        used_ = size;
    }
}

void ArchiveFile::flush() {
    if (used_ == 0)
        return;
    writeAll(buffer_.data(), used_);
    flushed_ += used_;
    used_ = 0;
    startWriteback();
}

void ArchiveFile::startWriteback() {
    if (flushed_ - writebackStarted_ < kWritebackStep)
        return;
    // Only a hint: the sync in finish() is what reports failures.
    ::sync_file_range(fd_, static_cast<off_t>(writebackStarted_),
                      static_cast<off_t>(flushed_ - writebackStarted_), SYNC_FILE_RANGE_WRITE);
    writebackStarted_ = flushed_;
}

void ArchiveFile::writeAll(const unsigned char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = io_.write(fd_, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw ENotEnoughRoom(kNotEnoughRoom);
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void ArchiveFile::rewrite(std::uint64_t offset, const void* data, std::size_t size) {
    try {
        flush();
    } catch (const ENotEnoughRoom&) {
        throw EInOutError(kSeekError);
    }
    auto bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        ssize_t n = io_.pwrite(fd_, bytes, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw ENotEnoughRoom(kNotEnoughRoom);
        bytes += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
}

void ArchiveFile::finish() {
    flush();
    if (io_.fsync(fd_) != 0)
        throw EInOutError(errorText(errno));
    int fd = fd_;
    fd_ = -1;  // closed, or unusable, after this whatever the result
    if (io_.close(fd) != 0)
        throw EInOutError(errorText(errno));
}

}  // namespace pagelume::zip
