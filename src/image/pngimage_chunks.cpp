// The chunk classes other than the header and the image data, the table that
// maps chunk types to them, and the chunk base class.
#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "image/pngimage_internal.h"

namespace pagelume::image {

using detail::ChunkReader;
using detail::isName;
using detail::makeName;

namespace {

template <class T>
std::unique_ptr<TChunk> make(TPNGObject& owner) {
    return std::make_unique<T>(owner);
}

struct ChunkClass {
    const char* name;
    std::unique_ptr<TChunk> (*create)(TPNGObject&);
};

// The table of chunk classes, in lookup order.
const ChunkClass kChunkClasses[] = {
    {"IEND", make<TChunkIEND>}, {"IHDR", make<TChunkIHDR>}, {"IDAT", make<TChunkIDAT>},
    {"PLTE", make<TChunkPLTE>}, {"gAMA", make<TChunkgAMA>}, {"tRNS", make<TChunktRNS>},
    {"pHYs", make<TChunkpHYs>}, {"tIME", make<TChunktIME>}, {"tEXt", make<TChunktEXt>},
    {"zTXt", make<TChunkzTXt>},
};

const ChunkClass* findClass(const ChunkName& name) {
    for (const ChunkClass& c : kChunkClasses)
        if (isName(name, c.name))
            return &c;
    return nullptr;
}

}  // namespace

std::unique_ptr<TChunk> CreateChunk(TPNGObject& owner, const ChunkName& name) {
    if (const ChunkClass* c = findClass(name))
        return c->create(owner);
    return std::make_unique<TChunk>(owner, name);
}

bool IsRegisteredChunkClass(const ChunkName& name) {
    return findClass(name) != nullptr;
}

TChunk::TChunk(TPNGObject& owner, const ChunkName& name) : owner_(&owner), name_(name) {}

void TChunk::Assign(const TChunk& source) {
    if (source.name_ != name_ || typeid(source) != typeid(*this))
        throw EPngError(pnglang::EPngErrorAssignText);
    data_ = source.data_;
}

void TChunk::LoadFromStream(ChunkReader& reader, uint32_t length) {
    // Grow with the data actually read, so a huge length in a short file
    // costs no more memory than the file has bytes.
    constexpr size_t kBlock = 65536;
    data_.clear();
    while (data_.size() < length) {
        size_t old = data_.size();
        size_t want = std::min<size_t>(kBlock, length - old);
        data_.resize(old + want);
        size_t got = reader.readData(data_.data() + old, want);
        if (got < want) {
            data_.resize(old + got);
            throw EPngInvalidCRC(pnglang::EPngInvalidCRCText);
        }
    }
    reader.checkCrc();
    Parse();
}

TChunkIEND::TChunkIEND(TPNGObject& owner) : TChunk(owner, makeName("IEND")) {}

// ---------------------------------------------------------------- PLTE

TChunkPLTE::TChunkPLTE(TPNGObject& owner) : TChunk(owner, makeName("PLTE")) {}

void TChunkPLTE::Parse() {
    if (data_.size() % 3 != 0 || data_.size() / 3 > 256)
        throw EPNGInvalidPalette(pnglang::EPNGInvalidPaletteText);
    const auto& gamma = Owner().GammaTable;
    count_ = static_cast<unsigned>(data_.size() / 3);
    for (unsigned i = 0; i < count_; ++i) {
        const uint8_t* e = data_.data() + 3 * i;
        entries_[i] = (uint32_t{gamma[e[0]]} << 16) | (uint32_t{gamma[e[1]]} << 8) | gamma[e[2]];
    }
    TPNGObject& owner = Owner();
    if (!owner.Empty()) {
        TChunkIHDR& header = owner.Header();
        if (header.ColorType == COLOR_PALETTE) {
            std::copy(entries_.begin(), entries_.begin() + count_, header.ColorTable.begin());
            header.colorCount_ = count_;
        }
    }
}

uint32_t TChunkPLTE::Item(unsigned index) const {
    if (index >= count_)
        throw EPngError(pnglang::EPngErrorPaletteIndexText);
    return entries_[index];
}

void TChunkPLTE::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunkPLTE&>(source);
    entries_ = s.entries_;
    count_ = s.count_;
}

// ---------------------------------------------------------------- gAMA

TChunkgAMA::TChunkgAMA(TPNGObject& owner) : TChunk(owner, makeName("gAMA")) {}

