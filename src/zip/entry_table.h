#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zip/zip_records.h"

namespace pagelume::zip {

// The entries of an archive being written, as its central directory needs
// them: one fixed-size record each and every name in one arena, with an
// index of the names as written. A book of many pages keeps some hundred
// bytes per entry this way, not a header object and a string per name.
class EntryTable {
public:
    std::size_t size() const { return records_.size(); }
    bool empty() const { return records_.empty(); }
    void reserve(std::size_t entries);
    void clear();

    // Adds an entry at the end, unless one with the same stored name as
    // written (ASCII case ignored) is there already: then nothing changes
    // and the result is false, so the first of two such files wins.
    bool add(const TZipHeaderInfo& entry);
    // The entry as added or last stored, equal field for field.
    TZipHeaderInfo at(std::size_t index) const;
    // Keeps what writing the entry found out (sizes, CRC, offset, flags);
    // the name stays as added.
    void store(std::size_t index, const TZipHeaderInfo& entry);

private:
    struct Record {
        std::uint64_t uncompressedSize = 0;
        std::uint64_t compressedSize = 0;
        std::uint64_t relativeOffset = 0;
        std::uint32_t dateTime = 0;
        std::uint32_t crc32 = 0;
        std::uint32_t externalAttributes = 0;
        std::uint32_t nameAt = 0;  // the directory, then the file name, in names_
        std::uint16_t directoryLength = 0;
        std::uint16_t nameLength = 0;
        std::uint16_t versionMadeBy = 0;
        std::uint16_t versionNeeded = 0;
        std::uint16_t flags = 0;
        std::uint16_t compressionMethod = 0;
        std::uint16_t fileNameLength = 0;
        std::uint16_t centralExtraLength = 0;
        std::uint16_t localExtraLength = 0;
        std::uint16_t fileCommentLength = 0;
        std::uint16_t diskNumberStart = 0;
        std::uint16_t internalAttributes = 0;
        std::uint8_t oemConvert = 0;
        bool reserveLocalZip64 = false;
    };
    static void copyFields(Record& record, const TZipHeaderInfo& entry);
    std::string key(const Record& record) const;
    // Open addressing: each slot holds a name's hash (high half) and its
    // entry's index + 1 (low half); 0 is free.
    bool insertKey(std::uint32_t hash, std::uint32_t index, const std::string& key);
    void growSlots(std::size_t entries);

    std::vector<Record> records_;
    std::string names_;
    std::vector<std::uint64_t> slots_;
};

// The files a run packs, in order, without a string per file: each folder
// once for each run of files in it, and the names in one arena.
class PathList {
public:
    std::size_t size() const { return items_.size(); }
    void reserve(std::size_t paths) { items_.reserve(paths); }
    void add(const std::string& path);
    std::string path(std::size_t index) const;

private:
    struct Item {
        std::uint32_t folder;
        std::uint32_t nameAt;
        std::uint32_t nameLength;
    };
    std::vector<std::string> folders_;
    std::vector<Item> items_;
    std::string names_;
};

}  // namespace pagelume::zip
