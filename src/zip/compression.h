#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zip/file_io.h"
#include "zip/zip_records.h"
#include "zip/zip_stream.h"

// Entry data: a source file stored or raw-deflated into the archive, with
// its CRC-32 and sizes.
namespace pagelume::zip {

inline constexpr std::size_t kDeflateBufferSize = 0xFFFF;
inline constexpr std::size_t kStoreBufferSize = 0x8000;

// The open source file of the entry being written (the input routine).
// Reads stop at the size the file had when it was opened: a file that grows
// meanwhile is taken as it was; one that shrinks fails the run.
class EntrySource {
public:
    EntrySource(FileIo& io, int fd, std::string path, std::uint64_t size)
        : io_(io), fd_(fd), path_(std::move(path)), size_(size) {}
    ~EntrySource();
    EntrySource(const EntrySource&) = delete;
    EntrySource& operator=(const EntrySource&) = delete;

    // Up to max bytes into buf, feeding the CRC; 0 at the end. A read error
    // throws EInOutError.
    std::size_t read(unsigned char* buf, std::size_t max);

    std::uint64_t size() const { return size_; }
    std::uint64_t bytesRead() const { return bytesRead_; }
    std::uint32_t crc() const { return crc_; }

private:
    FileIo& io_;
    int fd_;
    std::string path_;
    std::uint64_t size_;
    std::uint64_t bytesRead_ = 0;
    std::uint32_t crc_ = 0;  // zlib's running form: 0 for no bytes
};

// Whether an entry is stored rather than deflated: level 0, or a file name
// matching one of the patterns.
bool storesEntry(int packLevel, const std::vector<std::string>& noCompressList,
                 const std::string& fileName);

// The most entry data that size bytes can turn into, deflated or stored.
std::uint64_t worstCaseDataSize(std::uint64_t size, bool stored);

// Writes the entry data at the output's position and sets the record's
// method, CRC, sizes, flags and internal attributes. afterBlock runs after
// every block written (each stored or deflated buffer).
void writeEntryData(EntrySource& source, ZipOutput& out, int packLevel, bool store,
                    TZipHeaderInfo& record, std::vector<unsigned char>& inBuffer,
                    std::vector<unsigned char>& outBuffer, const std::function<void()>& afterBlock);

}  // namespace pagelume::zip
