// PNG pages through our own decoder, flattened over white row by row.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <istream>
#include <streambuf>

#include "fit/decode.h"
#include "image/pngimage.h"

namespace pagelume::fit::detail {

namespace {

// Feeds the decoder from a file and ends the data early when fitting is told
// to stop, so a large page does not hold the stop up.
class StoppableFileBuf : public std::streambuf {
public:
    StoppableFileBuf(std::FILE* f, StopFlag stop) : file_(f), stop_(stop) {}
    bool stopped() const { return stopped_; }

protected:
    int_type underflow() override {
        if (stop_ && stop_->load(std::memory_order_relaxed)) {
            stopped_ = true;
            return traits_type::eof();
        }
        const size_t got = std::fread(buffer_, 1, sizeof buffer_, file_);
        if (got == 0)
            return traits_type::eof();
        setg(buffer_, buffer_, buffer_ + got);
        return traits_type::to_int_type(buffer_[0]);
    }

private:
    std::FILE* file_;
    StopFlag stop_;
    bool stopped_ = false;
    char buffer_[1 << 16];
};

class PngReader final : public PageReader, public RowSource {
public:
    PngReader(const std::string& path, StopFlag stop) : path_(path), stop_(stop) {
        File file(path);
        // The header's size, checked here only as far as fitting needs it;
        // the decoder checks the whole header again.
        uint8_t head[24];
        if (std::fread(head, 1, sizeof head, file.f) != sizeof head ||
            std::memcmp(head + 12, "IHDR", 4) != 0)
            throw EFitError("Cannot decode PNG picture: no image header");
        auto u32 = [&](int at) {
            return (uint32_t{head[at]} << 24) | (uint32_t{head[at + 1]} << 16) |
                   (uint32_t{head[at + 2]} << 8) | head[at + 3];
        };
        const uint32_t w = u32(16), h = u32(20);
        if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF)
            throw EFitError("Cannot decode PNG picture: invalid image header");
        if (uint64_t{w} * h > kMaxPagePixels)
            throw EFitError("The page is too large");
        header_.format = PageFormat::Png;
        header_.width = static_cast<int>(w);
        header_.height = static_cast<int>(h);
    }

    RowSource& start(int, int, bool grey) override {
        grey_ = grey;
        {
            File file(path_);
            StoppableFileBuf buf(file.f, stop_);
            std::istream in(&buf);
            image::TPNGObject png;
            try {
                png.LoadFromStream(in);
            } catch (const std::exception& e) {
                // A stop ends the data early, whatever the decoder then says.
                checkStop(stop_);
                throw EFitError(std::string("Cannot decode PNG picture: ") + e.what());
            }
            checkStop(stop_);
            pixels_ = png.ToARGB();
        }
        if (pixels_.width != header_.width || pixels_.height != header_.height)
            throw EFitError("Cannot decode PNG picture: no image data");
        return *this;
    }

    int width() const override { return pixels_.width; }
    int height() const override { return pixels_.height; }
    int channels() const override { return grey_ ? 1 : 3; }

    void readRow(uint8_t* out) override {
        if (next_ >= pixels_.height)
            throw EFitError("Read past the last row of a page");
        const uint32_t* p = pixels_.pixels.data() + static_cast<size_t>(next_++) * pixels_.width;
        for (int x = 0; x < pixels_.width; ++x) {
            const uint32_t v = p[x];
            const unsigned a = v >> 24;
            unsigned r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
            if (a != 255)
                r = overWhite(r, a), g = overWhite(g, a), b = overWhite(b, a);
            if (grey_) {
                out[x] = greyOf(r, g, b);
            } else {
                out[x * 3] = static_cast<uint8_t>(r);
                out[x * 3 + 1] = static_cast<uint8_t>(g);
                out[x * 3 + 2] = static_cast<uint8_t>(b);
            }
        }
    }

private:
    struct File {
        explicit File(const std::string& path) : f(std::fopen(path.c_str(), "rb")) {
            if (!f)
                throw EInOutError("Cannot open file \"" + path + "\". " + std::strerror(errno));
        }
        ~File() { std::fclose(f); }
        File(const File&) = delete;
        File& operator=(const File&) = delete;
        std::FILE* f;
    };

    std::string path_;
    StopFlag stop_;
    image::ARGBImage pixels_;
    bool grey_ = false;
    int next_ = 0;
};

}  // namespace

std::unique_ptr<PageReader> openPng(const std::string& path, StopFlag stop) {
    return std::make_unique<PngReader>(path, stop);
}

}  // namespace pagelume::fit::detail
