#include "image/pngrows.h"

#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pagelume::image::pngrows {

namespace {

inline uint8_t paeth(int a, int b, int c) {
    int p = b - c;
    int q = a - c;
    int pa = std::abs(p);
    int pb = std::abs(q);
    int pc = std::abs(p + q);
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Loops for one pixel size each; a fixed BPP lets the compiler keep the
// left neighbour in registers.
template <unsigned BPP>
void unfilterSub(uint8_t* row, size_t length) {
    for (size_t i = BPP; i < length; ++i)
        row[i] = static_cast<uint8_t>(row[i] + row[i - BPP]);
}

template <unsigned BPP>
void unfilterAverage(uint8_t* row, const uint8_t* prior, size_t length) {
    size_t first = length < BPP ? length : BPP;
    for (size_t i = 0; i < first; ++i)
        row[i] = static_cast<uint8_t>(row[i] + (prior[i] >> 1));
    for (size_t i = BPP; i < length; ++i)
        row[i] = static_cast<uint8_t>(row[i] + ((row[i - BPP] + prior[i]) >> 1));
}

template <unsigned BPP>
void unfilterPaeth(uint8_t* row, const uint8_t* prior, size_t length) {
    size_t first = length < BPP ? length : BPP;
    for (size_t i = 0; i < first; ++i)
        row[i] = static_cast<uint8_t>(row[i] + prior[i]);
    for (size_t i = BPP; i < length; ++i)
        row[i] = static_cast<uint8_t>(row[i] + paeth(row[i - BPP], prior[i], prior[i - BPP]));
}

#if defined(__SSE2__)
// RGB and RGBA rows (8 or 16 bits a sample), one pixel per step in 16-bit
// lanes: the left neighbour is the only dependency between steps, as in the
// scalar code, but all channels of a pixel go together. Loads and stores move exactly BPP bytes.
// Three-byte pixels are assembled in registers: a 3-byte memcpy would go
// through memory and stall on store forwarding.
template <unsigned BPP>
inline __m128i loadPixel(const uint8_t* p) {
    if constexpr (BPP == 8) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                 _mm_setzero_si128());
    } else if constexpr (BPP == 6) {
        uint32_t low;
        uint16_t high;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + 4, 2);
        const __m128i v = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(low)),
                                             _mm_cvtsi32_si128(high));
        return _mm_unpacklo_epi8(v, _mm_setzero_si128());
    } else {
        uint32_t v;
        if constexpr (BPP == 4) {
            std::memcpy(&v, p, 4);
        } else {
            uint16_t low;
            std::memcpy(&low, p, 2);
            v = low | (uint32_t{p[2]} << 16);
        }
        return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(v)), _mm_setzero_si128());
    }
}

template <unsigned BPP>
inline void storePixel(uint8_t* p, __m128i v) {
    const __m128i packed = _mm_packus_epi16(v, v);
    if constexpr (BPP == 8) {
        _mm_storel_epi64(reinterpret_cast<__m128i*>(p), packed);
    } else if constexpr (BPP == 6) {
        const uint32_t low = static_cast<uint32_t>(_mm_cvtsi128_si32(packed));
        const uint16_t high = static_cast<uint16_t>(_mm_cvtsi128_si32(_mm_srli_si128(packed, 4)));
        std::memcpy(p, &low, 4);
        std::memcpy(p + 4, &high, 2);
    } else {
        uint32_t out = static_cast<uint32_t>(_mm_cvtsi128_si32(packed));
        if constexpr (BPP == 4) {
            std::memcpy(p, &out, 4);
        } else {
            uint16_t low = static_cast<uint16_t>(out);
            std::memcpy(p, &low, 2);
            p[2] = static_cast<uint8_t>(out >> 16);
        }
    }
}

