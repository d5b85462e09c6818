// The plain row kernels, the reference for the vector ones, and the choice
// between the two.
#include "image/drawrows.h"

#include <atomic>
#include <cstring>

namespace pagelume::image::drawrows {

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;
constexpr uint32_t kColour = 0x00FFFFFFu;

inline uint32_t blendPixel(uint32_t s, uint32_t d) {
    const uint32_t a = s >> 24;
    auto channel = [&](int shift) {
        uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
        return ((sc * a + (255 - a) * dc + 255) >> 8) << shift;
    };
    return kOpaque | channel(16) | channel(8) | channel(0);
}

inline uint32_t bgrPixel(const uint8_t* p) {
    return kOpaque | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

void expandBgr(const uint8_t* bgr, uint32_t* out, size_t n) {
    for (size_t i = 0; i < n; ++i, bgr += 3)
        out[i] = bgrPixel(bgr);
}

void putAlpha(const uint8_t* alpha, uint32_t* pixels, size_t n) {
    for (size_t i = 0; i < n; ++i)
        pixels[i] = (pixels[i] & kColour) | (uint32_t{alpha[i]} << 24);
}

void clearKey(uint32_t* pixels, size_t n, uint32_t key) {
    for (size_t i = 0; i < n; ++i)
        if (pixels[i] == key)
            pixels[i] &= kColour;
}

void copyVisible(const uint32_t* src, uint32_t* dst, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (src[i] >> 24)
            dst[i] = src[i];
}

void blend(const uint32_t* src, uint32_t* dst, size_t n) {
    for (size_t i = 0; i < n; ++i)
        dst[i] = blendPixel(src[i], dst[i]);
}

void blendSkipping(const uint32_t* src, uint32_t* dst, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint32_t s = src[i], a = s >> 24;
        if (a == 0)
            continue;
        dst[i] = a == 255 ? s : blendPixel(s, dst[i]);
    }
}

void blendBgrAlpha(const uint8_t* bgr, const uint8_t* alpha, uint32_t* dst, size_t n) {
    for (size_t i = 0; i < n; ++i, bgr += 3) {
        const uint32_t s = (bgrPixel(bgr) & kColour) | (uint32_t{alpha[i]} << 24);
        blendSkipping(&s, dst + i, 1);
    }
}

constexpr RowKernels kPlain = {expandBgr, putAlpha,      clearKey,     copyVisible,
                               blend,     blendSkipping, blendBgrAlpha};

const RowKernels* vectorOrPlain() {
    const RowKernels* v = detail::vectorKernels();
    return v ? v : &kPlain;
}

// Null until a set is chosen: constant-initialised, so drawing from another
// file's static initialiser still finds a set.
std::atomic<const RowKernels*> chosen{nullptr};

}  // namespace

const RowKernels& Kernels(KernelSet set) {
    return set == KernelSet::Plain ? kPlain : *vectorOrPlain();
}

const RowKernels& ActiveKernels() {
    const RowKernels* set = chosen.load(std::memory_order_relaxed);
    return set ? *set : *vectorOrPlain();
}

void UseKernels(KernelSet set) {
    chosen.store(&Kernels(set), std::memory_order_relaxed);
}

bool HasVectorKernels() {
    return detail::vectorKernels() != nullptr;
}

void expandIndexed(const uint8_t* row, unsigned bits, uint32_t first, const uint32_t* table,
                   uint32_t* out, size_t n) {
    switch (bits) {
        case 8:
            row += first;
            for (size_t i = 0; i < n; ++i)
                out[i] = table[row[i]];
            break;
        case 4:
            for (size_t i = 0; i < n; ++i) {
                const size_t x = first + i;
                out[i] = table[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF];
            }
            break;
        default:
            for (size_t i = 0; i < n; ++i) {
                const size_t x = first + i;
                out[i] = table[(row[x >> 3] >> (7 - (x & 7))) & 1];
            }
            break;
    }
}

}  // namespace pagelume::image::drawrows
