#include "zip/zip_records.h"

#include "platform/exception.h"

namespace pagelume::zip {

namespace {

void put16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void put32(std::string& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

void put64(std::string& out, std::uint64_t v) {
    put32(out, static_cast<std::uint32_t>(v & 0xFFFFFFFFu));
    put32(out, static_cast<std::uint32_t>(v >> 32));
}

// A value that does not fit its narrow field goes to the Zip64 record (made
// on demand by wide()), and the narrow field holds the all-ones sentinel.
template <typename Narrow, typename Wide>
void setWide(std::uint64_t value, Narrow& narrow, Wide wide) {
    constexpr Narrow sentinel = static_cast<Narrow>(~Narrow{0});
    if (value >= sentinel) {
        wide() = value;
        narrow = sentinel;
    } else {
        narrow = static_cast<Narrow>(value);
    }
}

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are
// not one (overlong forms, surrogates and values past U+10FFFF included).
std::size_t utf8SequenceLength(const std::string& s, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    std::size_t len;
    std::uint32_t cp;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

}  // namespace

EncodedName encodeEntryName(const std::string& rawName, TOEMConvert mode) {
    // The format's only separator is '/'; readers take a backslash for one
    // too, or warn about it.
    std::string name = rawName;
    bool ascii = true;
    for (char& c : name) {
        if (c == '\\')
            c = '/';
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii && mode == oemFlexible)
        return {std::move(name), false};
    // Names on disk are bytes: a byte that is not part of valid UTF-8 is read
    // as Latin-1, so that the flagged name is always valid UTF-8.
    EncodedName out{std::string(), true};
    out.bytes.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        std::size_t len = utf8SequenceLength(name, i);
        if (len > 0) {
            out.bytes.append(name, i, len);
            i += len;
        } else {
            unsigned char c = static_cast<unsigned char>(name[i++]);
            out.bytes.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.bytes.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

// ---------------------------------------------------------------- entry record

void TZipHeaderInfo::clear() {
    versionMadeBy = kVersion45;
    versionNeeded = kVersion20;
    flags = 0;
    dateTime = 0;
    crc32 = kMax32;
    compressedSize32 = 0;
    uncompressedSize32 = 0;
    fileNameLength = 0;
    centralExtraLength = 0;
    localExtraLength = 0;
    fileCommentLength = 0;
    diskNumberStart = 0;
    internalAttributes = 1;
    externalAttributes = 0x20;
    relativeOffset32 = 0;
    compressionMethod = kMethodDeflated;
    oemConvert = oemFlexible;
    reserveLocalZip64 = false;
    fileName_.clear();
    directory_.clear();
    zip64_.reset();
}

TZip64Block& TZipHeaderInfo::zip64() {
    if (!zip64_)
        zip64_.emplace();
    return *zip64_;
}

std::uint64_t TZipHeaderInfo::uncompressedSize() const {
    return uncompressedSize32 == kMax32 && zip64_ ? zip64_->uncompressedSize : uncompressedSize32;
}

std::uint64_t TZipHeaderInfo::compressedSize() const {
    return compressedSize32 == kMax32 && zip64_ ? zip64_->compressedSize : compressedSize32;
}

std::uint64_t TZipHeaderInfo::relativeOffset() const {
    return relativeOffset32 == kMax32 && zip64_ ? zip64_->relativeOffset : relativeOffset32;
}

void TZipHeaderInfo::setUncompressedSize(std::uint64_t value) {
    setWide(value, uncompressedSize32,
            [this]() -> std::uint64_t& { return zip64().uncompressedSize; });
}

void TZipHeaderInfo::setCompressedSize(std::uint64_t value) {
    setWide(value, compressedSize32, [this]() -> std::uint64_t& { return zip64().compressedSize; });
}

void TZipHeaderInfo::setRelativeOffset(std::uint64_t value) {
    setWide(value, relativeOffset32, [this]() -> std::uint64_t& { return zip64().relativeOffset; });
}

void TZipHeaderInfo::setFileName(const std::string& name) {
    fileName_ = name;
    fileNameLength = static_cast<std::uint16_t>(directory_.size() + fileName_.size());
}

void TZipHeaderInfo::setDirectory(const std::string& dir) {
    directory_ = dir;
    if (!directory_.empty() && directory_.back() != '/')
        directory_ += '/';
    fileNameLength = static_cast<std::uint16_t>(directory_.size() + fileName_.size());
}

void TZipHeaderInfo::applyName(const EncodedName& name) {
    if (name.bytes.size() > kMax16)
        throw Exception("Entry name too long: " + storedName());
    if (name.utf8) {
        flags |= kFlagUtf8Name;
        versionMadeBy = static_cast<std::uint16_t>(0x0B00 | (versionMadeBy & 0xFF));
    }
    fileNameLength = static_cast<std::uint16_t>(name.bytes.size());
}

std::string TZipHeaderInfo::localHeader() {
    EncodedName name = encodeEntryName(storedName(), oemConvert);
    applyName(name);

    const bool sizes64 = uncompressedSize32 == kMax32 || reserveLocalZip64;
    const bool compressed64 = sizes64 || compressedSize32 == kMax32;
    const bool offset64 = relativeOffset32 == kMax32;
    std::string extra;
    if (sizes64 || compressed64 || offset64) {
        std::uint16_t dataSize =
            static_cast<std::uint16_t>(8 * (sizes64 + compressed64 + offset64));
        put16(extra, kZip64ExtraId);
        put16(extra, dataSize);
        if (sizes64)
            put64(extra, uncompressedSize());
        if (compressed64)
            put64(extra, compressedSize());
        if (offset64)
            put64(extra, relativeOffset());
    }
    versionNeeded = extra.empty() ? kVersion20 : kVersion45;
    localExtraLength = static_cast<std::uint16_t>(extra.size());

    std::string out;
    out.reserve(kLocalHeaderSize + name.bytes.size() + extra.size());
    put32(out, kLocalHeaderSignature);
    put16(out, versionNeeded);
    put16(out, flags);
    put16(out, compressionMethod);
    put32(out, dateTime);
    put32(out, crc32);
    put32(out, compressed64 ? kMax32 : compressedSize32);
    put32(out, sizes64 ? kMax32 : uncompressedSize32);
    put16(out, fileNameLength);
    put16(out, localExtraLength);
    out += name.bytes;
    out += extra;
    return out;
}

std::string TZipHeaderInfo::centralHeader() {
    EncodedName name = encodeEntryName(storedName(), oemConvert);
    applyName(name);

    const bool uncompressed64 = uncompressedSize32 == kMax32;
    const bool compressed64 = compressedSize32 == kMax32;
    const bool offset64 = relativeOffset32 == kMax32;
    std::string extra;
    if (uncompressed64 || compressed64 || offset64) {
        std::uint16_t dataSize =
            static_cast<std::uint16_t>(8 * (uncompressed64 + compressed64 + offset64));
        put16(extra, kZip64ExtraId);
        put16(extra, dataSize);
        if (uncompressed64)
            put64(extra, uncompressedSize());
        if (compressed64)
            put64(extra, compressedSize());
        if (offset64)
            put64(extra, relativeOffset());
    }
    versionNeeded = extra.empty() ? kVersion20 : kVersion45;
    centralExtraLength = static_cast<std::uint16_t>(extra.size());

    std::string out;
    out.reserve(kCentralHeaderSize + name.bytes.size() + extra.size());
    put32(out, kCentralHeaderSignature);
    put16(out, versionMadeBy);
    put16(out, versionNeeded);
    put16(out, flags);
    put16(out, compressionMethod);
    put32(out, dateTime);
    put32(out, crc32);
    put32(out, compressedSize32);
    put32(out, uncompressedSize32);
    put16(out, fileNameLength);
    put16(out, centralExtraLength);
    put16(out, fileCommentLength);
    put16(out, diskNumberStart);
    put16(out, internalAttributes);
    put32(out, externalAttributes);
    put32(out, relativeOffset32);
    out += name.bytes;
    out += extra;
    return out;
}

void TZipHeaderInfo::writeLocalHeader(ZipOutput& out) {
    setRelativeOffset(out.position());
    std::string bytes = localHeader();
    out.write(bytes.data(), bytes.size());
}

void TZipHeaderInfo::writeCentralHeader(ZipOutput& out) {
    std::string bytes = centralHeader();
    out.write(bytes.data(), bytes.size());
}

// ------------------------------------------------------------------ end record

void TEndCentral::clear() {
    thisDisk = 0;
    centralStartDisk = 0;
    entriesThisDisk16 = 0;
    totalEntries16 = 0;
    centralSize32 = 0;
    centralOffset32 = 0;
    zip64_.reset();
}

TEndCentral::Zip64Values& TEndCentral::zip64() {
    if (!zip64_)
        zip64_.emplace();
    return *zip64_;
}

std::uint64_t TEndCentral::entriesThisDisk() const {
    return entriesThisDisk16 == kMax16 && zip64_ ? zip64_->entriesThisDisk : entriesThisDisk16;
}

std::uint64_t TEndCentral::totalEntries() const {
    return totalEntries16 == kMax16 && zip64_ ? zip64_->totalEntries : totalEntries16;
}

std::uint64_t TEndCentral::centralSize() const {
    return centralSize32 == kMax32 && zip64_ ? zip64_->centralSize : centralSize32;
}

std::uint64_t TEndCentral::centralOffset() const {
    return centralOffset32 == kMax32 && zip64_ ? zip64_->centralOffset : centralOffset32;
}

void TEndCentral::setEntriesThisDisk(std::uint64_t value) {
    setWide(value, entriesThisDisk16,
            [this]() -> std::uint64_t& { return zip64().entriesThisDisk; });
}

void TEndCentral::setTotalEntries(std::uint64_t value) {
    setWide(value, totalEntries16, [this]() -> std::uint64_t& { return zip64().totalEntries; });
}

void TEndCentral::setCentralSize(std::uint64_t value) {
    setWide(value, centralSize32, [this]() -> std::uint64_t& { return zip64().centralSize; });
}

void TEndCentral::setCentralOffset(std::uint64_t value) {
    setWide(value, centralOffset32, [this]() -> std::uint64_t& { return zip64().centralOffset; });
}

bool TEndCentral::needsZip64() const {
    return entriesThisDisk16 == kMax16 || totalEntries16 == kMax16 || centralSize32 == kMax32 ||
           centralOffset32 == kMax32;
}

std::string TEndCentral::bytes(std::uint64_t position) const {
    std::string out;
    if (needsZip64()) {
        put32(out, kZip64EndCentralSignature);
        put64(out, kZip64EndCentralSize - 12);  // the rest of the record
        put16(out, kVersion45);                 // made by
        put16(out, kVersion45);                 // needed
        put32(out, thisDisk);
        put32(out, centralStartDisk);
        put64(out, entriesThisDisk());
        put64(out, totalEntries());
        put64(out, centralSize());
        put64(out, centralOffset());

        put32(out, kZip64LocatorSignature);
        put32(out, thisDisk);
        put64(out, position);
        put32(out, static_cast<std::uint32_t>(thisDisk) + 1);
    }
    put32(out, kEndCentralSignature);
    put16(out, thisDisk);
    put16(out, centralStartDisk);
    put16(out, entriesThisDisk16);
    put16(out, totalEntries16);
    put32(out, centralSize32);
    put32(out, centralOffset32);
    put16(out, 0);  // no comment
    return out;
}

void TEndCentral::write(ZipOutput& out) const {
    std::string b = bytes(out.position());
    out.write(b.data(), b.size());
}

}  // namespace pagelume::zip
