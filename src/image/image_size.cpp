#include "image/image_size.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pagelume::image {

namespace {

constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// A JPEG whose frame header does not come within this many markers is not
// worth the search.
constexpr int kMaxJpegMarkers = 4096;
// PNG keeps its widths and heights below 2^31.
constexpr std::uint32_t kMaxPngSide = 0x7FFFFFFFu;

std::uint32_t bigEndian32(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           p[3];
}
std::uint32_t bigEndian16(const unsigned char* p) {
    return (std::uint32_t(p[0]) << 8) | p[1];
}
std::uint32_t littleEndian16(const unsigned char* p) {
    return (std::uint32_t(p[1]) << 8) | p[0];
}

// Exactly n bytes at offset, or false.
bool readExactly(ByteSource& source, std::uint64_t offset, unsigned char* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const std::size_t step = source.readAt(offset + got, buf + got, n - got);
        if (step == 0)
            return false;
        got += std::min(step, n - got);
    }
    return true;
}

std::optional<PixelSize> sized(std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0)
        return std::nullopt;
    return PixelSize{width, height};
}

// Signature, then IHDR as the first chunk, of length 13.
std::optional<PixelSize> pngSize(ByteSource& source) {
    unsigned char head[8 + 8 + 8];
    if (!readExactly(source, 0, head, sizeof head))
        return std::nullopt;
    if (bigEndian32(head + 8) != 13 || std::memcmp(head + 12, "IHDR", 4) != 0)
        return std::nullopt;
    const std::uint32_t width = bigEndian32(head + 16), height = bigEndian32(head + 20);
    if (width > kMaxPngSide || height > kMaxPngSide)
        return std::nullopt;
    return sized(width, height);
}

std::optional<PixelSize> gifSize(const unsigned char* head) {
    return sized(littleEndian16(head + 6), littleEndian16(head + 8));
}

// A frame header is SOF0 to SOF15 but for DHT (C4), JPG (C8) and DAC (CC).
bool isFrameHeader(unsigned char marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Walks the markers after SOI by their segment lengths until the first frame
// header. A height of 0 (to be given later by a DNL marker) counts as
// unreadable: the size has to be known from the header.
std::optional<PixelSize> jpegSize(ByteSource& source) {
    std::uint64_t at = 2;  // after SOI
    for (int markers = 0; markers < kMaxJpegMarkers; ++markers) {
        unsigned char b[2];
        if (!readExactly(source, at, b, 2) || b[0] != 0xFF)
            return std::nullopt;
        // Fill bytes: any number of 0xFF before the marker code.
        if (b[1] == 0xFF) {
            at += 1;
            continue;
        }
        const unsigned char marker = b[1];
        at += 2;
        // Markers without a segment.
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA || marker == 0x00)
            return std::nullopt;  // a second SOI, the end or the scan before any frame
        unsigned char len[2];
        if (!readExactly(source, at, len, 2))
            return std::nullopt;
        const std::uint32_t length = bigEndian16(len);
        if (length < 2)
            return std::nullopt;
        if (isFrameHeader(marker)) {
            // length, precision, height, width
            unsigned char frame[7];
            if (length < 8 || !readExactly(source, at, frame, sizeof frame))
                return std::nullopt;
            return sized(bigEndian16(frame + 5), bigEndian16(frame + 3));
        }
        at += length;
    }
    return std::nullopt;
}

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
    std::size_t readAt(std::uint64_t offset, unsigned char* buf, std::size_t n) override {
        if (offset >= bytes_.size())
            return 0;
        const std::size_t count = std::min<std::uint64_t>(n, bytes_.size() - offset);
        std::memcpy(buf, bytes_.data() + offset, count);
        return count;
    }

private:
    std::string_view bytes_;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(int fd) : fd_(fd) {}
    std::size_t readAt(std::uint64_t offset, unsigned char* buf, std::size_t n) override {
        if (offset > static_cast<std::uint64_t>(INT64_MAX))
            return 0;
        for (;;) {
            const ssize_t got = ::pread(fd_, buf, n, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            return got > 0 ? static_cast<std::size_t>(got) : 0;
        }
    }

private:
    int fd_;
};

}  // namespace

std::optional<PixelSize> imageSize(ByteSource& source) {
    unsigned char head[10];
    if (!readExactly(source, 0, head, 3))
        return std::nullopt;
    if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
        return jpegSize(source);
    if (!readExactly(source, 0, head, sizeof head))
        return std::nullopt;
    if (std::memcmp(head, kPngSignature, sizeof kPngSignature) == 0)
        return pngSize(source);
    if (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0)
        return gifSize(head);
    return std::nullopt;
}

std::optional<PixelSize> imageSize(std::string_view bytes) {
    MemorySource source(bytes);
    return imageSize(source);
}

std::optional<PixelSize> readImageSize(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<PixelSize> size;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        FileSource source(fd);
        size = imageSize(source);
    }
    ::close(fd);
    return size;
}

}  // namespace pagelume::image
