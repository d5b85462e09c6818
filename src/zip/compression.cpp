#include "zip/compression.h"

#include <zlib.h>

#include <cerrno>

#include "platform/exception.h"
#include "platform/files.h"
#include "zip/wildcard.h"
#include "zip/zip_errors.h"

namespace pagelume::zip {

EntrySource::~EntrySource() {
    io_.close(fd_);
}

std::size_t EntrySource::read(unsigned char* buf, std::size_t max) {
    const std::uint64_t left = size_ - bytesRead_;
    if (left < max)
        max = static_cast<std::size_t>(left);
    if (max == 0)
        return 0;
    ssize_t n;
    do {
        n = io_.read(fd_, buf, max);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        throw EInOutError(path_ + ": " + errorText(errno));
    const auto count = static_cast<std::size_t>(n);
    crc_ = static_cast<std::uint32_t>(::crc32(crc_, buf, static_cast<uInt>(count)));
    bytesRead_ += count;
    // The entry would silently lack its end: the book is not built from it.
    if (count == 0)
        throw EInOutError(path_ + ": " + kFileShrank);
    return count;
}

bool storesEntry(int packLevel, const std::vector<std::string>& noCompressList,
                 const std::string& fileName) {
    if (packLevel == 0)
        return true;
    for (const auto& pattern : noCompressList) {
        if (matchesMask(fileName, pattern))
            return true;
    }
    return false;
}

std::uint64_t worstCaseDataSize(std::uint64_t size, bool stored) {
    if (stored)
        return size;
    // zlib's bound for a 32 KiB window and memory level 8 (deflateBound),
    // with room to spare for the final empty block.
    return size + (size >> 12) + (size >> 14) + (size >> 25) + 64;
}

namespace {

// Ends the deflate stream on every way out, exceptions from the output
// routine included.
struct DeflateStream {
    z_stream z{};
    bool open = false;
    ~DeflateStream() {
        if (open)
            ::deflateEnd(&z);
    }
};

void check(int rc) {
    if (rc < 0)
        throw EZCompressionError(kCompressionError);
}

}  // namespace

void writeEntryData(EntrySource& source, ZipOutput& out, int packLevel, bool store,
                    TZipHeaderInfo& record, std::vector<unsigned char>& inBuffer,
                    std::vector<unsigned char>& outBuffer,
                    const std::function<void()>& afterBlock) {
    const std::uint64_t start = out.position();
    auto output = [&](const unsigned char* data, std::size_t size) {
        out.write(data, size);
        afterBlock();
    };

    if (store) {
        inBuffer.resize(kStoreBufferSize);
        for (;;) {
            std::size_t n = source.read(inBuffer.data(), kStoreBufferSize);
            if (n == 0)
                break;
            output(inBuffer.data(), n);
        }
        record.compressionMethod = kMethodStored;
        record.internalAttributes = 0;
    } else {
        inBuffer.resize(kDeflateBufferSize);
        outBuffer.resize(kDeflateBufferSize);
        std::size_t avail = source.read(inBuffer.data(), kDeflateBufferSize);
        DeflateStream ds;
        check(::deflateInit2(&ds.z, packLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY));
        ds.open = true;
        ds.z.next_in = inBuffer.data();
        ds.z.avail_in = static_cast<uInt>(avail);
        ds.z.next_out = outBuffer.data();
        ds.z.avail_out = static_cast<uInt>(kDeflateBufferSize);
        bool finish = false;
        for (;;) {
            if (ds.z.avail_in == 0 && !finish) {
                avail = source.read(inBuffer.data(), kDeflateBufferSize);
                if (avail == 0)
                    finish = true;
                ds.z.next_in = inBuffer.data();
                ds.z.avail_in = static_cast<uInt>(avail);
            }
            const int rc = ::deflate(&ds.z, finish ? Z_FINISH : Z_NO_FLUSH);
            check(rc);
            if (ds.z.avail_out == 0 || finish) {
                const std::size_t filled = kDeflateBufferSize - ds.z.avail_out;
                if (filled > 0)
                    output(outBuffer.data(), filled);
                ds.z.next_out = outBuffer.data();
                ds.z.avail_out = static_cast<uInt>(kDeflateBufferSize);
            }
            if (rc == Z_STREAM_END)
                break;
        }
        record.compressionMethod = kMethodDeflated;
    }

    record.setUncompressedSize(source.bytesRead());
    record.setCompressedSize(out.position() - start);
    record.crc32 = source.crc();
    if (packLevel <= 2)
        record.flags |= 0x0004;
    if (packLevel > 7)
        record.flags |= 0x0002;
}

}  // namespace pagelume::zip
