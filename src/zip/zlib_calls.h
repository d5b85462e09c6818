#pragma once

struct z_stream_s;

namespace pagelume::zip {

// The three zlib calls that deflate an entry, behind one small interface so
// that tests can make zlib fail where it never does on its own. Each returns
// what its zlib namesake returns.
class ZlibCalls {
public:
    virtual ~ZlibCalls() = default;

    // deflateInit2 with the archive's fixed parameters: method 8, a raw
    // stream with a 32 KiB window (window bits -15), memory level 8 and the
    // default strategy.
    virtual int init(z_stream_s& z, int level);
    virtual int deflate(z_stream_s& z, int flush);
    virtual int end(z_stream_s& z);

    // The shared instance that simply calls zlib; safe on any thread.
    static ZlibCalls& system();
};

}  // namespace pagelume::zip
