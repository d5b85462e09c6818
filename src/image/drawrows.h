#pragma once

#include <cstddef>
#include <cstdint>

// The per-row work of drawing an image: turning stored rows into 0xAARRGGBB
// pixels and putting them onto a surface row. Two sets do the same work: a
// plain one, pixel by pixel, and a vector one (SSE2 on x86-64) that must give
// exactly the same pixels. Drawing picks the active set once per call.
namespace pagelume::image::drawrows {

struct RowKernels {
    // 24-bit blue, green, red triplets to opaque pixels.
    void (*expandBgr)(const uint8_t* bgr, uint32_t* out, size_t n);
    // Replaces the alpha byte of each pixel by the alpha plane's value.
    void (*putAlpha)(const uint8_t* alpha, uint32_t* pixels, size_t n);
    // Makes the pixels equal to `key` (an opaque colour) transparent.
    void (*clearKey)(uint32_t* pixels, size_t n, uint32_t key);
    // Copies the pixels whose alpha is not 0.
    void (*copyVisible)(const uint32_t* src, uint32_t* dst, size_t n);
    // (s * a + (255 - a) * d + 255) >> 8 per channel; the result is opaque.
    void (*blend)(const uint32_t* src, uint32_t* dst, size_t n);
    // The same, except that alpha 0 leaves the target pixel as it is and
    // alpha 255 copies the source pixel.
    void (*blendSkipping)(const uint32_t* src, uint32_t* dst, size_t n);
    // expandBgr, putAlpha and blendSkipping in one pass.
    void (*blendBgrAlpha)(const uint8_t* bgr, const uint8_t* alpha, uint32_t* dst, size_t n);
};

enum class KernelSet { Plain, Vector };

const RowKernels& Kernels(KernelSet set);
// The set that drawing uses: Vector unless chosen otherwise (tests compare
// the two). Vector is the plain set where the machine has no vector code.
const RowKernels& ActiveKernels();
void UseKernels(KernelSet set);
// Whether the vector set has code of its own on this machine.
bool HasVectorKernels();

// Palette and grey rows: indices of 1, 4 or 8 bits looked up in a table of
// 256 finished pixels, starting at pixel `first` of the row.
void expandIndexed(const uint8_t* row, unsigned bits, uint32_t first, const uint32_t* table,
                   uint32_t* out, size_t n);

namespace detail {
// The vector set, or nullptr where there is none.
const RowKernels* vectorKernels();
}  // namespace detail

}  // namespace pagelume::image::drawrows