inline __m128i abs16(__m128i v) {
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

inline __m128i select16(__m128i mask, __m128i ifSet, __m128i ifClear) {
    return _mm_or_si128(_mm_and_si128(mask, ifSet), _mm_andnot_si128(mask, ifClear));
}

template <unsigned BPP>
void unfilterSimd(uint8_t filterType, uint8_t* row, const uint8_t* prior, size_t length) {
    const __m128i low = _mm_set1_epi16(0xFF);
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    for (size_t i = 0; i + BPP <= length; i += BPP) {
        __m128i x = loadPixel<BPP>(row + i);
        __m128i b = loadPixel<BPP>(prior + i);
        __m128i predicted;
        if (filterType == 1) {
            predicted = a;
        } else if (filterType == 3) {
            predicted = _mm_srli_epi16(_mm_add_epi16(a, b), 1);
        } else {
            __m128i p = _mm_sub_epi16(b, c), q = _mm_sub_epi16(a, c);
            __m128i pa = abs16(p), pb = abs16(q), pc = abs16(_mm_add_epi16(p, q));
            // Ties go to a, then b, as the PNG predictor demands.
            __m128i nearest = select16(_mm_cmpgt_epi16(pb, pc), c, b);
            predicted = select16(_mm_cmpgt_epi16(pa, _mm_min_epi16(pb, pc)), nearest, a);
        }
        a = _mm_and_si128(_mm_add_epi16(x, predicted), low);
        c = b;
        storePixel<BPP>(row + i, a);
    }
}
#endif

template <unsigned BPP>
void unfilterFixed(uint8_t filterType, uint8_t* row, const uint8_t* prior, size_t length) {
    switch (filterType) {
        case 1:
            unfilterSub<BPP>(row, length);
            break;
        case 3:
            unfilterAverage<BPP>(row, prior, length);
            break;
        case 4:
            unfilterPaeth<BPP>(row, prior, length);
            break;
    }
}

}  // namespace

bool unfilterRow(uint8_t filterType, uint8_t* row, const uint8_t* prior, size_t length,
                 unsigned bpp) {
    switch (filterType) {
        case 0:
            return true;
        case 2:
            for (size_t i = 0; i < length; ++i)
                row[i] = static_cast<uint8_t>(row[i] + prior[i]);
            return true;
        case 1:
        case 3:
        case 4:
            break;
        default:
            return false;
    }
#if defined(__SSE2__)
    if (bpp == 3) {
        unfilterSimd<3>(filterType, row, prior, length);
        return true;
    }
    if (bpp == 4) {
        unfilterSimd<4>(filterType, row, prior, length);
        return true;
    }
    if (bpp == 6) {
        unfilterSimd<6>(filterType, row, prior, length);
        return true;
    }
    if (bpp == 8) {
        unfilterSimd<8>(filterType, row, prior, length);
        return true;
    }
#endif
    switch (bpp) {
        case 1:
            unfilterFixed<1>(filterType, row, prior, length);
            break;
        case 2:
            unfilterFixed<2>(filterType, row, prior, length);
            break;
        case 3:
            unfilterFixed<3>(filterType, row, prior, length);
            break;
        case 4:
            unfilterFixed<4>(filterType, row, prior, length);
            break;
        case 6:
            unfilterFixed<6>(filterType, row, prior, length);
            break;
        default:
            unfilterFixed<8>(filterType, row, prior, length);
            break;
    }
    return true;
}

PassList passesFor(uint32_t width, uint32_t height, bool interlaced) {
    PassList list{};
    if (!interlaced) {
        list.passes[0] = {0, 0, 1, 1, width, height};
        list.count = 1;
        return list;
    }
    static constexpr uint32_t adam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    for (int p = 0; p < 7; ++p) {
        const uint32_t* a = adam7[p];
        Pass& pass = list.passes[p];
        pass = {a[0], a[1], a[2], a[3], 0, 0};
        if (width > a[0])
            pass.width = (width - a[0] + a[2] - 1) / a[2];
        if (height > a[1])
            pass.height = (height - a[1] + a[3] - 1) / a[3];
    }
    list.count = 7;
    return list;
}

}  // namespace pagelume::image::pngrows
