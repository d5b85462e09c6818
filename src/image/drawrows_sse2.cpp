// The vector row kernels: SSE2, which every x86-64 processor has. Four
// pixels at a time; the few pixels at the end of a row go through the plain
// kernels, so both sets agree there by construction.
#include "image/drawrows.h"

#if defined(__SSE2__)

#include <emmintrin.h>

#include <cstring>

namespace pagelume::image::drawrows {

namespace {

const RowKernels& plain() {
    return Kernels(KernelSet::Plain);
}

inline __m128i load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline void store(void* p, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
}

inline __m128i alphaMask() {
    return _mm_set1_epi32(static_cast<int>(0xFF000000u));
}

// Four triplets from the first 12 of 16 loaded bytes to opaque pixels. Each
// 64-bit half takes two pixels (6 bytes); the second pixel of a half moves up
// by one byte into its 32-bit lane.
inline __m128i bgrToPixels(__m128i v) {
    const __m128i halves = _mm_unpacklo_epi64(v, _mm_srli_si128(v, 6));
    const __m128i first = _mm_set1_epi64x(0x0000000000FFFFFF);
    const __m128i second = _mm_set1_epi64x(0x00FFFFFF00000000);
    const __m128i pixels = _mm_or_si128(_mm_and_si128(halves, first),
                                        _mm_and_si128(_mm_slli_epi64(halves, 8), second));
    return _mm_or_si128(pixels, alphaMask());
}

// Four alpha bytes into the top byte of four 32-bit lanes.
inline __m128i alphaToTop(const uint8_t* alpha) {
    int32_t four;
    std::memcpy(&four, alpha, 4);
    const __m128i zero = _mm_setzero_si128();
    const __m128i words = _mm_unpacklo_epi8(zero, _mm_cvtsi32_si128(four));
    return _mm_unpacklo_epi16(zero, words);
}

// Two pixels widened to 16 bits per channel, blended. 255 - a is a ^ 255.
inline __m128i blendHalf(__m128i s, __m128i d) {
    const __m128i c255 = _mm_set1_epi16(255);
    const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
    const __m128i sum =
        _mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(d, _mm_xor_si128(a, c255)));
    // At most 255 * 255 + 255: no 16-bit lane overflows.
    return _mm_srli_epi16(_mm_add_epi16(sum, c255), 8);
}

// Four pixels blended, opaque.
inline __m128i blendFour(__m128i s, __m128i d) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = blendHalf(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
    const __m128i high = blendHalf(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
    return _mm_or_si128(_mm_packus_epi16(low, high), alphaMask());
}

// Alpha 0 keeps the target, alpha 255 gives the source (which the formula
// gives as well), anything else blends. Runs of one alpha skip the work.
inline void blendSkippingFour(__m128i s, uint32_t* dst) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i a = _mm_and_si128(s, alphaMask());
    const __m128i clear = _mm_cmpeq_epi32(a, zero);
    const int clearBits = _mm_movemask_epi8(clear);
    if (clearBits == 0xFFFF)
        return;
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, alphaMask())) == 0xFFFF) {
        store(dst, s);
        return;
    }
    const __m128i d = load(dst);
    const __m128i blended = blendFour(s, d);
    store(dst, clearBits ? _mm_or_si128(_mm_and_si128(clear, d), _mm_andnot_si128(clear, blended))
                         : blended);
}

void expandBgr(const uint8_t* bgr, uint32_t* out, size_t n) {
    size_t i = 0;
    // Each load reads 16 bytes for 12: with 6 pixels still ahead, no load
    // passes the last triplet.
    for (; i + 6 <= n; i += 4)
        store(out + i, bgrToPixels(load(bgr + 3 * i)));
    plain().expandBgr(bgr + 3 * i, out + i, n - i);
}

void putAlpha(const uint8_t* alpha, uint32_t* pixels, size_t n) {
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    size_t i = 0;
    for (; i + 4 <= n; i += 4)
        store(pixels + i,
              _mm_or_si128(_mm_and_si128(load(pixels + i), colour), alphaToTop(alpha + i)));
    plain().putAlpha(alpha + i, pixels + i, n - i);
}

void clearKey(uint32_t* pixels, size_t n, uint32_t key) {
    const __m128i k = _mm_set1_epi32(static_cast<int>(key));
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i p = load(pixels + i);
        const __m128i hit = _mm_and_si128(_mm_cmpeq_epi32(p, k), alphaMask());
        store(pixels + i, _mm_andnot_si128(hit, p));
    }
    plain().clearKey(pixels + i, n - i, key);
}

void copyVisible(const uint32_t* src, uint32_t* dst, size_t n) {
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i s = load(src + i);
        const __m128i hidden = _mm_cmpeq_epi32(_mm_and_si128(s, alphaMask()), zero);
        store(dst + i,
              _mm_or_si128(_mm_and_si128(hidden, load(dst + i)), _mm_andnot_si128(hidden, s)));
    }
    plain().copyVisible(src + i, dst + i, n - i);
}

void blend(const uint32_t* src, uint32_t* dst, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4)
        store(dst + i, blendFour(load(src + i), load(dst + i)));
    plain().blend(src + i, dst + i, n - i);
}

void blendSkipping(const uint32_t* src, uint32_t* dst, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4)
        blendSkippingFour(load(src + i), dst + i);
    plain().blendSkipping(src + i, dst + i, n - i);
}

void blendBgrAlpha(const uint8_t* bgr, const uint8_t* alpha, uint32_t* dst, size_t n) {
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    size_t i = 0;
    for (; i + 6 <= n; i += 4) {  // the loads as in expandBgr
        const __m128i s = _mm_or_si128(_mm_and_si128(bgrToPixels(load(bgr + 3 * i)), colour),
                                       alphaToTop(alpha + i));
        blendSkippingFour(s, dst + i);
    }
    plain().blendBgrAlpha(bgr + 3 * i, alpha + i, dst + i, n - i);
}

constexpr RowKernels kSse2 = {expandBgr, putAlpha,      clearKey,     copyVisible,
                              blend,     blendSkipping, blendBgrAlpha};

}  // namespace

const RowKernels* detail::vectorKernels() {
    return &kSse2;
}

}  // namespace pagelume::image::drawrows

#else  // no vector code for this machine: the plain set serves for both

namespace pagelume::image::drawrows {
const RowKernels* detail::vectorKernels() {
    return nullptr;
}
}  // namespace pagelume::image::drawrows

#endif
