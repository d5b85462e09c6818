// The PNG image object: its chunk list, loading and copying.
#include "image/pngimage.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <istream>

#include "image/pngimage_internal.h"

namespace pagelume::image {

using detail::ChunkReader;
using detail::isName;
using detail::makeName;

namespace detail {
namespace {

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t read(uint8_t* dst, size_t n) override {
        size_t count = std::min(n, size_ - pos_);
        if (count)
            std::memcpy(dst, data_ + pos_, count);
        pos_ += count;
        return count;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

class StreamSource : public ByteSource {
public:
    explicit StreamSource(std::istream& stream) : stream_(stream) {}
    size_t read(uint8_t* dst, size_t n) override {
        if (!stream_.good())
            return 0;
        try {
            stream_.read(reinterpret_cast<char*>(dst), static_cast<std::streamsize>(n));
        } catch (const std::ios_base::failure&) {
            // A stream set to throw at its end: the end is reported like any other.
        }
        return static_cast<size_t>(stream_.gcount());
    }

private:
    std::istream& stream_;
};

}  // namespace
}  // namespace detail

namespace {

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

}  // namespace

// ---------------------------------------------------------------- object

TPNGObject::TPNGObject() {
    InitializeGamma();
}
TPNGObject::~TPNGObject() = default;

TPNGObject::TPNGObject(TPNGObject&& other) noexcept {
    *this = std::move(other);
}

TPNGObject& TPNGObject::operator=(TPNGObject&& other) noexcept {
    if (this != &other) {
        chunks_ = std::move(other.chunks_);
        GammaTable = other.GammaTable;
        InverseTable = other.InverseTable;
        for (auto& c : chunks_)
            c->owner_ = this;
        other.Clear();
    }
    return *this;
}

void TPNGObject::InitializeGamma() {
    for (int i = 0; i < 256; ++i)
        GammaTable[i] = InverseTable[i] = static_cast<uint8_t>(i);
}

void TPNGObject::Clear() {
    chunks_.clear();
    InitializeGamma();
}

int TPNGObject::Width() const {
    return Empty() ? 0 : static_cast<int>(Header().Width);
}
int TPNGObject::Height() const {
    return Empty() ? 0 : static_cast<int>(Header().Height);
}

TChunkIHDR& TPNGObject::Header() const {
    auto* header = Empty() ? nullptr : dynamic_cast<TChunkIHDR*>(chunks_.front().get());
    if (!header)
        throw EPNGHeaderNotPresent(pnglang::EPNGHeaderNotPresentText);
    return *header;
}

TChunk* TPNGObject::FindChunk(const char* name) const {
    for (const auto& c : chunks_)
        if (isName(c->Name(), name))
            return c.get();
    return nullptr;
}

void TPNGObject::LoadFromFile(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    if (!file)
        throw pagelume::EInOutError("Cannot open file \"" + fileName + "\". " +
                                    std::strerror(errno));
    LoadFromStream(file);
}

void TPNGObject::LoadFromStream(std::istream& stream) {
    detail::StreamSource source(stream);
    ChunkReader reader(source);
    Load(reader);
}

void TPNGObject::LoadFromMemory(const void* data, size_t size) {
    detail::MemorySource source(static_cast<const uint8_t*>(data), data ? size : 0);
    ChunkReader reader(source);
    Load(reader);
}

void TPNGObject::Load(ChunkReader& reader) {
    Clear();
    uint8_t signature[8];
    if (reader.source.read(signature, 8) != 8 || std::memcmp(signature, kSignature, 8) != 0)
        throw EPNGInvalidFileHeader(pnglang::EPNGInvalidFileHeaderText);

    bool imageDataSeen = false;
    for (;;) {
        uint32_t length = 0;
        ChunkName name;
        if (!reader.readChunkHeader(length, name))
            throw EPngUnexpectedEnd(pnglang::EPngUnexpectedEndText);
        if (chunks_.empty() && !isName(name, "IHDR"))
            throw EPNGIHDRNotFirst(pnglang::EPNGIHDRNotFirstText);
        if (length > detail::kMaxChunkLength)
            throw EPngInvalidCRC(pnglang::EPngInvalidCRCText);

        bool isImageData = isName(name, "IDAT");
        if (isName(name, "cHRM") || (isImageData && imageDataSeen)) {
            reader.skipRaw(uint64_t{length} + 4);
            continue;
        }
        // A second header would replace the storage the image data is
        // decoded into; PNG allows only one.
        if (isName(name, "IHDR") && !chunks_.empty())
            throw EPngInvalidIHDR(pnglang::EPngInvalidIHDRText);

        std::unique_ptr<TChunk> chunk = CreateChunk(*this, name);
        if (!IsRegisteredChunkClass(name) && detail::isCritical(name))
            throw EPNGUnknownCriticalChunk(pnglang::EPNGUnknownCriticalChunkText);
        chunk->LoadFromStream(reader, length);
        chunks_.push_back(std::move(chunk));
        imageDataSeen = imageDataSeen || isImageData;
        if (isName(name, "IEND"))
            break;
    }
    if (!imageDataSeen)
        throw EPNGNoImageData(pnglang::EPNGNoImageDataText);
}

void TPNGObject::Assign(const TPNGObject* source) {
    if (source == this)
        return;
    Clear();
    if (!source)
        return;
    GammaTable = source->GammaTable;
    InverseTable = source->InverseTable;
    for (const auto& c : source->chunks_) {
        std::unique_ptr<TChunk> copy = CreateChunk(*this, c->Name());
        copy->Assign(*c);
        chunks_.push_back(std::move(copy));
    }
}

TChunk& TPNGObject::AddChunk(const char* name) {
    if (Empty())
        throw EPngError(pnglang::EPngErrorNoHeaderText);
    ChunkName n = makeName(name);
    if (detail::isCritical(n) && FindChunk(name))
        throw EPngError(pnglang::EPngErrorExistingCriticalText);
    auto at = std::find_if(chunks_.begin(), chunks_.end(),
                           [](const auto& c) { return isName(c->Name(), "IEND"); });
    return **chunks_.insert(at, CreateChunk(*this, n));
}

}  // namespace pagelume::image
