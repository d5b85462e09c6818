#pragma once

// Test pictures made with libjpeg and giflib, and fitted JPEGs read back.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fit/pixels.h"

namespace pagelume::test {

// A JPEG of width x height whose pixels come from a 0x00RRGGBB function,
// at quality 95 without chroma subsampling; `app1` (when not empty) is
// written as an APP1 marker.
std::string makeJpeg(int width, int height, const std::function<uint32_t(int, int)>& pixel,
                     const std::string& app1 = {});
// An APP1 payload holding only the Exif orientation tag, in either byte order.
std::string exifApp1(int orientation, bool bigEndian = false);
// A GIF89a with a 4-colour palette and the pixels as indices; `transparent`
// (when 0-3) is the transparent index.
std::string makeGif(int width, int height, const std::vector<uint8_t>& indices,
                    const uint32_t (&palette)[4], int transparent = -1);
// A JPEG decoded with libjpeg at full size.
fit::Pixmap decodeJpeg(const std::string& bytes);
void writeFile(const std::string& path, const std::string& bytes);

}  // namespace pagelume::test
