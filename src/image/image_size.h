#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pagelume::image {

// An image's size in pixels, as its header states it; both are at least 1.
struct PixelSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// Where the header bytes come from: a file or a buffer. readAt copies up to
// n bytes from offset into buf and returns how many it copied (0 at the end
// or on an error).
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::size_t readAt(std::uint64_t offset, unsigned char* buf, std::size_t n) = 0;
};

// The size a PNG (IHDR), JPEG (the first SOFn frame header) or GIF (the
// logical screen) states, read from as few bytes as the format allows;
// nothing for any other file, a header that is cut short or damaged, or a
// zero width or height. Every read is bounds-checked, and a JPEG's markers
// are followed by their lengths (never by reading the segments), at most a
// few thousand of them, so no file makes it slow or allocate.
std::optional<PixelSize> imageSize(ByteSource& source);
std::optional<PixelSize> imageSize(std::string_view bytes);
// From the file at path (a regular file only).
std::optional<PixelSize> readImageSize(const std::string& path);

}  // namespace pagelume::image
