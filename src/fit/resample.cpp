#include "fit/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace pagelume::fit {

namespace {

constexpr double kSupport = 3.0;
using Vec = Resampler::Vec;

double sinc(double x) {
    if (x == 0.0)
        return 1.0;
    x *= std::numbers::pi;
    return std::sin(x) / x;
}

inline uint8_t toByte(float v) {
    v += 0.5f;
    return static_cast<uint8_t>(v <= 0.0f ? 0.0f : v >= 255.0f ? 255.0f : v);
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
    if (outWidth != inWidth)
        across_ = lanczosWeights(inWidth, outWidth);
    if (outHeight != inHeight)
        down_ = lanczosWeights(inHeight, outHeight);
    ringRows_ = outHeight == inHeight ? 1 : down_.maxTaps;
    const size_t samples = static_cast<size_t>(outWidth) * channels;
    rowVecs_ = (samples + 3) / 4;
    pixels_.resize(channels == 3 ? inWidth : (inWidth + 3) / 4);
    ring_.resize(rowVecs_ * ringRows_);
    sums_.resize(rowVecs_);
    outRow_.resize(samples);
}

// Each output sample is a weighted sum of a run of input samples; colour
// pixels take one vector each, so the three channels are summed together.
void Resampler::acrossRow(const uint8_t* in, Vec* out) {
    float* flat = reinterpret_cast<float*>(out);
    if (outWidth_ == inWidth_) {
        const size_t n = static_cast<size_t>(inWidth_) * channels_;
        for (size_t i = 0; i < n; ++i)
            flat[i] = in[i];
        return;
    }
    const Weights& w = across_;
    if (channels_ == 3) {
        for (int x = 0; x < inWidth_; ++x)
            pixels_[x] = Vec{float(in[x * 3]), float(in[x * 3 + 1]), float(in[x * 3 + 2]), 0.0f};
        for (int x = 0; x < outWidth_; ++x) {
            const Vec* src = pixels_.data() + w.first[x];
            const float* k = w.taps.data() + static_cast<size_t>(x) * w.maxTaps;
            Vec sum = {0, 0, 0, 0};
            for (int i = 0; i < w.count[x]; ++i)
                sum += src[i] * k[i];
            flat[x * 3] = sum[0];
            flat[x * 3 + 1] = sum[1];
            flat[x * 3 + 2] = sum[2];
        }
        return;
    }
    float* grey = reinterpret_cast<float*>(pixels_.data());
    for (int x = 0; x < inWidth_; ++x)
        grey[x] = in[x];
    for (int x = 0; x < outWidth_; ++x) {
        const float* src = grey + w.first[x];
        const float* k = w.taps.data() + static_cast<size_t>(x) * w.maxTaps;
        float sum = 0;
        for (int i = 0; i < w.count[x]; ++i)
            sum += src[i] * k[i];
        flat[x] = sum;
    }
}

void Resampler::downColumns(int outRow, uint8_t* out) {
    Vec* sums = sums_.data();
    std::fill(sums, sums + rowVecs_, Vec{0, 0, 0, 0});
    const int first = down_.first[outRow];
    const float* k = down_.taps.data() + static_cast<size_t>(outRow) * down_.maxTaps;
    for (int i = 0; i < down_.count[outRow]; ++i) {
        const Vec* row = ring_.data() + rowVecs_ * ((first + i) % ringRows_);
        const float weight = k[i];
        for (size_t j = 0; j < rowVecs_; ++j)
            sums[j] += row[j] * weight;
    }
    const float* flat = reinterpret_cast<const float*>(sums);
    for (size_t j = 0; j < outRow_.size(); ++j)
        out[j] = toByte(flat[j]);
}

void Resampler::pushRow(const uint8_t* row, const RowSink& sink) {
    if (nextIn_ >= inHeight_)
        throw EFitError("More rows than the page has");
    Vec* slot = ring_.data() + rowVecs_ * (nextIn_ % ringRows_);
    acrossRow(row, slot);
    const int have = ++nextIn_;
    if (outHeight_ == inHeight_) {
        const float* flat = reinterpret_cast<const float*>(slot);
        for (size_t j = 0; j < outRow_.size(); ++j)
            outRow_[j] = toByte(flat[j]);
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
