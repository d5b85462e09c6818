#include "fit/encode.h"

#include <csetjmp>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "fit/pixels.h"

namespace pagelume::fit {

namespace {

struct ErrorManager {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

template <class F>
bool guarded(ErrorManager& err, F&& calls) {
    if (setjmp(err.jump))
        return false;
    calls();
    return true;
}

}  // namespace

// libjpeg writes into a vector that we own, so a page given up half way
// frees what was written like any other vector.
struct VectorDestination {
    jpeg_destination_mgr mgr;  // found again through client_data
    std::vector<uint8_t> bytes;

    static constexpr size_t kStep = 64 * 1024;

    static void init(j_compress_ptr cinfo) {
        auto* d = static_cast<VectorDestination*>(cinfo->client_data);
        d->bytes.resize(kStep);
        d->mgr.next_output_byte = d->bytes.data();
        d->mgr.free_in_buffer = d->bytes.size();
    }
    static boolean empty(j_compress_ptr cinfo) {
        auto* d = static_cast<VectorDestination*>(cinfo->client_data);
        const size_t used = d->bytes.size();  // libjpeg hands the whole buffer back
        d->bytes.resize(used * 2);
        d->mgr.next_output_byte = d->bytes.data() + used;
        d->mgr.free_in_buffer = d->bytes.size() - used;
        return TRUE;
    }
    static void term(j_compress_ptr cinfo) {
        auto* d = static_cast<VectorDestination*>(cinfo->client_data);
        d->bytes.resize(d->bytes.size() - d->mgr.free_in_buffer);
    }
};

struct JpegEncoder::State {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    VectorDestination dest{};
    bool created = false;
    int rows = 0;

    ~State() {
        if (created)
            jpeg_destroy_compress(&cinfo);
    }

    template <class F>
    void ok(F&& calls) {
        if (!guarded(err, calls))
            throw EFitError(std::string("Cannot write JPEG picture: ") + err.message);
    }
};

JpegEncoder::JpegEncoder(int width, int height, int channels, int quality)
    : s_(std::make_unique<State>()) {
    if (width < 1 || height < 1 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION ||
        (channels != 1 && channels != 3) || quality < 1 || quality > 100)
        throw EFitError("Cannot write JPEG picture: unsupported size or quality");
    jpeg_compress_struct& c = s_->cinfo;
    c.err = jpeg_std_error(&s_->err.mgr);
    s_->err.mgr.error_exit = errorExit;
    jpeg_create_compress(&c);
    s_->created = true;
    s_->ok([&] {
        s_->dest.mgr.init_destination = VectorDestination::init;
        s_->dest.mgr.empty_output_buffer = VectorDestination::empty;
        s_->dest.mgr.term_destination = VectorDestination::term;
        c.dest = &s_->dest.mgr;
        c.client_data = &s_->dest;
        c.image_width = static_cast<JDIMENSION>(width);
        c.image_height = static_cast<JDIMENSION>(height);
        c.input_components = channels;
        c.in_color_space = channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
        // The defaults are baseline, 2x2 chroma subsampling and the standard
        // Huffman tables, which every reader decodes.
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, quality, TRUE);
        c.dct_method = JDCT_ISLOW;
        jpeg_start_compress(&c, TRUE);
    });
}

JpegEncoder::~JpegEncoder() = default;

void JpegEncoder::writeRow(const uint8_t* row) {
    jpeg_compress_struct& c = s_->cinfo;
    if (s_->rows >= static_cast<int>(c.image_height))
        throw EFitError("Cannot write JPEG picture: too many rows");
    JSAMPROW rows[1] = {const_cast<JSAMPLE*>(row)};
    s_->ok([&] { jpeg_write_scanlines(&c, rows, 1); });
    ++s_->rows;
}

std::vector<uint8_t> JpegEncoder::finish() {
    jpeg_compress_struct& c = s_->cinfo;
    if (s_->rows != static_cast<int>(c.image_height))
        throw EFitError("Cannot write JPEG picture: rows missing");
    s_->ok([&] { jpeg_finish_compress(&c); });
    return std::move(s_->dest.bytes);
}

}  // namespace pagelume::fit
