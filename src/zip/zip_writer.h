#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "zip/entry_table.h"
#include "zip/file_io.h"
#include "zip/zip_errors.h"
#include "zip/zip_records.h"
#include "zip/zlib_calls.h"

namespace pagelume::zip {

struct OpenedSource;
class DeflateCache;

// The level every entry is deflated at unless PackLevel says otherwise.
inline constexpr int kDefaultPackLevel = 6;

// Packs a list of files, plain paths and wildcard patterns, into one ZIP
// archive. The archive is written to a hidden temporary file beside ZipName
// and renamed over it only once complete and on disk, so a failed run leaves
// neither a partial archive nor a damaged old one.
//
// Failures are exceptions: ENotEnoughRoom when the disk takes fewer bytes
// than given, EZCompressionError when zlib fails, EInOutError with the
// system's text when a file cannot be created, read, synced, closed or
// renamed. Anything the progress callback throws also ends the run cleanly.
//
// With more than one thread, workers read and deflate the next entries while
// this thread writes the current one; the archive comes out byte for byte as
// with one, and the progress callback is only ever called on this thread.
class TZipWriter {
public:
    // Bytes of source data packed so far, and the total to pack (0 while
    // the file list is still being expanded).
    using TProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

    explicit TZipWriter(FileIo& io = FileIo::system(), ZlibCalls& zlib = ZlibCalls::system());

    // Adds every file of FilesList to a new archive at ZipName, replacing
    // any file of that name. Returns the number of entries written.
    int Zip();

    int PackLevel() const { return packLevel_; }
    void setPackLevel(int level);  // 0 stores, 1 to 9 deflate

    const std::string& RootDir() const { return rootDir_; }
    void setRootDir(const std::string& dir);

    const std::string& ZipName() const { return zipName_; }
    void setZipName(const std::string& name);

    bool RelativePaths() const { return relativePaths_; }
    void setRelativePaths(bool on);  // on also switches StorePaths and Recurse on
    bool StorePaths() const { return storePaths_; }
    void setStorePaths(bool on);  // off also clears StoreVolumes and RelativePaths
    bool StoreVolumes() const { return storeVolumes_; }
    void setStoreVolumes(bool on);  // on also sets StorePaths
    bool Recurse() const { return recurse_; }
    void setRecurse(bool on) { recurse_ = on; }

    bool IncludeHiddenFiles() const { return searchAttributes_ & platform::faHidden; }
    void setIncludeHiddenFiles(bool on) { setSearchBit(platform::faHidden, on); }
    bool IncludeSysFiles() const { return searchAttributes_ & platform::faSysFile; }
    void setIncludeSysFiles(bool on) { setSearchBit(platform::faSysFile, on); }
    bool IncludeReadOnlyFiles() const { return searchAttributes_ & platform::faReadOnly; }
    void setIncludeReadOnlyFiles(bool on) { setSearchBit(platform::faReadOnly, on); }
    bool IncludeArchiveFiles() const { return searchAttributes_ & platform::faArchive; }
    void setIncludeArchiveFiles(bool on) { setSearchBit(platform::faArchive, on); }
    std::uint32_t searchAttributes() const { return searchAttributes_; }

    // Threads that deflate: one per core, or what PAGELUME_THREADS says, when
    // the writer is made. 1 packs everything on the calling thread.
    int Threads() const { return threads_; }
    void setThreads(int threads);

    // Entry data made ahead (when threads are more than one): a file that the
    // cache holds as it is now is copied from there, not deflated again.
    void setDeflateCache(DeflateCache* cache) { cache_ = cache; }

    bool DoProcessMessages() const { return doProcessMessages_; }
    void setDoProcessMessages(bool on) { doProcessMessages_ = on; }
    TOEMConvert OEMConvert() const { return oemConvert_; }
    void setOEMConvert(TOEMConvert mode) { oemConvert_ = mode; }

    // Called, when DoProcessMessages is set, for every file found and after
    // every block written: where the window lets its events through.
    void setOnProgress(TProgress progress) { onProgress_ = std::move(progress); }

    std::vector<std::string>& FilesList() { return filesList_; }
    std::vector<std::string>& ExcludeList() { return excludeList_; }
    std::vector<std::string>& NoCompressList() { return noCompressList_; }
    std::vector<std::string>& RelativePathList() { return relativePathList_; }

    // The archive written by the last successful run.
    std::vector<TZipHeaderInfo> entries() const;
    const TEndCentral& endCentral() const { return endCentral_; }

private:
    struct Run;

    void setSearchBit(std::uint32_t bit, bool on);
    std::uint32_t exclusionMask() const;
    void expandFilesList(Run& run);
    std::optional<TZipHeaderInfo> nameEntry(const std::string& path);
    void describeSource(TZipHeaderInfo& record, const OpenedSource& source, bool store) const;
    void addEntry(Run& run, const std::string& path, std::size_t index);
    void addEntriesInParallel(Run& run);
    void endEntry(Run& run, std::size_t index, TZipHeaderInfo& record, std::uint32_t firstLength,
                  const std::string& path, std::uint64_t bytesRead);
    std::string storedDirectory(const std::string& path) const;
    void progress(std::uint64_t done, std::uint64_t total);

    FileIo& io_;
    ZlibCalls& zlib_;
    int threads_;
    int packLevel_ = kDefaultPackLevel;
    std::string rootDir_;
    std::string zipName_;
    bool relativePaths_ = false;
    bool storePaths_ = false;
    bool storeVolumes_ = false;
    bool recurse_ = false;
    bool doProcessMessages_ = true;
    TOEMConvert oemConvert_ = oemFlexible;
    std::uint32_t searchAttributes_ = 0x3F & ~(platform::faHidden | platform::faSysFile);
    TProgress onProgress_;
    DeflateCache* cache_ = nullptr;
    std::vector<std::string> filesList_;
    std::vector<std::string> excludeList_;
    std::vector<std::string> noCompressList_;
    std::vector<std::string> relativePathList_;
    EntryTable entries_;  // named, then written, in the order of writing
    TEndCentral endCentral_;
};

}  // namespace pagelume::zip
