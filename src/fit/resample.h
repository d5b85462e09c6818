#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "fit/pixels.h"

// Lanczos-3 resampling in two passes: each incoming row is resampled across
// at once, and an output row is made down the columns as soon as the rows it
// needs have come in, so only a few rows are ever held.
namespace pagelume::fit {

// The weights that make each output sample from a run of input samples.
struct Weights {
    int outSize = 0;
    int maxTaps = 0;
    std::vector<int> first;   // per output sample: its first input sample
    std::vector<int> count;   // per output sample: how many it takes
    std::vector<float> taps;  // per output sample: maxTaps weights, count of them used
};

// Lanczos-3 weights from inSize samples to outSize: widened by the factor
// when reducing, so each output sample averages all the input it covers;
// each run sums to 1.
Weights lanczosWeights(int inSize, int outSize);
// The Lanczos-3 kernel itself.
double lanczos3(double x);

class Resampler {
public:
    using RowSink = std::function<void(const uint8_t* row)>;

    // Rows of inWidth x channels samples in, rows of outWidth x channels out.
    Resampler(int inWidth, int inHeight, int outWidth, int outHeight, int channels);

    // Takes the next input row and passes every output row it completes to sink.
    void pushRow(const uint8_t* row, const RowSink& sink);
    bool finished() const { return nextOut_ >= outHeight_; }

private:
    void acrossRow(const uint8_t* in, float* out);
    void downColumns(int outRow, uint8_t* out);

    int inWidth_, inHeight_, outWidth_, outHeight_, channels_;
    Weights across_, down_;
    // The weights across laid out for the vector kernels: for colour each
    // weight four times (one per channel and the spare), for grey as they
    // are; maxTaps rounded up to a whole number of vectors.
    std::vector<float> acrossTaps_;
    int acrossStride_ = 0;
    size_t rowFloats_ = 0;       // floats per resampled row, a multiple of 16
    std::vector<float> pixels_;  // the incoming row as floats, four per colour pixel, padded
    std::vector<float> ring_;    // rows resampled across, indexed by input row mod ringRows_
    int ringRows_ = 0;
    int nextIn_ = 0;
    int nextOut_ = 0;
    std::vector<const float*> rows_;  // the rows one output row takes
    std::vector<float> sums_;
    std::vector<uint8_t> outRow_;
};

// Reads the whole source through a resampler, passing each output row to sink.
void resample(RowSource& source, int outWidth, int outHeight, const Resampler::RowSink& sink,
              StopFlag stop);

}  // namespace pagelume::fit
