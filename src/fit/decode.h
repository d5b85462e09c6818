#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fit/pixels.h"

// Opening a page and reading its rows: PNG with our own decoder, JPEG with
// libjpeg, the first frame of a GIF with giflib.
namespace pagelume::fit {

enum class PageFormat { Unknown, Png, Jpeg, Gif };

// The format by the first bytes of a file.
PageFormat sniffFormat(const uint8_t* head, size_t size);

struct PageHeader {
    PageFormat format = PageFormat::Unknown;
    int width = 0;  // as stored
    int height = 0;
    int orientation = 1;  // Exif, 1-8; 1 for anything but JPEG
};

// The reduction libjpeg is asked for (1, 2, 4 or 8): the largest that still
// leaves at least minWidth x minHeight of a width x height page.
int jpegReduction(int width, int height, int minWidth, int minHeight);

class PageReader {
public:
    virtual ~PageReader() = default;
    const PageHeader& header() const { return header_; }
    // The page's rows as stored (not turned upright), flattened over white,
    // grey or colour. A JPEG comes at the largest reduction that keeps at
    // least minWidth x minHeight; other pages at their own size. Called once.
    virtual RowSource& start(int minWidth, int minHeight, bool grey) = 0;

protected:
    PageHeader header_;
};

// Opens a page and reads its header; EFitError when it cannot be read or is
// of no format we decode, EInOutError when it cannot be opened.
std::unique_ptr<PageReader> openPage(const std::string& path, StopFlag stop);

namespace detail {
std::unique_ptr<PageReader> openJpeg(const std::string& path, StopFlag stop);
std::unique_ptr<PageReader> openPng(const std::string& path, StopFlag stop);
std::unique_ptr<PageReader> openGif(const std::string& path, StopFlag stop);
}  // namespace detail

}  // namespace pagelume::fit
