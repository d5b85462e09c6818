#include "zip/entry_table.h"

#include <functional>
#include <limits>
#include <string_view>

#include "platform/exception.h"
#include "platform/files.h"

namespace pagelume::zip {

void EntryTable::reserve(std::size_t entries) {
    records_.reserve(entries);
    growSlots(entries);
}

void EntryTable::clear() {
    // Swapped out: assigning {} would keep the memory.
    std::vector<Record>().swap(records_);
    std::string().swap(names_);
    std::vector<std::uint64_t>().swap(slots_);
}

void EntryTable::copyFields(Record& r, const TZipHeaderInfo& e) {
    r.uncompressedSize = e.uncompressedSize();
    r.compressedSize = e.compressedSize();
    r.relativeOffset = e.relativeOffset();
    r.dateTime = e.dateTime;
    r.crc32 = e.crc32;
    r.externalAttributes = e.externalAttributes;
    r.versionMadeBy = e.versionMadeBy;
    r.versionNeeded = e.versionNeeded;
    r.flags = e.flags;
    r.compressionMethod = e.compressionMethod;
    r.fileNameLength = e.fileNameLength;
    r.centralExtraLength = e.centralExtraLength;
    r.localExtraLength = e.localExtraLength;
    r.fileCommentLength = e.fileCommentLength;
    r.diskNumberStart = e.diskNumberStart;
    r.internalAttributes = e.internalAttributes;
    r.oemConvert = static_cast<std::uint8_t>(e.oemConvert);
    r.reserveLocalZip64 = e.reserveLocalZip64;
}

std::string EntryTable::key(const Record& r) const {
    const std::string stored =
        names_.substr(r.nameAt, std::size_t{r.directoryLength} + r.nameLength);
    return platform::asciiUpper(
        encodeEntryName(stored, static_cast<TOEMConvert>(r.oemConvert)).bytes);
}

void EntryTable::growSlots(std::size_t entries) {
    std::size_t size = 64;
    while (size < 2 * entries)
        size *= 2;
    if (size <= slots_.size())
        return;
    std::vector<std::uint64_t> old = std::move(slots_);
    slots_.assign(size, 0);
    const std::size_t mask = size - 1;
    for (const std::uint64_t slot : old) {
        if (slot == 0)
            continue;
        std::size_t at = static_cast<std::uint32_t>(slot >> 32) & mask;
        while (slots_[at] != 0)
            at = (at + 1) & mask;
        slots_[at] = slot;
    }
}

bool EntryTable::insertKey(std::uint32_t hash, std::uint32_t index, const std::string& name) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = hash & mask;
    for (; slots_[at] != 0; at = (at + 1) & mask) {
        const std::uint64_t slot = slots_[at];
        if (static_cast<std::uint32_t>(slot >> 32) == hash &&
            key(records_[static_cast<std::uint32_t>(slot) - 1]) == name)
            return false;
    }
    slots_[at] = (std::uint64_t{hash} << 32) | (std::uint64_t{index} + 1);
    return true;
}

bool EntryTable::add(const TZipHeaderInfo& entry) {
    const std::string& dir = entry.directory();
    const std::string& file = entry.fileName();
    if (dir.size() > kMax16 || file.size() > kMax16)
        throw Exception("Entry name too long: " + entry.storedName());
    if (records_.size() >= std::numeric_limits<std::uint32_t>::max() - 1 ||
        names_.size() + dir.size() + file.size() > std::numeric_limits<std::uint32_t>::max())
        throw Exception("Too many entries for one archive");
    Record record;
    copyFields(record, entry);
    record.nameAt = static_cast<std::uint32_t>(names_.size());
    record.directoryLength = static_cast<std::uint16_t>(dir.size());
    record.nameLength = static_cast<std::uint16_t>(file.size());

    growSlots(records_.size() + 1);
    const std::string name =
        platform::asciiUpper(encodeEntryName(entry.storedName(), entry.oemConvert).bytes);
    const auto hash = static_cast<std::uint32_t>(std::hash<std::string>{}(name));
    if (!insertKey(hash, static_cast<std::uint32_t>(records_.size()), name))
        return false;
    names_ += dir;
    names_ += file;
    records_.push_back(record);
    return true;
}

TZipHeaderInfo EntryTable::at(std::size_t index) const {
    const Record& r = records_.at(index);
    TZipHeaderInfo e;
    e.setDirectory(names_.substr(r.nameAt, r.directoryLength));
    e.setFileName(names_.substr(r.nameAt + r.directoryLength, r.nameLength));
    e.setUncompressedSize(r.uncompressedSize);
    e.setCompressedSize(r.compressedSize);
    e.setRelativeOffset(r.relativeOffset);
    e.dateTime = r.dateTime;
    e.crc32 = r.crc32;
    e.externalAttributes = r.externalAttributes;
    e.versionMadeBy = r.versionMadeBy;
    e.versionNeeded = r.versionNeeded;
    e.flags = r.flags;
    e.compressionMethod = r.compressionMethod;
    e.fileNameLength = r.fileNameLength;
    e.centralExtraLength = r.centralExtraLength;
    e.localExtraLength = r.localExtraLength;
    e.fileCommentLength = r.fileCommentLength;
    e.diskNumberStart = r.diskNumberStart;
    e.internalAttributes = r.internalAttributes;
    e.oemConvert = static_cast<TOEMConvert>(r.oemConvert);
    e.reserveLocalZip64 = r.reserveLocalZip64;
    return e;
}

void EntryTable::store(std::size_t index, const TZipHeaderInfo& entry) {
    copyFields(records_.at(index), entry);
}

void PathList::add(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const std::string_view folder(path.data(), nameAt);
    if (folders_.empty() || folders_.back() != folder)
        folders_.emplace_back(folder);
    if (names_.size() + path.size() - nameAt > std::numeric_limits<std::uint32_t>::max() ||
        folders_.size() > std::numeric_limits<std::uint32_t>::max())
        throw Exception("Too many files for one archive");
    items_.push_back({static_cast<std::uint32_t>(folders_.size() - 1),
                      static_cast<std::uint32_t>(names_.size()),
                      static_cast<std::uint32_t>(path.size() - nameAt)});
    names_.append(path, nameAt);
}

std::string PathList::path(std::size_t index) const {
    const Item& item = items_.at(index);
    return folders_[item.folder] + names_.substr(item.nameAt, item.nameLength);
}

}  // namespace pagelume::zip
