// Decoding the image data: the IDAT run inflated, unfiltered pass by pass
// and stored into the header's storage.
#include <algorithm>
#include <cstring>
#include <vector>

#include "image/pngimage_internal.h"
#include "image/pngrows.h"
#include "image/zlibpas.h"

namespace pagelume::image {

using detail::ChunkReader;
using detail::getPacked;

namespace {

unsigned samplesPerPixel(uint8_t colorType) {
    switch (colorType) {
        case COLOR_RGB:
            return 3;
        case COLOR_GRAYSCALEALPHA:
            return 2;
        case COLOR_RGBALPHA:
            return 4;
        default:
            return 1;
    }
}

// How many bytes of filtered rows go to zlib in one call, at most: large
// enough that zlib copies little into its window and finds most matches in
// the output itself, small enough to stay in the cache for unfiltering.
constexpr size_t kStageBytes = size_t{256} << 10;

// Turns the inflated rows into the header's storage, pass by pass. The rows
// of a pass are inflated into the stage several at a time and unfiltered in
// place: each row right after the one before it, which is the prior row its
// filter refers to. The stage holds that prior row (all zeros at the start of
// a pass), then the incoming rows, each a filter type byte and the row.
class ImageDecoder {
public:
    ImageDecoder(TChunkIHDR& header, const std::array<uint8_t, 256>& gamma, unsigned paletteCount)
        : h_(header),
          gamma_(gamma),
          passes_(pngrows::passesFor(header.Width, header.Height, header.InterlaceMethod == 1)),
          bitsPerPixel_(samplesPerPixel(header.ColorType) * header.BitDepth),
          pixelBytes_(std::max(1u, bitsPerPixel_ / 8)),
          paletteCount_(paletteCount) {
        identityGamma_ = true;
        for (int i = 0; i < 256; ++i)
            identityGamma_ = identityGamma_ && gamma[i] == i;
        const size_t widest = pngrows::rowBytes(header.Width, bitsPerPixel_);
        uint64_t total = 0;  // the filtered bytes of all passes
        for (int p = 0; p < passes_.count; ++p) {
            const pngrows::Pass& pass = passes_.passes[p];
            if (pass.width && pass.height)
                total += uint64_t{pass.height} * (pngrows::rowBytes(pass.width, bitsPerPixel_) + 1);
        }
        // At least one whole row after the prior row, so there is always room.
        const size_t incoming = std::max<size_t>(
            widest + 1, static_cast<size_t>(std::min<uint64_t>(total, kStageBytes)));
        stage_.assign(widest + incoming, 0);
        passIndex_ = -1;
        nextPass();
    }

    bool done() const { return passIndex_ >= passes_.count; }

    // Room for inflated bytes: the rest of the stage, but nothing past the
    // end of the pass.
    uint8_t* space(size_t* room) {
        const size_t passLeft = size_t{pass_.height - row_} * (rowLength_ + 1) - filled_;
        *room = std::min(stage_.size() - rowLength_ - filled_, passLeft);
        return stage_.data() + rowLength_ + filled_;
    }

    // Takes n more inflated bytes: every row now complete is unfiltered and
    // stored.
    void advance(size_t n) {
        filled_ += n;
        const size_t stride = rowLength_ + 1;
        uint8_t* incoming = stage_.data() + rowLength_;
        size_t used = 0;
        while (filled_ - used >= stride) {
            uint8_t* row = incoming + used + 1;
            // An unknown filter type leaves the row as it came: the bytes are
            // still decoded, nothing is read out of place.
            pngrows::unfilterRow(row[-1], row, row - stride, rowLength_, pixelBytes_);
            storeRow(row, pass_.yStart + row_ * pass_.yStep);
            used += stride;
            if (++row_ == pass_.height) {
                nextPass();  // nothing of the next pass is in the stage yet
                return;
            }
        }
        if (used) {
            // The last complete row becomes the prior row, the start of the
            // next row follows it.
            std::memmove(stage_.data(), incoming + used - rowLength_, rowLength_ + filled_ - used);
            filled_ -= used;
        }
    }

private:
    void nextPass() {
        do {
            ++passIndex_;
        } while (passIndex_ < passes_.count &&
                 (passes_.passes[passIndex_].width == 0 || passes_.passes[passIndex_].height == 0));
        if (done())
            return;
        pass_ = passes_.passes[passIndex_];
        rowLength_ = pngrows::rowBytes(pass_.width, bitsPerPixel_);
        row_ = 0;
        filled_ = 0;
        std::fill(stage_.begin(), stage_.begin() + rowLength_, 0);
    }

    void storeRow(const uint8_t* src, uint32_t y);
    bool storeWithoutGamma(const uint8_t* src, uint32_t y);
    template <bool Unit>
    void storeRowStepped(const uint8_t* src, uint32_t y);
    void checkPaletteIndices(const uint8_t* src);

