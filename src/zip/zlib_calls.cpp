#include "zip/zlib_calls.h"

#include <zlib.h>

namespace pagelume::zip {

int ZlibCalls::init(z_stream_s& z, int level) {
    return ::deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
}

int ZlibCalls::deflate(z_stream_s& z, int flush) {
    return ::deflate(&z, flush);
}

int ZlibCalls::end(z_stream_s& z) {
    return ::deflateEnd(&z);
}

ZlibCalls& ZlibCalls::system() {
    static ZlibCalls calls;
    return calls;
}

}  // namespace pagelume::zip
