#include "fit/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pagelume::fit {

namespace {

constexpr double kSupport = 3.0;

// Eight floats: two SSE registers or one AVX register. Every kernel does the
// same multiplications and additions in the same order on either, so the
// pixels do not depend on the machine.
using Vec8 = float __attribute__((vector_size(32)));
using Vec4 = float __attribute__((vector_size(16)));
// The same, read from and written to floats at any address.
using Vec8At = float __attribute__((vector_size(32), aligned(4)));
#define PAGELUME_AT8(p) (*reinterpret_cast<const Vec8At*>(p))

double sinc(double x) {
    if (x == 0.0)
        return 1.0;
    x *= std::numbers::pi;
    return std::sin(x) / x;
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define PAGELUME_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PAGELUME_VECTOR_CLONES
#endif

// Colour pixels to four floats each. The fourth float of a pixel is never
// used (its weights make only the sum that is thrown away), so it may hold
// the next pixel's red.
void expandRgb(const uint8_t* in, float* out, int n) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    auto put = [&](__m128i bytes, float* to) {
        const __m128i words = _mm_unpacklo_epi8(bytes, zero);
        _mm_storeu_ps(to, _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, zero)));
    };
    // Sixteen bytes are read for four pixels: stop while six pixels remain.
    for (; x + 6 <= n; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x * 3));
        put(v, out + x * 4);
        put(_mm_srli_si128(v, 3), out + x * 4 + 4);
        put(_mm_srli_si128(v, 6), out + x * 4 + 8);
        put(_mm_srli_si128(v, 9), out + x * 4 + 12);
    }
#endif
    for (; x < n; ++x) {
        out[x * 4] = in[x * 3];
        out[x * 4 + 1] = in[x * 3 + 1];
        out[x * 4 + 2] = in[x * 3 + 2];
    }
}

// Colour across: each output pixel sums its input pixels (four floats each)
// two at a time, against weights repeated four times. Two output pixels are
// summed side by side so that neither waits for its own previous addition;
// the weights past a pixel's run are 0, so the longer run of the two changes
// neither sum.
PAGELUME_VECTOR_CLONES
void acrossColour(const float* pixels, const float* taps, int stride, const int* first,
                  const int* count, int outWidth, float* out) {
    auto finish = [out](int x, Vec8 sum) {
        const Vec4 total =
            Vec4{sum[0], sum[1], sum[2], sum[3]} + Vec4{sum[4], sum[5], sum[6], sum[7]};
        out[x * 3] = total[0];
        out[x * 3 + 1] = total[1];
        out[x * 3 + 2] = total[2];
    };
    int x = 0;
    for (; x + 1 < outWidth; x += 2) {
        const float* a = pixels + static_cast<size_t>(first[x]) * 4;
        const float* b = pixels + static_cast<size_t>(first[x + 1]) * 4;
        const float* ka = taps + static_cast<size_t>(x) * stride;
        const float* kb = ka + stride;
        const int n = std::max(count[x], count[x + 1]);
        Vec8 sa = {}, sb = {};
        for (int i = 0; i < n; i += 2) {
            sa += PAGELUME_AT8(a + i * 4) * PAGELUME_AT8(ka + i * 4);
            sb += PAGELUME_AT8(b + i * 4) * PAGELUME_AT8(kb + i * 4);
        }
        finish(x, sa);
        finish(x + 1, sb);
    }
    if (x < outWidth) {
        const float* a = pixels + static_cast<size_t>(first[x]) * 4;
        const float* ka = taps + static_cast<size_t>(x) * stride;
        Vec8 sa = {};
        for (int i = 0; i < count[x]; i += 2)
            sa += PAGELUME_AT8(a + i * 4) * PAGELUME_AT8(ka + i * 4);
        finish(x, sa);
    }
}

