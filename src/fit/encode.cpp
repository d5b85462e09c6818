#include "fit/encode.h"

#include <csetjmp>
#include <cstdlib>
#include <string>

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

struct JpegEncoder::State {
    jpeg_compress_struct cinfo{};
    ErrorManager err{};
    bool created = false;
    unsigned char* buffer = nullptr;  // libjpeg's, grown as it writes
    unsigned long size = 0;
    int rows = 0;

    ~State() {
        if (created)
            jpeg_destroy_compress(&cinfo);
        std::free(buffer);
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
        jpeg_mem_dest(&c, &s_->buffer, &s_->size);
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
    return std::vector<uint8_t>(s_->buffer, s_->buffer + s_->size);
}

}  // namespace pagelume::fit
