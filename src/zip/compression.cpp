#include "zip/compression.h"

#include <fcntl.h>
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

OpenedSource openSource(FileIo& io, const std::string& path) {
    OpenedSource source;
    const auto attributes = platform::fileAttributes(path);
    if (!attributes)
        throw EInOutError(path + ": " + errorText(ENOENT));
    source.attributes = *attributes;
    // Non-blocking, so that a pipe put in the file's place cannot hang the run.
    source.fd = io.open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (source.fd < 0)
        throw EInOutError(path + ": " + errorText(errno));
    struct stat& st = source.st;
    if (io.fstat(source.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const std::string why = S_ISDIR(st.st_mode) ? errorText(EISDIR)
                                : st.st_mode != 0   ? std::string("not a regular file")
                                                    : errorText(errno);
        io.close(source.fd);
        throw EInOutError(path + ": " + why);
    }
    return source;
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
    explicit DeflateStream(ZlibCalls& zlib) : zlib(zlib) {}
    ZlibCalls& zlib;
    z_stream z{};
    bool open = false;
    ~DeflateStream() {
        if (open)
            zlib.end(z);
    }
};

void check(int rc) {
    if (rc < 0)
        throw EZCompressionError(kCompressionError);
}

}  // namespace

void makeEntryData(EntrySource& source, ZlibCalls& zlib, int packLevel, bool store,
                   std::vector<unsigned char>& inBuffer, std::vector<unsigned char>& outBuffer,
                   const BlockOutput& output, const std::function<void()>& beforeRead) {
    auto read = [&](std::size_t max) {
        if (beforeRead)
            beforeRead();
        return source.read(inBuffer.data(), max);
    };

    if (store) {
        inBuffer.resize(kStoreBufferSize);
        for (;;) {
            std::size_t n = read(kStoreBufferSize);
            if (n == 0)
                break;
            output(inBuffer.data(), n);
        }
        return;
    }

    inBuffer.resize(kDeflateBufferSize);
    outBuffer.resize(kDeflateBufferSize);
    std::size_t avail = read(kDeflateBufferSize);
    DeflateStream ds(zlib);
    check(zlib.init(ds.z, packLevel));
    ds.open = true;
    ds.z.next_in = inBuffer.data();
    ds.z.avail_in = static_cast<uInt>(avail);
    ds.z.next_out = outBuffer.data();
    ds.z.avail_out = static_cast<uInt>(kDeflateBufferSize);
    bool finish = false;
    for (;;) {
        if (ds.z.avail_in == 0 && !finish) {
            avail = read(kDeflateBufferSize);
            if (avail == 0)
                finish = true;
            ds.z.next_in = inBuffer.data();
            ds.z.avail_in = static_cast<uInt>(avail);
        }
        const int rc = zlib.deflate(ds.z, finish ? Z_FINISH : Z_NO_FLUSH);
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
}

void setEntryResult(TZipHeaderInfo& record, int packLevel, bool store, std::uint64_t bytesRead,
                    std::uint64_t compressedSize, std::uint32_t crc) {
    if (store) {
        record.compressionMethod = kMethodStored;
        record.internalAttributes = 0;
    } else {
        record.compressionMethod = kMethodDeflated;
    }
    record.setUncompressedSize(bytesRead);
    record.setCompressedSize(compressedSize);
    record.crc32 = crc;
    if (packLevel <= 2)
        record.flags |= 0x0004;
    if (packLevel > 7)
        record.flags |= 0x0002;
}

void writeEntryData(EntrySource& source, ZipOutput& out, ZlibCalls& zlib, int packLevel, bool store,
                    TZipHeaderInfo& record, std::vector<unsigned char>& inBuffer,
                    std::vector<unsigned char>& outBuffer,
                    const std::function<void()>& afterBlock) {
    const std::uint64_t start = out.position();
    makeEntryData(source, zlib, packLevel, store, inBuffer, outBuffer,
                  [&](const unsigned char* data, std::size_t size) {
                      out.write(data, size);
                      afterBlock();
                  });
    setEntryResult(record, packLevel, store, source.bytesRead(), out.position() - start,
                   source.crc());
}

}  // namespace pagelume::zip
