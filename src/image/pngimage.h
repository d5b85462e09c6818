#pragma once

#include <array>
#include <functional>
#include <cstdint>
#include <cstdlib>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "image/drawsurface.h"
#include "platform/exception.h"

// The PNG image object: decodes PNG files into a Windows-style device-
// independent bitmap and draws them with their transparency.
namespace pagelume::image {

// Every failure of the object derives from EPngError, so callers can catch
// them together; className() tells them apart.
PAGELUME_DEFINE_EXCEPTION(EPngError, Exception);
PAGELUME_DEFINE_EXCEPTION(EPNGInvalidFileHeader, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPngUnexpectedEnd, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGIHDRNotFirst, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGUnknownCriticalChunk, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGNoImageData, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPngInvalidCRC, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPngInvalidIHDR, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGSizeExceeds, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGUnknownCompression, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGUnknownInterlace, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGInvalidPalette, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGMissingMultipleIDAT, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGZLIBError, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGOutMemory, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGHeaderNotPresent, EPngError);
PAGELUME_DEFINE_EXCEPTION(EPNGInvalidNewSize, EPngError);

// Colour types of the image header.
inline constexpr uint8_t COLOR_GRAYSCALE = 0;
inline constexpr uint8_t COLOR_RGB = 2;
inline constexpr uint8_t COLOR_PALETTE = 3;
inline constexpr uint8_t COLOR_GRAYSCALEALPHA = 4;
inline constexpr uint8_t COLOR_RGBALPHA = 6;

// The pixel storage may need at most this much memory (bitmap, alpha plane
// and the plane of 16-bit low bytes together); larger headers are refused
// before anything is allocated.
inline constexpr uint64_t kMaxStorageBytes = uint64_t{1} << 30;

// How the object registers with the picture formats of the window.
inline constexpr const char* PNGFileExtension = "PNG";
inline constexpr const char* PNGFileDescription = "Portable Network Graphics";

enum class TPNGTransparencyMode { ptmNone, ptmSingleColor, ptmPartial };

class TPNGObject;
using ChunkName = std::array<char, 4>;

namespace detail {
struct ChunkReader;
struct FreeDeleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using Plane = std::unique_ptr<uint8_t[], FreeDeleter>;
}  // namespace detail

// A chunk of the file: its type, its raw data and its owner. Chunks of no
// known class keep their bytes as they came.
class TChunk {
public:
    TChunk(TPNGObject& owner, const ChunkName& name);
    virtual ~TChunk() = default;
    TChunk(const TChunk&) = delete;
    TChunk& operator=(const TChunk&) = delete;

    const ChunkName& Name() const { return name_; }
    std::string NameString() const { return std::string(name_.data(), 4); }
    const std::vector<uint8_t>& Data() const { return data_; }
    uint32_t DataSize() const { return static_cast<uint32_t>(data_.size()); }
    TPNGObject& Owner() const { return *owner_; }

    // Copies another chunk of the same type (EPngError otherwise).
    virtual void Assign(const TChunk& source);

    // Reads the chunk's data and CRC from the file and interprets them.
    virtual void LoadFromStream(detail::ChunkReader& reader, uint32_t length);

protected:
    // Interprets data_ once it has been read and its CRC checked.
    virtual void Parse() {}

    std::vector<uint8_t> data_;

private:
    friend class TPNGObject;
    TPNGObject* owner_;
    ChunkName name_;
};

class TChunkIEND : public TChunk {
public:
    explicit TChunkIEND(TPNGObject& owner);
};

// The image header and the decoded pixel storage.
class TChunkIHDR : public TChunk {
public:
    explicit TChunkIHDR(TPNGObject& owner);

    uint32_t Width = 0;
    uint32_t Height = 0;
    uint8_t BitDepth = 0;
    uint8_t ColorType = 0;
    uint8_t CompressionMethod = 0;
    uint8_t FilterMethod = 0;
    uint8_t InterlaceMethod = 0;

