#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Baseline JPEG out of rows, with libjpeg: 4:2:0 for colour, one component
// for grey, a plain JFIF header and nothing else.
namespace pagelume::fit {

class JpegEncoder {
public:
    // EFitError for a size libjpeg cannot write or a quality outside 1-100.
    JpegEncoder(int width, int height, int channels, int quality);
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // The next row: width x channels samples.
    void writeRow(const uint8_t* row);
    // After the last row: the whole file.
    std::vector<uint8_t> finish();

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace pagelume::fit