    TChunkIHDR& h_;
    const std::array<uint8_t, 256>& gamma_;
    pngrows::PassList passes_;
    unsigned bitsPerPixel_;
    unsigned pixelBytes_;
    unsigned paletteCount_;
    bool identityGamma_;  // no gAMA chunk, or one that changes nothing
    int passIndex_ = 0;
    pngrows::Pass pass_{};
    size_t rowLength_ = 0;
    uint32_t row_ = 0;
    size_t filled_ = 0;  // bytes in the stage after the prior row
    std::vector<uint8_t> stage_;
};

inline void setPacked(uint8_t* row, uint32_t x, unsigned bits, unsigned value) {
    if (bits == 1) {
        unsigned shift = 7 - (x & 7);
        row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~(1u << shift)) | (value << shift));
    } else {  // 4 bits
        unsigned shift = (x & 1) ? 0 : 4;
        row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & ~(0xFu << shift)) | (value << shift));
    }
}

void ImageDecoder::checkPaletteIndices(const uint8_t* src) {
    unsigned depth = h_.BitDepth;
    if (paletteCount_ >= (1u << depth))
        return;
    unsigned highest = 0;
    if (depth == 8) {
        for (uint32_t i = 0; i < pass_.width; ++i)
            highest = std::max<unsigned>(highest, src[i]);
    } else {
        for (uint32_t i = 0; i < pass_.width; ++i)
            highest = std::max(highest, getPacked(src, i, depth));
    }
    if (highest >= paletteCount_)
        throw EPngError(pnglang::EPngErrorPaletteIndexText);
}

void ImageDecoder::storeRow(const uint8_t* src, uint32_t y) {
    if (h_.ColorType == COLOR_PALETTE)
        checkPaletteIndices(src);
    if (pass_.xStep == 1 && identityGamma_ && storeWithoutGamma(src, y)) {
    } else if (pass_.xStep == 1) {
        storeRowStepped<true>(src, y);
    } else {
        storeRowStepped<false>(src, y);
    }
    if (h_.Streaming())
        h_.Owner().RowSink()(y);
}

// The 8-bit rows of whole-width passes when the gamma table changes nothing:
// the samples are only rearranged. False for the other rows.
bool ImageDecoder::storeWithoutGamma(const uint8_t* src, uint32_t y) {
    if (h_.BitDepth != 8)
        return false;
    const uint32_t n = pass_.width;
    uint8_t* dst = h_.ImageData() + h_.BitmapRowOffset(y);
    uint8_t* alpha = h_.ImageAlpha() ? h_.ImageAlpha() + h_.AlphaRowOffset(y) : nullptr;
    switch (h_.ColorType) {
        case COLOR_GRAYSCALE:
            std::memcpy(dst, src, n);
            return true;
        case COLOR_GRAYSCALEALPHA:
            for (uint32_t i = 0; i < n; ++i, src += 2) {
                dst[i] = src[0];
                alpha[i] = src[1];
            }
            return true;
        case COLOR_RGB:
            for (uint32_t i = 0; i < n; ++i, src += 3, dst += 3)
                dst[0] = src[2], dst[1] = src[1], dst[2] = src[0];
            return true;
        case COLOR_RGBALPHA:
            for (uint32_t i = 0; i < n; ++i, src += 4, dst += 3) {
                dst[0] = src[2], dst[1] = src[1], dst[2] = src[0];
                alpha[i] = src[3];
            }
            return true;
        default:
            return false;
    }
}

