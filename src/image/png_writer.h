#pragma once

#include <string>
#include <utility>
#include <vector>

#include "image/drawsurface.h"

// A small PNG writer for pictures the program makes itself (thumbnails):
// 8-bit RGB or RGBA, text chunks, one zlib stream. Our decoder and any other
// reader open what it writes.
namespace pagelume::image {

struct PngText {
    std::string keyword;  // 1 to 79 Latin-1 characters, no NUL
    std::string text;     // no NUL
};

// The picture as a PNG file's bytes. With alpha the pixels' alpha bytes are
// kept (colour type 6), otherwise they are dropped (colour type 2). Rows are
// filtered with the Paeth, Sub or no filter, whichever a row favours. Throws
// pagelume::Exception for an empty picture, a bad keyword or a NUL in a text.
std::string encodePng(const DrawSurface& picture, bool alpha, const std::vector<PngText>& texts = {});

}  // namespace pagelume::image
