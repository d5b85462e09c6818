#include "fit/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace pagelume::fit {

namespace {

constexpr double kSupport = 3.0;

double sinc(double x) {
    if (x == 0.0)
        return 1.0;
    x *= std::numbers::pi;
    return std::sin(x) / x;
}

inline uint8_t clip8(int32_t sum) {
    sum >>= kWeightBits;
    return static_cast<uint8_t>(sum < 0 ? 0 : sum > 255 ? 255 : sum);
}

template <int C>
void acrossKernel(const uint8_t* in, uint8_t* out, const Weights& w) {
    constexpr int32_t half = int32_t{1} << (kWeightBits - 1);
    for (int x = 0; x < w.outSize; ++x) {
        const uint8_t* src = in + static_cast<size_t>(w.first[x]) * C;
        const int32_t* k = w.taps.data() + static_cast<size_t>(x) * w.maxTaps;
        const int n = w.count[x];
        int32_t s[C];
        for (int c = 0; c < C; ++c)
            s[c] = half;
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < C; ++c)
                s[c] += src[i * C + c] * k[i];
        for (int c = 0; c < C; ++c)
            out[x * C + c] = clip8(s[c]);
    }
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
    w.taps.assign(static_cast<size_t>(outSize) * w.maxTaps, 0);
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
        int32_t* out = w.taps.data() + static_cast<size_t>(o) * w.maxTaps;
        for (int i = 0; i < n; ++i) {
            const double v = (total != 0 ? k[i] / total : 0) * (1 << kWeightBits);
            out[i] = static_cast<int32_t>(v < 0 ? v - 0.5 : v + 0.5);
        }
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
    if (outWidth != inWidth)
        across_ = lanczosWeights(inWidth, outWidth);
    down_ = lanczosWeights(inHeight, outHeight);
    ringRows_ = outHeight == inHeight ? 1 : down_.maxTaps;
    const size_t rowBytes = static_cast<size_t>(outWidth) * channels;
    ring_.resize(rowBytes * ringRows_);
    sums_.resize(rowBytes);
    outRow_.resize(rowBytes);
}

void Resampler::acrossRow(const uint8_t* in, uint8_t* out) const {
    if (outWidth_ == inWidth_)
        std::memcpy(out, in, static_cast<size_t>(inWidth_) * channels_);
    else if (channels_ == 3)
        acrossKernel<3>(in, out, across_);
    else
        acrossKernel<1>(in, out, across_);
}

void Resampler::downColumns(int outRow, uint8_t* out) {
    const size_t n = sums_.size();
    int32_t* sums = sums_.data();
    std::fill(sums, sums + n, int32_t{1} << (kWeightBits - 1));
    const int first = down_.first[outRow];
    const int32_t* k = down_.taps.data() + static_cast<size_t>(outRow) * down_.maxTaps;
    for (int i = 0; i < down_.count[outRow]; ++i) {
        const uint8_t* row = ring_.data() + n * ((first + i) % ringRows_);
        const int32_t weight = k[i];
        for (size_t j = 0; j < n; ++j)
            sums[j] += row[j] * weight;
    }
    for (size_t j = 0; j < n; ++j)
        out[j] = clip8(sums[j]);
}

void Resampler::pushRow(const uint8_t* row, const RowSink& sink) {
    if (nextIn_ >= inHeight_)
        throw EFitError("More rows than the page has");
    const size_t n = sums_.size();
    uint8_t* slot = ring_.data() + n * (nextIn_ % ringRows_);
    acrossRow(row, slot);
    const int have = ++nextIn_;
    if (outHeight_ == inHeight_) {
        sink(slot);
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
