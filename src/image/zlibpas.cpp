#include "image/zlibpas.h"

#include <zlib.h>

#include "image/pnglang.h"

namespace pagelume::image::zlibpas {

struct Inflater::State {
    z_stream stream{};
};

std::string describeResult(int result) {
    switch (result) {
        case Z_VERSION_ERROR:
            return pnglang::ZLibIncompatibleVersionText;
        case Z_BUF_ERROR:
            return pnglang::ZLibBufferErrorText;
        case Z_MEM_ERROR:
            return pnglang::ZLibInsufficientMemoryText;
        case Z_DATA_ERROR:
            return pnglang::ZLibDataErrorText;
        case Z_STREAM_ERROR:
            return pnglang::ZLibStreamErrorText;
        case Z_ERRNO:
            return pnglang::ZLibFileErrorText;
        default: {
            std::string text = "(";
            text += std::to_string(result);
            text += ')';
            return text;
        }
    }
}

Inflater::Inflater() : state_(new State) {
    initResult_ = inflateInit_(&state_->stream, kRequestedVersion, sizeof(z_stream));
}

Inflater::~Inflater() {
    if (initResult_ == Z_OK)
        inflateEnd(&state_->stream);
    delete state_;
}

void Inflater::setInput(const uint8_t* data, size_t size) {
    state_->stream.next_in = const_cast<Bytef*>(data);
    state_->stream.avail_in = static_cast<uInt>(size);
}

size_t Inflater::availableInput() const {
    return state_->stream.avail_in;
}

int Inflater::inflate(uint8_t* out, size_t size, size_t* produced) {
    z_stream& s = state_->stream;
    s.next_out = out;
    s.avail_out = static_cast<uInt>(size);
    int result = ::inflate(&s, Z_NO_FLUSH);
    *produced = size - s.avail_out;
    // A preset dictionary can never be supplied for image data: without this
    // the stream would stall and the caller spin.
    if (result == Z_NEED_DICT)
        result = Z_DATA_ERROR;
    return result;
}

}  // namespace pagelume::image::zlibpas
