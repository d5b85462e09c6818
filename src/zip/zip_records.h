#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "zip/zip_stream.h"

// The records of a ZIP archive as this program writes them: the entry record
// with its local and central headers, and the end record with its Zip64
// companions. All integers are little-endian.
namespace pagelume::zip {

inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr std::uint32_t kEndCentralSignature = 0x06054B50;
inline constexpr std::uint32_t kZip64EndCentralSignature = 0x06064B50;
inline constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr std::uint16_t kZip64ExtraId = 0x0001;

inline constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;  // "look in the Zip64 block"
inline constexpr std::uint16_t kMax16 = 0xFFFF;

inline constexpr std::uint16_t kVersion20 = 20;
inline constexpr std::uint16_t kVersion45 = 45;
inline constexpr std::uint16_t kFlagUtf8Name = 0x0800;
inline constexpr std::uint16_t kMethodStored = 0;
inline constexpr std::uint16_t kMethodDeflated = 8;

inline constexpr std::uint32_t kLocalHeaderSize = 30;
inline constexpr std::uint32_t kCentralHeaderSize = 46;
inline constexpr std::uint32_t kEndCentralSize = 22;
inline constexpr std::uint32_t kZip64EndCentralSize = 56;
inline constexpr std::uint32_t kZip64LocatorSize = 20;

// How entry names are encoded. Flexible keeps a name that survives the OEM
// code page as it is; here only 7-bit ASCII does, so every other name is
// written as UTF-8 with flag 0x0800.
enum TOEMConvert { oemNever, oemFlexible };

// A stored name as written: its bytes and whether they are flagged UTF-8.
// Backslashes become forward slashes.
struct EncodedName {
    std::string bytes;
    bool utf8 = false;
};
EncodedName encodeEntryName(const std::string& name, TOEMConvert mode);

struct TZip64Block {
    std::uint64_t uncompressedSize = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t relativeOffset = 0;
    std::uint32_t diskStart = 0;
};

// One archive entry. Sizes and the offset are 32-bit fields that hold
// 0xFFFFFFFF when the real value lives in the Zip64 block.
class TZipHeaderInfo {
public:
    TZipHeaderInfo() { clear(); }
    void clear();

    std::uint16_t versionMadeBy;
    std::uint16_t versionNeeded;
    std::uint16_t flags;
    std::uint32_t dateTime;  // MS-DOS time in the low, date in the high 16 bits
    std::uint32_t crc32;
    std::uint32_t compressedSize32;
    std::uint32_t uncompressedSize32;
    std::uint16_t fileNameLength;
    std::uint16_t centralExtraLength;
    std::uint16_t localExtraLength;
    std::uint16_t fileCommentLength;
    std::uint16_t diskNumberStart;
    std::uint16_t internalAttributes;
    std::uint32_t externalAttributes;
    std::uint32_t relativeOffset32;
    std::uint16_t compressionMethod;
    TOEMConvert oemConvert;
    // The first copy of a local header is written before the sizes are
    // known; when they might reach 4 GiB it carries the Zip64 sizes already
    // so that the final copy has the same length.
    bool reserveLocalZip64;

    std::uint64_t uncompressedSize() const;
    std::uint64_t compressedSize() const;
    std::uint64_t relativeOffset() const;
    void setUncompressedSize(std::uint64_t value);
    void setCompressedSize(std::uint64_t value);
    void setRelativeOffset(std::uint64_t value);

    const std::string& fileName() const { return fileName_; }
    const std::string& directory() const { return directory_; }
    void setFileName(const std::string& name);
    // Empty, or a path that gets a trailing '/' when it lacks one.
    void setDirectory(const std::string& dir);
    std::string storedName() const { return directory_ + fileName_; }

    // The headers' bytes. Building one encodes the name afresh and updates
    // the name length, flags, version fields and extra lengths to match.
    std::string localHeader();
    std::string centralHeader();
    // Records the output position as the entry's offset, then writes.
    void writeLocalHeader(ZipOutput& out);
    void writeCentralHeader(ZipOutput& out);

    std::uint32_t localHeaderLength() const {
        return kLocalHeaderSize + fileNameLength + localExtraLength;
    }
    std::uint32_t centralHeaderLength() const {
        return kCentralHeaderSize + fileNameLength + centralExtraLength + fileCommentLength;
    }

private:
    void applyName(const EncodedName& name);
    TZip64Block& zip64();

    std::string fileName_;
    std::string directory_;
    std::optional<TZip64Block> zip64_;
};

// The end of central directory record, with the Zip64 end record and its
// locator written before it when a count, size or offset overflows.
class TEndCentral {
public:
    TEndCentral() { clear(); }
    void clear();

    std::uint16_t thisDisk;
    std::uint16_t centralStartDisk;
    std::uint16_t entriesThisDisk16;
    std::uint16_t totalEntries16;
    std::uint32_t centralSize32;
    std::uint32_t centralOffset32;

    std::uint64_t entriesThisDisk() const;
    std::uint64_t totalEntries() const;
    std::uint64_t centralSize() const;
    std::uint64_t centralOffset() const;
    void setEntriesThisDisk(std::uint64_t value);
    void setTotalEntries(std::uint64_t value);
    void setCentralSize(std::uint64_t value);
    void setCentralOffset(std::uint64_t value);

    bool needsZip64() const;
    // The bytes written at position: the Zip64 records when needed, then
    // the end record.
    std::string bytes(std::uint64_t position) const;
    void write(ZipOutput& out) const;

private:
    struct Zip64Values {
        std::uint64_t entriesThisDisk = 0;
        std::uint64_t totalEntries = 0;
        std::uint64_t centralSize = 0;
        std::uint64_t centralOffset = 0;
    };
    Zip64Values& zip64();

    std::optional<Zip64Values> zip64_;
};

}  // namespace pagelume::zip