// Grey across: eight input samples at a time against the weights.
PAGELUME_VECTOR_CLONES
void acrossGrey(const float* samples, const float* taps, int stride, const int* first,
                const int* count, int outWidth, float* out) {
    for (int x = 0; x < outWidth; ++x) {
        const float* src = samples + first[x];
        const float* k = taps + static_cast<size_t>(x) * stride;
        Vec8 sum = {};
        for (int i = 0; i < count[x]; i += 8)
            sum += PAGELUME_AT8(src + i) * PAGELUME_AT8(k + i);
        const Vec4 half =
            Vec4{sum[0], sum[1], sum[2], sum[3]} + Vec4{sum[4], sum[5], sum[6], sum[7]};
        out[x] = (half[0] + half[2]) + (half[1] + half[3]);
    }
}

// Down the columns: sixteen samples of the output row at a time, in two
// independent sums, each over the rows the output row takes.
PAGELUME_VECTOR_CLONES
void downKernel(const float* const* rows, const float* k, int taps, size_t n, float* out) {
    for (size_t j = 0; j < n; j += 16) {
        Vec8 lo = {}, hi = {};
        for (int i = 0; i < taps; ++i) {
            lo += PAGELUME_AT8(rows[i] + j) * k[i];
            hi += PAGELUME_AT8(rows[i] + j + 8) * k[i];
        }
        *reinterpret_cast<Vec8At*>(out + j) = lo;
        *reinterpret_cast<Vec8At*>(out + j + 8) = hi;
    }
}

// Rounded to the nearest byte value, eight at a time; the packing
// instructions saturate, which clamps to 0-255.
void toBytes(const float* in, size_t n, uint8_t* out) {
#if defined(__SSE2__)
    const __m128 half = _mm_set1_ps(0.5f);
    for (size_t j = 0; j < n; j += 8) {
        const __m128i lo = _mm_cvttps_epi32(_mm_add_ps(_mm_loadu_ps(in + j), half));
        const __m128i hi = _mm_cvttps_epi32(_mm_add_ps(_mm_loadu_ps(in + j + 4), half));
        const __m128i words = _mm_packs_epi32(lo, hi);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(words, words));
    }
#else
    for (size_t j = 0; j < n; ++j) {
        const float v = in[j] + 0.5f;
        out[j] = static_cast<uint8_t>(v <= 0.0f ? 0.0f : v >= 255.0f ? 255.0f : v);
    }
#endif
}

}  // namespace

double lanczos3(double x) {
    if (x <= -kSupport || x >= kSupport)
        return 0.0;
    return sinc(x) * sinc(x / kSupport);
}

Weights lanczosWeights(int inSize, int outSize) {
    Weights w;
    w.outSize = outSize;
    const double scale = static_cast<double>(inSize) / outSize;
    const double filterScale = std::max(scale, 1.0);
    const double support = kSupport * filterScale;
    w.maxTaps = static_cast<int>(std::ceil(support)) * 2 + 1;
    w.first.resize(outSize);
    w.count.resize(outSize);
    w.taps.assign(static_cast<size_t>(outSize) * w.maxTaps, 0.0f);
    std::vector<double> k(w.maxTaps);
    for (int o = 0; o < outSize; ++o) {
        const double centre = (o + 0.5) * scale;
        const int lo = std::max(static_cast<int>(centre - support + 0.5), 0);
        const int hi = std::min(static_cast<int>(centre + support + 0.5), inSize);
        const int n = std::min(hi - lo, w.maxTaps);
        double total = 0;
        for (int i = 0; i < n; ++i) {
            k[i] = lanczos3((i + lo - centre + 0.5) / filterScale);
            total += k[i];
        }
        float* out = w.taps.data() + static_cast<size_t>(o) * w.maxTaps;
        for (int i = 0; i < n; ++i)
            out[i] = static_cast<float>(total != 0 ? k[i] / total : 0);
        w.first[o] = lo;
        w.count[o] = n;
    }
    return w;
}

