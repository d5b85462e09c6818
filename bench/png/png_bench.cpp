// Decodes the same PNG files with TPNGObject and with libpng (into its own
// buffer, no transformations) and reports the times and their ratio.
//
//   png_bench [--rounds N] [--save DIR] [FILE.png ...]
//
// Without files it makes a 4000x3000 RGB and a 4000x3000 RGBA image (8-bit)
// with libpng, each of the five filter types on a fifth of the rows.
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "image/drawrows.h"
#include "image/pngimage.h"

namespace {

// CPU time of this thread: the machine is shared, and waiting for a core
// must not count against either decoder.
double cpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

struct Buffer {
    std::string bytes;
    size_t pos = 0;
};

void writeToBuffer(png_structp png, png_bytep data, png_size_t n) {
    static_cast<Buffer*>(png_get_io_ptr(png))->bytes.append(reinterpret_cast<char*>(data), n);
}
void flushNothing(png_structp) {}

void readFromBuffer(png_structp png, png_bytep out, png_size_t n) {
    auto* b = static_cast<Buffer*>(png_get_io_ptr(png));
    if (b->pos + n > b->bytes.size())
        png_error(png, "read past end");
    std::memcpy(out, b->bytes.data() + b->pos, n);
    b->pos += n;
}

// Gradients, noisy patches, flat areas and stripes: something for every
// filter type to win on.
std::string makeImage(uint32_t w, uint32_t h, bool alpha) {
    const int channels = alpha ? 4 : 3;
    std::mt19937 rng(42);
    std::vector<uint8_t> pixels(size_t{w} * h * channels);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            uint8_t* p = &pixels[(size_t{y} * w + x) * channels];
            int region = static_cast<int>((x / 250 + y / 200) % 4);
            int noise = region == 0 ? static_cast<int>(rng() % 24) : region == 1 ? rng() % 3 : 0;
            p[0] = static_cast<uint8_t>(x * 255 / w + noise);
            p[1] = static_cast<uint8_t>(region == 2 ? ((x / 7 + y / 5) % 2) * 200 : y * 255 / h);
            p[2] = static_cast<uint8_t>(region == 3 ? 90 : (x + y) / 9 + noise);
            if (alpha)
                p[3] = static_cast<uint8_t>(region == 3 ? 255 : (x * 3 + y) % 256);
        }
    }
    Buffer out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        std::cerr << "libpng could not write the test image\n";
        std::exit(1);
    }
    png_set_write_fn(png, &out, writeToBuffer, flushNothing);
    png_set_IHDR(png, info, w, h, 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 6);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);  // lets rows switch below
    png_write_info(png, info);
    // Each filter type on a fifth of the rows.
    static const int kFilters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG,
                                   PNG_FILTER_PAETH};
    for (uint32_t y = 0; y < h; ++y) {
        if (y > 0)  // the first row starts the writer with every filter enabled
            png_set_filter(png, PNG_FILTER_TYPE_BASE, kFilters[y % 5]);
        png_write_row(png, &pixels[size_t{y} * w * channels]);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out.bytes;
}

// How many rows use each filter type (plain images only).
std::vector<int> filterHistogram(const std::string& file) {
    std::vector<int> counts(5, 0);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Buffer in{file, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return counts;
    }
    png_set_read_fn(png, &in, readFromBuffer);
    png_read_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const uint32_t height = png_get_image_height(png, info);
    const bool interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    png_destroy_read_struct(&png, &info, nullptr);
    if (interlaced)
        return counts;
    std::string data;  // the concatenated IDAT contents
    for (size_t pos = 8; pos + 12 <= file.size();) {
        auto u = [&](size_t i) { return static_cast<uint8_t>(file[i]); };
        size_t len = (size_t{u(pos)} << 24) | (u(pos + 1) << 16) | (u(pos + 2) << 8) | u(pos + 3);
        if (file.compare(pos + 4, 4, "IDAT") == 0)
            data.append(file, pos + 8, len);
        pos += 12 + len;
    }
    std::vector<uint8_t> raw((rowBytes + 1) * height);
    uLongf size = raw.size();
    uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(data.data()), data.size());
    for (uint32_t y = 0; y < height; ++y)
        if (raw[y * (rowBytes + 1)] < 5)
            ++counts[raw[y * (rowBytes + 1)]];
    return counts;
}

