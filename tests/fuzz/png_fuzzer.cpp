// Loads arbitrary bytes as a PNG and draws whatever was loaded, including
// the partial image a failed load leaves behind, with both sets of row
// kernels: they must agree pixel for pixel.
#include <cstddef>
#include <cstdint>

#include "image/drawrows.h"
#include "image/pngimage.h"

using namespace pagelume::image;

namespace {

// Big headers are legal up to the memory limit; copying or converting them
// whole would only slow the fuzzer down without reaching new code.
constexpr int64_t kWholeImageLimit = 1 << 20;

DrawSurface drawEverywhere(const TPNGObject& png, drawrows::KernelSet kernels) {
    drawrows::UseKernels(kernels);
    DrawSurface surface(37, 29, 0xFF808080u);
    png.Draw(surface, Rect{0, 0, png.Width(), png.Height()});
    png.Draw(surface, Rect{-5, -7, 30, 20});
    png.Draw(surface, Rect{36, 28, 3, 2});  // inverted corners
    png.Draw(surface, Rect{-100000, 10, 100000, 11});
    png.Draw(surface, Rect{40, 40, 80, 80});  // wholly outside
    drawrows::UseKernels(drawrows::KernelSet::Vector);
    return surface;
}

// The vector row kernels must draw exactly what the plain ones draw.
void drawEverywhere(const TPNGObject& png) {
    if (drawEverywhere(png, drawrows::KernelSet::Vector).pixels() !=
        drawEverywhere(png, drawrows::KernelSet::Plain).pixels())
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TPNGObject png;
    try {
        png.LoadFromMemory(data, size);
    } catch (const pagelume::Exception&) {
    }
    try {
        drawEverywhere(png);
        if (int64_t{png.Width()} * png.Height() <= kWholeImageLimit) {
            ARGBImage argb = png.ToARGB();
            TPNGObject faded;
            MakeFadedCopy(png, faded);
            drawEverywhere(faded);
        }
    } catch (const pagelume::Exception&) {
    }
    return 0;
}
