#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "zip/file_io.h"
#include "zip/zip_records.h"
#include "zip/zip_stream.h"
#include "zip/zlib_calls.h"

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

// A source file opened for its entry: the descriptor (the caller closes
// it), its attribute word and its status as opened.
struct OpenedSource {
    int fd = -1;
    std::uint32_t attributes = 0;
    struct stat st {};
};

// Opens path for reading as an entry's source. The file was there when the
// list was made: if it is gone now, is no longer a regular file or cannot be
// opened, the book would silently lack it, so this throws EInOutError with
// the path and the reason instead.
OpenedSource openSource(FileIo& io, const std::string& path);

// Whether an entry is stored rather than deflated: level 0, or a file name
// matching one of the patterns.
bool storesEntry(int packLevel, const std::vector<std::string>& noCompressList,
                 const std::string& fileName);

// The most entry data that size bytes can turn into, deflated or stored.
std::uint64_t worstCaseDataSize(std::uint64_t size, bool stored);

// Receives each block of entry data as it is made.
using BlockOutput = std::function<void(const unsigned char* data, std::size_t size)>;

// Reads the whole source and makes its entry data: stored, in reads of
// kStoreBufferSize bytes, or one raw deflate stream fed with reads of
// kDeflateBufferSize bytes and written out whenever the output buffer of
// that size is full, and at the end. The blocks, and so the bytes, depend
// only on the source's contents. beforeRead, when given, runs before every
// read; it may throw to stop.
void makeEntryData(EntrySource& source, ZlibCalls& zlib, int packLevel, bool store,
                   std::vector<unsigned char>& inBuffer, std::vector<unsigned char>& outBuffer,
                   const BlockOutput& output, const std::function<void()>& beforeRead = {});

// Sets the record's method, CRC, sizes, flags and internal attributes once
// its data is written.
void setEntryResult(TZipHeaderInfo& record, int packLevel, bool store, std::uint64_t bytesRead,
                    std::uint64_t compressedSize, std::uint32_t crc);

// Writes the entry data at the output's position and sets the record's
// method, CRC, sizes, flags and internal attributes. afterBlock runs after
// every block written (each stored or deflated buffer).
void writeEntryData(EntrySource& source, ZipOutput& out, ZlibCalls& zlib, int packLevel, bool store,
                    TZipHeaderInfo& record, std::vector<unsigned char>& inBuffer,
                    std::vector<unsigned char>& outBuffer, const std::function<void()>& afterBlock);

}  // namespace pagelume::zip
