#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "zip/file_io.h"

namespace pagelume::zip {

// Where the records of an archive are written.
class ZipOutput {
public:
    virtual ~ZipOutput() = default;
    virtual std::uint64_t position() const = 0;
    virtual void write(const void* data, std::size_t size) = 0;
};

// The archive file being written: an 8192-byte buffer in front of a file
// descriptor, so the many small header writes cost one system call per
// buffer, while data blocks larger than the buffer go straight through.
class ArchiveFile final : public ZipOutput {
public:
    static constexpr std::size_t kBufferSize = 8192;

    ArchiveFile(FileIo& io, int fd) : io_(io), fd_(fd) {}
    ~ArchiveFile() override;  // closes without reporting, if still open
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    std::uint64_t position() const override { return flushed_ + used_; }
    // Throws ENotEnoughRoom when the file takes fewer bytes than given.
    void write(const void* data, std::size_t size) override;
    // Overwrites bytes already written at offset; the buffer is written out
    // first (its failure is the seek error), the position does not move.
    void rewrite(std::uint64_t offset, const void* data, std::size_t size);
    // Writes out the buffer, syncs and closes; every failure throws, since a
    // book that did not reach the disk is not finished.
    void finish();

private:
    void flush();
    void writeAll(const unsigned char* data, std::size_t size);
    void startWriteback();

    FileIo& io_;
    int fd_;
    std::array<unsigned char, kBufferSize> buffer_{};
    std::size_t used_ = 0;
    std::uint64_t flushed_ = 0;
    std::uint64_t writebackStarted_ = 0;  // bytes from the start sent towards the disk
};

}  // namespace pagelume::zip