    // Bottom-up bitmap rows padded to 4 bytes: 24 bits per pixel in blue,
    // green, red order for colour types 2 and 6; indices into ColorTable for
    // 0, 3 and 4 (1, 4 or 8 bits per pixel).
    uint8_t* ImageData() const { return bitmap_.get(); }
    // Top-down alpha plane (width x height) for colour types 4 and 6.
    uint8_t* ImageAlpha() const { return alpha_.get(); }
    // The low bytes of 16-bit samples, laid out like the bitmap.
    uint8_t* ExtraImageData() const { return extra_.get(); }
    uint32_t BytesPerRow() const { return bytesPerRow_; }
    unsigned BitsPerPixel() const { return bitsPerPixel_; }

    // 0x00RRGGBB entries; ColorCount() is the number of valid ones.
    std::array<uint32_t, 256> ColorTable{};
    unsigned ColorCount() const { return colorCount_; }
    bool HasColorTable() const { return bitsPerPixel_ != 0 && bitsPerPixel_ <= 8; }

    // The colour of one pixel as it is drawn (0x00RRGGBB).
    uint32_t PixelColor(uint32_t x, uint32_t y) const;

    // Where row y starts in the bitmap (and the extra plane), and in the
    // alpha plane. While rows stream (DecodeRows) the storage holds one row.
    size_t BitmapRowOffset(uint32_t y) const {
        return size_t{streaming_ ? 0 : Height - 1 - y} * bytesPerRow_;
    }
    size_t AlphaRowOffset(uint32_t y) const { return size_t{streaming_ ? 0 : y} * Width; }
    bool Streaming() const { return streaming_; }

    void Assign(const TChunk& source) override;

    // Changes the colour type after loading (the faded copy gives images an
    // alpha channel); creates an opaque alpha plane when one is needed.
    void ChangeColorType(uint8_t colorType);

protected:
    void Parse() override;

private:
    friend class TPNGObject;
    friend class TChunkPLTE;
    void PrepareImageData();

    unsigned bitsPerPixel_ = 0;
    uint32_t bytesPerRow_ = 0;
    unsigned colorCount_ = 0;
    bool streaming_ = false;
    detail::Plane bitmap_, alpha_, extra_;
    size_t bitmapSize_ = 0;
};

// Decodes the run of consecutive IDAT chunks into the header's storage; keeps
// no data of its own.
class TChunkIDAT : public TChunk {
public:
    explicit TChunkIDAT(TPNGObject& owner);
    void LoadFromStream(detail::ChunkReader& reader, uint32_t length) override;
};

class TChunkPLTE : public TChunk {
public:
    explicit TChunkPLTE(TPNGObject& owner);
    unsigned Count() const { return count_; }
    // The entry's colour (0x00RRGGBB, through the gamma table); EPngError for
    // an index beyond the palette.
    uint32_t Item(unsigned index) const;
    void Assign(const TChunk& source) override;

protected:
    void Parse() override;

private:
    std::array<uint32_t, 256> entries_{};
    unsigned count_ = 0;
};

class TChunkgAMA : public TChunk {
public:
    explicit TChunkgAMA(TPNGObject& owner);
    uint32_t Gamma() const;  // in units of 1/100000; 0 when the chunk is short

protected:
    void Parse() override;
};

class TChunktRNS : public TChunk {
public:
    explicit TChunktRNS(TPNGObject& owner);
    std::array<uint8_t, 256> PaletteValues{};
    bool BitTransparency = false;  // single-colour transparency
    // Replaces the data (at most 256 bytes) and recomputes the entries.
    void SetData(const std::vector<uint8_t>& data);
    void Assign(const TChunk& source) override;

protected:
    void Parse() override;
};

class TChunkpHYs : public TChunk {
public:
    explicit TChunkpHYs(TPNGObject& owner);
    uint32_t PPUnitX = 0, PPUnitY = 0;
    uint8_t UnitType = 0;
    void Assign(const TChunk& source) override;

protected:
    void Parse() override;
};

class TChunktIME : public TChunk {
public:
    explicit TChunktIME(TPNGObject& owner);
    uint16_t Year = 0;
    uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
    void Assign(const TChunk& source) override;

protected:
    void Parse() override;
};

class TChunktEXt : public TChunk {
public:
    explicit TChunktEXt(TPNGObject& owner);
    std::string Keyword, Text;
    void Assign(const TChunk& source) override;

protected:
    void Parse() override;
};

class TChunkzTXt : public TChunk {
public:
    explicit TChunkzTXt(TPNGObject& owner);
    std::string Keyword;
    uint8_t CompressionMethod = 0;
    std::vector<uint8_t> CompressedText;
    void Assign(const TChunk& source) override;

protected:
    void Parse() override;
};

// The image's pixels at its own size, non-premultiplied 0xAARRGGBB, rows
// top-down.
struct ARGBImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

class TPNGObject {
public:
    TPNGObject();
    ~TPNGObject();
    TPNGObject(const TPNGObject&) = delete;
    TPNGObject& operator=(const TPNGObject&) = delete;
    // Moving hands the chunks over; they then belong to the new object.
    TPNGObject(TPNGObject&& other) noexcept;
    TPNGObject& operator=(TPNGObject&& other) noexcept;