double decodeWithLibpng(const std::string& file) {
    double start = cpuMilliseconds();
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    Buffer in{file, 0};
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        std::cerr << "libpng failed\n";
        std::exit(1);
    }
    png_set_read_fn(png, &in, readFromBuffer);
    png_read_info(png, info);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const uint32_t height = png_get_image_height(png, info);
    pixels.resize(rowBytes * height);
    for (uint32_t y = 0; y < height; ++y)
        rows.push_back(pixels.data() + y * rowBytes);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return cpuMilliseconds() - start;
}

double decodeWithPngObject(const std::string& file) {
    double start = cpuMilliseconds();
    pagelume::image::TPNGObject png;
    png.LoadFromMemory(file.data(), file.size());
    return cpuMilliseconds() - start;
}

// Drawing the decoded page over white at its own size, with one set of row
// kernels. The surface is made and filled outside the timing.
double drawWithKernels(const pagelume::image::TPNGObject& png,
                       pagelume::image::drawrows::KernelSet set,
                       pagelume::image::DrawSurface& surface) {
    namespace img = pagelume::image;
    surface.fill(0xFFFFFFFFu);
    img::drawrows::UseKernels(set);
    double start = cpuMilliseconds();
    png.Draw(surface, img::Rect{0, 0, png.Width(), png.Height()});
    double time = cpuMilliseconds() - start;
    img::drawrows::UseKernels(img::drawrows::KernelSet::Vector);
    return time;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 7;
    std::string saveDir;
    std::vector<std::pair<std::string, std::string>> files;  // name, bytes
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = std::max(1, std::atoi(argv[++i]));
            continue;
        }
        if (std::strcmp(argv[i], "--save") == 0 && i + 1 < argc) {
            saveDir = argv[++i];
            continue;
        }
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::cerr << "cannot read " << argv[i] << '\n';
            return 1;
        }
        files.emplace_back(argv[i], std::string(std::istreambuf_iterator<char>(in), {}));
    }
    if (files.empty()) {
        files.emplace_back("generated 4000x3000 RGB", makeImage(4000, 3000, false));
        files.emplace_back("generated 4000x3000 RGBA", makeImage(4000, 3000, true));
        if (!saveDir.empty()) {  // for profiling, or for other decoders
            std::ofstream(saveDir + "/bench_rgb.png", std::ios::binary) << files[0].second;
            std::ofstream(saveDir + "/bench_rgba.png", std::ios::binary) << files[1].second;
        }
    }

    std::printf("%-28s %9s %12s %12s %7s  %s\n", "image", "KiB", "TPNGObject", "libpng", "ratio",
                "rows per filter 0/1/2/3/4");
    std::vector<std::vector<double>> plainDraws, vectorDraws;
    for (const auto& [name, bytes] : files) {
        std::vector<double> ours, theirs;
        for (int r = 0; r < rounds; ++r) {  // interleaved, so drift hits both alike
            ours.push_back(decodeWithPngObject(bytes));
            theirs.push_back(decodeWithLibpng(bytes));
        }
        std::vector<int> f = filterHistogram(bytes);
        double a = median(ours), b = median(theirs);
        std::printf("%-28s %9zu %9.1f ms %9.1f ms %7.2f  %d/%d/%d/%d/%d\n", name.c_str(),
                    bytes.size() / 1024, a, b, a / b, f[0], f[1], f[2], f[3], f[4]);

        pagelume::image::TPNGObject png;
        png.LoadFromMemory(bytes.data(), bytes.size());
        pagelume::image::DrawSurface surface(png.Width(), png.Height());
        plainDraws.emplace_back();
        vectorDraws.emplace_back();
        for (int r = 0; r < rounds; ++r) {
            using pagelume::image::drawrows::KernelSet;
            plainDraws.back().push_back(drawWithKernels(png, KernelSet::Plain, surface));
            vectorDraws.back().push_back(drawWithKernels(png, KernelSet::Vector, surface));
        }
    }
    std::printf(
        "thread CPU time, median of %d rounds; ratio = TPNGObject / libpng (below 1: faster)\n\n",
        rounds);

    std::printf("%-28s %12s %12s %7s\n", "drawing over white", "plain", "vector", "ratio");
    for (size_t i = 0; i < files.size(); ++i) {
        double p = median(plainDraws[i]), v = median(vectorDraws[i]);
        std::printf("%-28s %9.1f ms %9.1f ms %7.2f\n", files[i].first.c_str(), p, v, v / p);
    }
    std::printf("TPNGObject::Draw into a page-sized surface, median of %d alternated rounds%s\n",
                rounds,
                pagelume::image::drawrows::HasVectorKernels() ? "" : " (no vector kernels here)");
    return 0;
}
