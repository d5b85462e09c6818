// JPEG pages through libjpeg: reduced decoding when the page is at least
// twice the size it is fitted to, rows streamed one at a time.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "fit/decode.h"
#include "fit/orientation.h"

namespace pagelume::fit::detail {

namespace {

// libjpeg may hold this much for one page (a progressive page keeps all its
// coefficients); past it the page fails instead of the machine running out.
constexpr long kMaxJpegMemory = 768L << 20;

struct ErrorManager {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool truncated;
};

void errorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings are not shown; a page that ends early is damaged, though libjpeg
// would fill the rest with grey and call it a success.
void emitMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        err->truncated = true;
}

// Called by libjpeg as it works through a page, also while it reads all of a
// progressive page before the first row: a stop leaves the page there.
struct StopMonitor {
    jpeg_progress_mgr mgr;
    StopFlag stop;
};

void monitorStop(j_common_ptr cinfo) {
    auto* monitor = reinterpret_cast<StopMonitor*>(cinfo->progress);
    if (monitor->stop && monitor->stop->load(std::memory_order_relaxed)) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "stopped");
        std::longjmp(err->jump, 1);
    }
}

// Runs libjpeg calls; false when libjpeg gave up. Nothing with a destructor
// may live in the frames that the jump leaves.
template <class F>
bool guarded(ErrorManager& err, F&& calls) {
    if (setjmp(err.jump))
        return false;
    calls();
    return true;
}

class JpegReader final : public PageReader, public RowSource {
public:
    JpegReader(const std::string& path, StopFlag stop) : stop_(stop) {
        file_.f = std::fopen(path.c_str(), "rb");
        if (!file_.f)
            throw EInOutError("Cannot open file \"" + path + "\". " + std::strerror(errno));
        cinfo_.err = jpeg_std_error(&err_.mgr);
        err_.mgr.error_exit = errorExit;
        err_.mgr.emit_message = emitMessage;
        jpeg_create_decompress(&cinfo_);
        d_.created = true;
        cinfo_.mem->max_memory_to_use = kMaxJpegMemory;
        monitor_.mgr.progress_monitor = monitorStop;
        monitor_.stop = stop;
        cinfo_.progress = &monitor_.mgr;
        ok([&] {
            jpeg_stdio_src(&cinfo_, file_.f);
            jpeg_save_markers(&cinfo_, JPEG_APP0 + 1, 0xFFFF);
            jpeg_read_header(&cinfo_, TRUE);
        });
        if (uint64_t{cinfo_.image_width} * cinfo_.image_height > 2 * kMaxPagePixels)
            throw EFitError("The page is too large");
        header_.format = PageFormat::Jpeg;
        header_.width = static_cast<int>(cinfo_.image_width);
        header_.height = static_cast<int>(cinfo_.image_height);
        for (jpeg_saved_marker_ptr m = cinfo_.marker_list; m; m = m->next) {
            if (m->marker != JPEG_APP0 + 1)
                continue;
            const int o = exifOrientation(m->data, m->data_length);
            if (m->data_length >= 6 && std::memcmp(m->data, "Exif\0\0", 6) == 0) {
                header_.orientation = o;
                break;
            }
        }
    }

    RowSource& start(int minWidth, int minHeight, bool grey) override {
        const J_COLOR_SPACE stored = cinfo_.jpeg_color_space;
        cmyk_ = stored == JCS_CMYK || stored == JCS_YCCK;
        grey_ = grey;
        cinfo_.scale_num = 1;
        cinfo_.scale_denom = static_cast<unsigned>(
            jpegReduction(header_.width, header_.height, minWidth, minHeight));
        cinfo_.out_color_space = cmyk_ ? JCS_CMYK : grey ? JCS_GRAYSCALE : JCS_RGB;
        ok([&] { jpeg_start_decompress(&cinfo_); });
        raw_.resize(static_cast<size_t>(cinfo_.output_width) * cinfo_.output_components);
        return *this;
    }

    int width() const override { return static_cast<int>(cinfo_.output_width); }
    int height() const override { return static_cast<int>(cinfo_.output_height); }
    int channels() const override { return grey_ ? 1 : 3; }

    void readRow(uint8_t* out) override {
        checkStop(stop_);
        if (cinfo_.output_scanline >= cinfo_.output_height)
            throw EFitError("Read past the last row of a page");
        JSAMPROW rows[1] = {cmyk_ ? raw_.data() : out};
        ok([&] { jpeg_read_scanlines(&cinfo_, rows, 1); });
        if (err_.truncated)
            throw EFitError("Cannot decode JPEG picture: the file ends too early");
        if (cmyk_)
            fromCmyk(out);
    }

private:
    template <class F>
    void ok(F&& calls) {
        if (!guarded(err_, calls)) {
            checkStop(stop_);
            throw EFitError(std::string("Cannot decode JPEG picture: ") + err_.message);
        }
    }

    // Adobe's files store the inks inverted; others store them as they are.
    void fromCmyk(uint8_t* out) const {
        const bool inverted = cinfo_.saw_Adobe_marker;
        const size_t n = cinfo_.output_width;
        for (size_t i = 0; i < n; ++i) {
            unsigned c = raw_[i * 4], m = raw_[i * 4 + 1], y = raw_[i * 4 + 2], k = raw_[i * 4 + 3];
            if (!inverted) {
                c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
            }
            const unsigned r = (c * k + 127) / 255, g = (m * k + 127) / 255,
                           b = (y * k + 127) / 255;
            if (grey_) {
                out[i] = greyOf(r, g, b);
            } else {
                out[i * 3] = static_cast<uint8_t>(r);
                out[i * 3 + 1] = static_cast<uint8_t>(g);
                out[i * 3 + 2] = static_cast<uint8_t>(b);
            }
        }
    }

    // Closed by members, so that a constructor that throws leaves nothing open.
    struct File {
        std::FILE* f = nullptr;
        ~File() {
            if (f)
                std::fclose(f);
        }
    };
    struct Decompress {
        jpeg_decompress_struct cinfo{};
        bool created = false;
        ~Decompress() {
            if (created)
                jpeg_destroy_decompress(&cinfo);
        }
    };

    StopFlag stop_;
    File file_;
    Decompress d_;
    jpeg_decompress_struct& cinfo_ = d_.cinfo;
    ErrorManager err_{};
    StopMonitor monitor_{};
    bool cmyk_ = false;
    bool grey_ = false;
    std::vector<uint8_t> raw_;
};

}  // namespace

std::unique_ptr<PageReader> openJpeg(const std::string& path, StopFlag stop) {
    return std::make_unique<JpegReader>(path, stop);
}

}  // namespace pagelume::fit::detail