Resampler::Resampler(int inWidth, int inHeight, int outWidth, int outHeight, int channels)
    : inWidth_(inWidth),
      inHeight_(inHeight),
      outWidth_(outWidth),
      outHeight_(outHeight),
      channels_(channels) {
    if (inWidth < 1 || inHeight < 1 || outWidth < 1 || outHeight < 1 ||
        (channels != 1 && channels != 3))
        throw EFitError("Cannot resample to or from an empty page");
    if (outWidth != inWidth) {
        across_ = lanczosWeights(inWidth, outWidth);
        // Whole vectors of taps: two pixels or eight samples at a time; the
        // weights past a run's end are 0 and the pixels they meet are padding.
        const int perTap = channels == 3 ? 4 : 1, step = channels == 3 ? 2 : 8;
        const int taps = (across_.maxTaps + step - 1) / step * step;
        acrossStride_ = taps * perTap;
        acrossTaps_.assign(static_cast<size_t>(outWidth) * acrossStride_, 0.0f);
        for (int x = 0; x < outWidth; ++x)
            for (int i = 0; i < across_.count[x]; ++i)
                for (int c = 0; c < perTap; ++c)
                    acrossTaps_[static_cast<size_t>(x) * acrossStride_ + i * perTap + c] =
                        across_.taps[static_cast<size_t>(x) * across_.maxTaps + i];
        pixels_.assign((static_cast<size_t>(inWidth) + taps) * perTap, 0.0f);
    }
    if (outHeight != inHeight)
        down_ = lanczosWeights(inHeight, outHeight);
    ringRows_ = outHeight == inHeight ? 1 : down_.maxTaps;
    const size_t samples = static_cast<size_t>(outWidth) * channels;
    rowFloats_ = (samples + 15) / 16 * 16;
    ring_.assign(rowFloats_ * ringRows_, 0.0f);
    rows_.resize(ringRows_);
    sums_.resize(rowFloats_);
    outRow_.resize(rowFloats_);  // the padding past the samples is written, never read
}

void Resampler::acrossRow(const uint8_t* in, float* out) {
    if (outWidth_ == inWidth_) {
        const size_t n = static_cast<size_t>(inWidth_) * channels_;
        for (size_t i = 0; i < n; ++i)
            out[i] = in[i];
        return;
    }
    const Weights& w = across_;
    if (channels_ == 3) {
        expandRgb(in, pixels_.data(), inWidth_);
        acrossColour(pixels_.data(), acrossTaps_.data(), acrossStride_, w.first.data(),
                     w.count.data(), outWidth_, out);
        return;
    }
    for (int x = 0; x < inWidth_; ++x)
        pixels_[x] = in[x];
    acrossGrey(pixels_.data(), acrossTaps_.data(), acrossStride_, w.first.data(), w.count.data(),
               outWidth_, out);
}

void Resampler::downColumns(int outRow, uint8_t* out) {
    const int first = down_.first[outRow], taps = down_.count[outRow];
    for (int i = 0; i < taps; ++i)
        rows_[i] = ring_.data() + rowFloats_ * ((first + i) % ringRows_);
    downKernel(rows_.data(), down_.taps.data() + static_cast<size_t>(outRow) * down_.maxTaps, taps,
               rowFloats_, sums_.data());
    toBytes(sums_.data(), rowFloats_, out);
}

void Resampler::pushRow(const uint8_t* row, const RowSink& sink) {
    if (nextIn_ >= inHeight_)
        throw EFitError("More rows than the page has");
    float* slot = ring_.data() + rowFloats_ * (nextIn_ % ringRows_);
    acrossRow(row, slot);
    const int have = ++nextIn_;
    if (outHeight_ == inHeight_) {
        toBytes(slot, rowFloats_, outRow_.data());
        sink(outRow_.data());
        ++nextOut_;
        return;
    }
    while (nextOut_ < outHeight_ && down_.first[nextOut_] + down_.count[nextOut_] <= have) {
        downColumns(nextOut_, outRow_.data());
        sink(outRow_.data());
        ++nextOut_;
    }
}

void resample(RowSource& source, int outWidth, int outHeight, const Resampler::RowSink& sink,
              StopFlag stop) {
    Resampler r(source.width(), source.height(), outWidth, outHeight, source.channels());
    std::vector<uint8_t> row(static_cast<size_t>(source.width()) * source.channels());
    for (int y = 0; y < source.height(); ++y) {
        checkStop(stop);
        source.readRow(row.data());
        r.pushRow(row.data(), sink);
    }
}

}  // namespace pagelume::fit