// Unit: the pass covers every column (x == i), which lets the plain-image
// loops run over contiguous bytes.
template <bool Unit>
void ImageDecoder::storeRowStepped(const uint8_t* src, uint32_t y) {
    const uint32_t n = pass_.width;
    const uint32_t x0 = pass_.xStart, dx = pass_.xStep;
    auto column = [&](uint32_t i) -> uint32_t { return Unit ? i : x0 + i * dx; };
    const size_t rowOffset = h_.BitmapRowOffset(y);
    uint8_t* dst = h_.ImageData() + rowOffset;
    uint8_t* extra = h_.ExtraImageData() ? h_.ExtraImageData() + rowOffset : nullptr;
    uint8_t* alpha = h_.ImageAlpha() ? h_.ImageAlpha() + h_.AlphaRowOffset(y) : nullptr;
    const uint8_t* g = gamma_.data();
    const unsigned depth = h_.BitDepth;

    switch (h_.ColorType) {
        case COLOR_GRAYSCALE:
        case COLOR_PALETTE:
            if (depth == 16) {  // grey only
                for (uint32_t i = 0; i < n; ++i, src += 2) {
                    uint32_t x = column(i);
                    dst[x] = g[src[0]];
                    extra[x] = src[1];
                }
            } else if (depth == 8) {
                if (h_.ColorType == COLOR_PALETTE) {
                    if (Unit) {
                        std::memcpy(dst, src, n);
                    } else {
                        for (uint32_t i = 0; i < n; ++i)
                            dst[column(i)] = src[i];
                    }
                } else {
                    for (uint32_t i = 0; i < n; ++i)
                        dst[column(i)] = g[src[i]];
                }
            } else if (depth == 2) {
                for (uint32_t i = 0; i < n; ++i)
                    setPacked(dst, column(i), 4, getPacked(src, i, 2));
            } else if (Unit) {  // 1 and 4 bits: the bitmap packs them the same way
                std::memcpy(dst, src, pngrows::rowBytes(n, depth));
            } else {
                for (uint32_t i = 0; i < n; ++i)
                    setPacked(dst, column(i), depth, getPacked(src, i, depth));
            }
            break;
        case COLOR_GRAYSCALEALPHA:
            if (depth == 16) {
                for (uint32_t i = 0; i < n; ++i, src += 4) {
                    uint32_t x = column(i);
                    dst[x] = g[src[0]];
                    extra[x] = src[1];
                    alpha[x] = src[2];
                }
            } else {
                for (uint32_t i = 0; i < n; ++i, src += 2) {
                    uint32_t x = column(i);
                    dst[x] = g[src[0]];
                    alpha[x] = src[1];
                }
            }
            break;
        case COLOR_RGB:
            if (depth == 16) {
                for (uint32_t i = 0; i < n; ++i, src += 6) {
                    uint8_t* d = dst + size_t{column(i)} * 3;
                    uint8_t* e = extra + size_t{column(i)} * 3;
                    d[0] = g[src[4]], d[1] = g[src[2]], d[2] = g[src[0]];
                    e[0] = src[5], e[1] = src[3], e[2] = src[1];
                }
            } else {
                for (uint32_t i = 0; i < n; ++i, src += 3) {
                    uint8_t* d = dst + size_t{column(i)} * 3;
                    d[0] = g[src[2]], d[1] = g[src[1]], d[2] = g[src[0]];
                }
            }
            break;
        case COLOR_RGBALPHA:
            if (depth == 16) {
                for (uint32_t i = 0; i < n; ++i, src += 8) {
                    uint32_t x = column(i);
                    uint8_t* d = dst + size_t{x} * 3;
                    uint8_t* e = extra + size_t{x} * 3;
                    d[0] = g[src[4]], d[1] = g[src[2]], d[2] = g[src[0]];
                    e[0] = src[5], e[1] = src[3], e[2] = src[1];
                    alpha[x] = src[6];
                }
            } else {
                for (uint32_t i = 0; i < n; ++i, src += 4) {
                    uint32_t x = column(i);
                    uint8_t* d = dst + size_t{x} * 3;
                    d[0] = g[src[2]], d[1] = g[src[1]], d[2] = g[src[0]];
                    alpha[x] = src[3];
                }
            }
            break;
    }
}

}  // namespace

// ---------------------------------------------------------------- IDAT

TChunkIDAT::TChunkIDAT(TPNGObject& owner) : TChunk(owner, detail::makeName("IDAT")) {}

void TChunkIDAT::LoadFromStream(ChunkReader& reader, uint32_t length) {
    TPNGObject& owner = Owner();
    TChunkIHDR& header = owner.Header();
    const TChunkPLTE* palette = owner.Find<TChunkPLTE>();
    ImageDecoder decoder(header, owner.GammaTable, palette ? palette->Count() : 0);

    zlibpas::Inflater inflater;
    if (inflater.initResult() != Z_OK)
        throw EPNGZLIBError(pnglang::EPNGZLIBErrorText +
                            zlibpas::describeResult(inflater.initResult()));

    // zlib takes the stream in blocks of at most 65535 bytes.
    std::vector<uint8_t> block(65535);
    uint32_t remaining = length;
    bool streamEnded = false;
    while (!decoder.done() && !streamEnded) {
        if (remaining == 0) {
            // This chunk is used up but the image is not: the data must go
            // on in the very next chunk.
            reader.checkCrc();
            ChunkName next;
            if (!reader.readChunkHeader(remaining, next) || !detail::isName(next, "IDAT"))
                throw EPNGMissingMultipleIDAT(pnglang::EPNGMissingMultipleIDATText);
            if (remaining > detail::kMaxChunkLength)
                throw EPngInvalidCRC(pnglang::EPngInvalidCRCText);
            continue;
        }
        size_t want = std::min<size_t>(remaining, block.size());
        if (reader.readData(block.data(), want) != want)
            throw EPngInvalidCRC(pnglang::EPngInvalidCRCText);
        remaining -= static_cast<uint32_t>(want);
        inflater.setInput(block.data(), want);
        while (inflater.availableInput() > 0 && !decoder.done()) {
            size_t room = 0;
            uint8_t* out = decoder.space(&room);
            size_t produced = 0;
            int result = inflater.inflate(out, room, &produced);
            if (result < 0) {
                // The rows that were complete before the damage are kept.
                decoder.advance(produced);
                throw EPNGZLIBError(pnglang::EPNGZLIBErrorText + zlibpas::describeResult(result));
            }
            decoder.advance(produced);
            if (result == Z_STREAM_END) {
                // Rows the stream did not reach stay zero.
                streamEnded = true;
                break;
            }
        }
    }
    // The image is complete: the rest of this chunk is not needed, but its
    // CRC is still checked. Further IDAT chunks are skipped by the caller.
    if (!reader.skipData(remaining))
        throw EPngInvalidCRC(pnglang::EPngInvalidCRCText);
    reader.checkCrc();
}

}  // namespace pagelume::image