    // Frees all chunks and resets the gamma tables.
    void Clear();

    // Loading clears first. A failure raises and leaves the chunks read so
    // far; callers discard the object then. A file that cannot be opened
    // raises pagelume::EInOutError.
    void LoadFromFile(const std::string& fileName);
    void LoadFromStream(std::istream& stream);
    void LoadFromMemory(const void* data, size_t size);

    int Width() const;
    int Height() const;
    bool Empty() const { return chunks_.empty(); }

    // Copies another image chunk by chunk, storage included; nullptr clears.
    void Assign(const TPNGObject* source);

    // Draws the image stretched into `rect` of the surface, clipped to it.
    void Draw(DrawSurface& surface, const Rect& rect) const;
    // The image's own pixels with their alpha (empty for an empty image).
    ARGBImage ToARGB() const;

    TPNGTransparencyMode TransparencyMode() const;
    // The colour that single-colour transparency leaves out (0x00RRGGBB), or
    // -1 when no pixel can have it.
    int64_t TransparentColor() const;

    const std::vector<std::unique_ptr<TChunk>>& Chunks() const { return chunks_; }
    // The first chunk of the type, or nullptr.
    TChunk* FindChunk(const char* name) const;
    template <class T>
    T* Find() const;
    // The header (EPNGHeaderNotPresent for an empty image).
    TChunkIHDR& Header() const;

    // Adds a new chunk of the type before IEND. EPngError for an image
    // without header or a critical chunk that exists already.
    TChunk& AddChunk(const char* name);

    // Resizes the storage; pixels in the overlap stay, the rest are zero.
    // EPNGInvalidNewSize for a size outside 1..65535 or past the memory limit.
    void Resize(int newWidth, int newHeight);

    std::array<uint8_t, 256> GammaTable{};
    std::array<uint8_t, 256> InverseTable{};
    void InitializeGamma();

    // Set while DecodeRows runs: called with each row as it is decoded.
    const std::function<void(uint32_t y)>& RowSink() const { return rowSink_; }

private:
    friend void DecodeRows(const void*, size_t, const std::function<void(int, int)>&,
                           const std::function<void(uint32_t, const uint32_t*)>&);
    void Load(detail::ChunkReader& reader);
    std::function<void(uint32_t y)> rowSink_;

    std::vector<std::unique_ptr<TChunk>> chunks_;
};

template <class T>
T* TPNGObject::Find() const {
    for (const auto& c : chunks_)
        if (auto* p = dynamic_cast<T*>(c.get()))
            return p;
    return nullptr;
}

// Decodes a PNG file's bytes row by row, top to bottom: begin(width, height)
// once the header is read, then row(y, pixels) with each row as 0xAARRGGBB
// pixels (transparency as alpha). A plain image is never held whole, only
// the row being decoded; an interlaced one is decoded whole first. Failures
// raise what LoadFromMemory raises.
void DecodeRows(const void* data, size_t size, const std::function<void(int, int)>& begin,
                const std::function<void(uint32_t, const uint32_t*)>& row);

// The faded copy used for disabled buttons: `destination` becomes a copy of
// `source` with an alpha channel divided by 3 (palette images stay opaque).
void MakeFadedCopy(const TPNGObject& source, TPNGObject& destination);

// Builds the chunk object the process-wide table of chunk classes gives for
// the type (a plain TChunk when it gives none).
std::unique_ptr<TChunk> CreateChunk(TPNGObject& owner, const ChunkName& name);
bool IsRegisteredChunkClass(const ChunkName& name);

}  // namespace pagelume::image