uint32_t TChunkgAMA::Gamma() const {
    return data_.size() >= 4 ? detail::bigEndian32(data_.data()) : 0;
}

void TChunkgAMA::Parse() {
    uint32_t g = Gamma();
    if (g == 0)
        return;  // also a chunk too short to hold a value: the tables stay
    TPNGObject& owner = Owner();
    double exponent = 1.0 / (g / 100000.0 * 2.2);
    for (int i = 0; i < 256; ++i) {
        // nearbyint rounds half to even in the default rounding mode.
        double v = std::nearbyint(255.0 * std::pow(i / 255.0, exponent));
        uint8_t value = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
        owner.GammaTable[i] = value;
        owner.InverseTable[value] = static_cast<uint8_t>(i);
    }
}

// ---------------------------------------------------------------- tRNS

TChunktRNS::TChunktRNS(TPNGObject& owner) : TChunk(owner, makeName("tRNS")) {
    PaletteValues.fill(255);
}

void TChunktRNS::Parse() {
    if (data_.size() > 256)
        throw EPNGInvalidPalette(pnglang::EPNGInvalidPaletteText);
    PaletteValues.fill(255);
    std::copy(data_.begin(), data_.end(), PaletteValues.begin());
    TPNGObject& owner = Owner();
    uint8_t colorType = owner.Empty() ? COLOR_PALETTE : owner.Header().ColorType;
    if (colorType == COLOR_PALETTE)
        BitTransparency =
            std::count_if(data_.begin(), data_.end(), [](uint8_t a) { return a != 255; }) == 1;
    else
        BitTransparency = true;
}

void TChunktRNS::SetData(const std::vector<uint8_t>& data) {
    data_ = data;
    Parse();
}

void TChunktRNS::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunktRNS&>(source);
    PaletteValues = s.PaletteValues;
    BitTransparency = s.BitTransparency;
}

// ---------------------------------------------------------------- others

TChunkpHYs::TChunkpHYs(TPNGObject& owner) : TChunk(owner, makeName("pHYs")) {}

void TChunkpHYs::Parse() {
    if (data_.size() < 9)
        return;
    PPUnitX = detail::bigEndian32(data_.data());
    PPUnitY = detail::bigEndian32(data_.data() + 4);
    UnitType = data_[8];
}

void TChunkpHYs::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunkpHYs&>(source);
    PPUnitX = s.PPUnitX;
    PPUnitY = s.PPUnitY;
    UnitType = s.UnitType;
}

TChunktIME::TChunktIME(TPNGObject& owner) : TChunk(owner, makeName("tIME")) {}

void TChunktIME::Parse() {
    if (data_.size() < 7)
        return;
    Year = static_cast<uint16_t>((data_[0] << 8) | data_[1]);
    Month = data_[2];
    Day = data_[3];
    Hour = data_[4];
    Minute = data_[5];
    Second = data_[6];
}

void TChunktIME::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunktIME&>(source);
    Year = s.Year;
    Month = s.Month;
    Day = s.Day;
    Hour = s.Hour;
    Minute = s.Minute;
    Second = s.Second;
}

TChunktEXt::TChunktEXt(TPNGObject& owner) : TChunk(owner, makeName("tEXt")) {}

void TChunktEXt::Parse() {
    auto zero = std::find(data_.begin(), data_.end(), uint8_t{0});
    Keyword.assign(data_.begin(), zero);
    Text.assign(zero == data_.end() ? zero : zero + 1, data_.end());
}

void TChunktEXt::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunktEXt&>(source);
    Keyword = s.Keyword;
    Text = s.Text;
}

TChunkzTXt::TChunkzTXt(TPNGObject& owner) : TChunk(owner, makeName("zTXt")) {}

void TChunkzTXt::Parse() {
    auto zero = std::find(data_.begin(), data_.end(), uint8_t{0});
    Keyword.assign(data_.begin(), zero);
    CompressedText.clear();
    CompressionMethod = 0;
    if (zero != data_.end() && zero + 1 != data_.end()) {
        CompressionMethod = *(zero + 1);
        CompressedText.assign(zero + 2, data_.end());
    }
}

void TChunkzTXt::Assign(const TChunk& source) {
    TChunk::Assign(source);
    const auto& s = static_cast<const TChunkzTXt&>(source);
    Keyword = s.Keyword;
    CompressionMethod = s.CompressionMethod;
    CompressedText = s.CompressedText;
}

}  // namespace pagelume::image
