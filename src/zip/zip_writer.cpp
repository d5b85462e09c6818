#include "zip/zip_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <memory>
#include <unordered_set>

#include "platform/files.h"
#include "zip/compression.h"
#include "zip/deflate_pool.h"
#include "zip/dir_search.h"
#include "zip/temp_archive.h"
#include "zip/wildcard.h"
#include "zip/zip_stream.h"

namespace pagelume::zip {

namespace {

// The permissions a newly created file gets, which mkstemp does not give.
mode_t newFileMode() {
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            mask = static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

// Everything one add run holds; released on every way out of Zip.
struct TZipWriter::Run {
    explicit Run(FileIo& io) : io(io) {}

    FileIo& io;
    std::unique_ptr<TempArchive> temp;  // declared first: removed after the file is closed
    std::unique_ptr<ArchiveFile> file;
    bool zipExists = false;
    dev_t zipDevice = 0;
    ino_t zipInode = 0;
    mode_t zipMode = 0;  // the permissions of the file it replaces
    PathList files;      // what FilesList stands for, in the order of writing
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::vector<unsigned char> inBuffer;
    std::vector<unsigned char> outBuffer;
};

TZipWriter::TZipWriter(FileIo& io, ZlibCalls& zlib)
    : io_(io), zlib_(zlib), threads_(defaultDeflateThreads()) {}

void TZipWriter::setThreads(int threads) {
    threads_ = std::clamp(threads, 1, kMaxDeflateThreads);
}

void TZipWriter::setPackLevel(int level) {
    packLevel_ = std::clamp(level, 0, 9);
}

void TZipWriter::setRootDir(const std::string& dir) {
    rootDir_ = dir;
    if (!rootDir_.empty() && rootDir_.back() != '/')
        rootDir_ += '/';
    relativePathList_.clear();
    relativePathList_.push_back(rootDir_);
}

void TZipWriter::setZipName(const std::string& name) {
    if (platform::equalsNoCase(name, zipName_))
        return;
    zipName_ = name;
    entries_.clear();
    endCentral_.clear();
}

void TZipWriter::setRelativePaths(bool on) {
    if (on == relativePaths_)
        return;
    relativePaths_ = on;
    if (on) {
        storePaths_ = true;
        recurse_ = true;
    }
}

void TZipWriter::setStorePaths(bool on) {
    if (on == storePaths_)
        return;
    storePaths_ = on;
    if (!on) {
        storeVolumes_ = false;
        relativePaths_ = false;
    }
}

void TZipWriter::setStoreVolumes(bool on) {
    if (on == storeVolumes_)
        return;
    storeVolumes_ = on;
    if (on)
        storePaths_ = true;
}

void TZipWriter::setSearchBit(std::uint32_t bit, bool on) {
    searchAttributes_ = on ? (searchAttributes_ | bit) : (searchAttributes_ & ~bit);
}

std::uint32_t TZipWriter::exclusionMask() const {
    return ~searchAttributes_ & 0x1E;
}

void TZipWriter::progress(std::uint64_t done, std::uint64_t total) {
    if (doProcessMessages_ && onProgress_)
        onProgress_(done, total);
}

int TZipWriter::Zip() {
    if (trimmed(zipName_).empty())
        return 0;
    entries_.clear();
    endCentral_.clear();
    Run run(io_);
    try {
        struct stat st {};
        if (::stat(zipName_.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode))
                throw EInOutError(errorText(EISDIR));
            run.zipExists = true;
            run.zipDevice = st.st_dev;
            run.zipInode = st.st_ino;
            run.zipMode = st.st_mode & 0777;
        }

        expandFilesList(run);

        const std::string folder = platform::directoryPart(zipName_);
        sweepStaleTempArchives(folder);
        run.temp = std::make_unique<TempArchive>(io_, folder);
        const int fd = run.temp->releaseFd();
        run.file = std::make_unique<ArchiveFile>(io_, fd);
        // A book that replaces another keeps its permissions (a read-only
        // book stays read-only).
        ::fchmod(fd, run.zipExists ? run.zipMode : newFileMode());

        entries_.reserve(run.files.size());
        if (threads_ > 1) {
            addEntriesInParallel(run);
        } else {
            for (std::size_t i = 0; i < run.files.size(); ++i) {
                const std::string path = run.files.path(i);
                if (nameEntry(path))
                    addEntry(run, path, entries_.size() - 1);
            }
        }

        ArchiveFile& out = *run.file;
        const std::uint64_t centralOffset = out.position();
        endCentral_.setCentralOffset(centralOffset);
        endCentral_.centralStartDisk = 0;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            TZipHeaderInfo entry = entries_.at(i);
            entry.writeCentralHeader(out);
            entries_.store(i, entry);
            endCentral_.setEntriesThisDisk(endCentral_.entriesThisDisk() + 1);
        }
        endCentral_.setCentralSize(out.position() - centralOffset);
        endCentral_.thisDisk = 0;
        endCentral_.write(out);
        out.finish();

        if (!run.temp->renameTo(zipName_))
            throw EInOutError(errorText(errno));
        run.temp.reset();
        // Make the rename itself durable; the archive is complete either way.
        const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
    } catch (...) {
        filesList_.clear();
        entries_.clear();
        endCentral_.clear();
        throw;
    }
    filesList_.clear();
    return static_cast<int>(entries_.size());
}

void TZipWriter::expandFilesList(Run& run) {
    const std::uint32_t exclusion = exclusionMask();
    // One item alone (the staging folder's pattern) never names a file twice.
    const bool oneItem = filesList_.size() == 1;
    PathList& files = run.files;
    std::vector<std::string> patterns;

    for (const auto& item : filesList_) {
        // A trailing '/' asks for a directory entry, which this writer
        // does not make.
        if (item.empty() || item.back() == '/')
            continue;
        if (isPattern(item)) {
            patterns.push_back(item);
            continue;
        }
        const std::string path = item.find('/') == std::string::npos ? rootDir_ + item : item;
        if (matchesAny(path, excludeList_))
            continue;
        const auto attributes = platform::fileAttributes(path);
        if (!attributes || (*attributes & (exclusion | platform::faDirectory)))
            continue;
        files.add(path);
    }

    for (std::string pattern : patterns) {
        bool recurse = recurse_;
        if (pattern[0] == '|' || pattern[0] == '>') {
            recurse = pattern[0] == '>';
            pattern.erase(0, 1);
        }
        std::string dir = platform::directoryPart(pattern);
        if (dir.empty())
            dir = rootDir_.empty() ? std::string("./") : rootDir_;
        const std::string filePart = platform::fileNamePart(pattern);
        std::string mask;  // "*.*" means every name, with or without a dot
        for (std::size_t i = 0; i < filePart.size();) {
            const bool all = filePart.compare(i, 3, "*.*") == 0;
            mask += all ? '*' : filePart[i];
            i += all ? 3 : 1;
        }
        if (!platform::directoryExists(dir))
            continue;

        TDirSearch walk(dir, mask, recurse, exclusion);
        for (std::string path = walk.next(); !path.empty(); path = walk.next()) {
            if (path.back() == '/' || matchesAny(path, excludeList_))
                continue;
            progress(0, 0);
            // The archive never contains itself.
            if (platform::equalsNoCase(path, zipName_))
                continue;
            struct stat st {};
            if (run.zipExists && ::stat(path.c_str(), &st) == 0 && st.st_dev == run.zipDevice &&
                st.st_ino == run.zipInode)
                continue;
            files.add(path);
        }
    }

    // The total for progress counts each file once: a file named twice is
    // packed once.
    std::unordered_set<std::string> seen;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string path = files.path(i);
        struct stat st {};
        if ((oneItem || seen.insert(path).second) && ::stat(path.c_str(), &st) == 0)
            run.total += static_cast<std::uint64_t>(st.st_size);
    }
}

std::string TZipWriter::storedDirectory(const std::string& path) const {
    if (!storePaths_)
        return std::string();
    std::string dir = platform::directoryPart(path);
    while (dir.size() > 1 && dir[dir.size() - 2] == '/')
        dir.pop_back();
    if (relativePaths_) {
        for (const auto& prefix : relativePathList_) {
            if (!prefix.empty() && prefix.size() <= dir.size() &&
                platform::equalsNoCase(dir.substr(0, prefix.size()), prefix)) {
                dir.erase(0, prefix.size());
                break;
            }
        }
    }
    if (!storeVolumes_ && !dir.empty() && dir[0] == '/')
        dir.erase(0, 1);
    return dir;
}

std::vector<TZipHeaderInfo> TZipWriter::entries() const {
    std::vector<TZipHeaderInfo> all;
    all.reserve(entries_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i)
        all.push_back(entries_.at(i));
    return all;
}

// The entry for a file, added to the table; nothing when its name is taken.
std::optional<TZipHeaderInfo> TZipWriter::nameEntry(const std::string& path) {
    TZipHeaderInfo record;
    record.oemConvert = oemConvert_;
    record.setFileName(platform::fileNamePart(path));
    record.setDirectory(storedDirectory(path));
    // The first of two files with the same stored name wins. Names are
    // compared as they are written, since different bytes on disk can
    // encode alike. A run that fails ends here, so the name is taken now.
    if (!entries_.add(record))
        return std::nullopt;
    return record;
}

void TZipWriter::describeSource(TZipHeaderInfo& record, const OpenedSource& source,
                                bool store) const {
    const auto size = static_cast<std::uint64_t>(source.st.st_size);
    record.externalAttributes = source.attributes;
    record.dateTime = platform::toDosDateTime(source.st.st_mtime);
    record.setUncompressedSize(size);
    record.internalAttributes = 0;
    record.diskNumberStart = 0;
    record.reserveLocalZip64 = worstCaseDataSize(size, store) >= kMax32;
}

void TZipWriter::addEntry(Run& run, const std::string& path, std::size_t index) {
    TZipHeaderInfo record = entries_.at(index);
    const OpenedSource opened = openSource(io_, path);
    EntrySource source(io_, opened.fd, path, static_cast<std::uint64_t>(opened.st.st_size));
    const bool store = storesEntry(packLevel_, noCompressList_, record.fileName());
    describeSource(record, opened, store);

    ArchiveFile& out = *run.file;
    record.writeLocalHeader(out);
    const std::uint32_t firstLength = record.localHeaderLength();
    writeEntryData(source, out, zlib_, packLevel_, store, record, run.inBuffer, run.outBuffer,
                   [&] { progress(run.done + source.bytesRead(), run.total); });
    endEntry(run, index, record, firstLength, path, source.bytesRead());
}

void TZipWriter::addEntriesInParallel(Run& run) {
    // Job i writes entry i: the file it is made of and whether it is stored.
    // Jobs are made only as workers take them, so that a long book holds no
    // list of paths.
    std::vector<std::uint32_t> fileOf;
    std::vector<bool> stored;
    fileOf.reserve(run.files.size());
    stored.reserve(run.files.size());
    for (std::size_t i = 0; i < run.files.size(); ++i) {
        if (auto record = nameEntry(run.files.path(i))) {
            fileOf.push_back(static_cast<std::uint32_t>(i));
            stored.push_back(storesEntry(packLevel_, noCompressList_, record->fileName()));
        }
    }
    const auto job = [&](std::size_t i) {
        return DeflateJob{run.files.path(fileOf[i]), stored[i]};
    };
    // Leaving this function by any way stops the workers and waits for them.
    DeflatePool pool(io_, zlib_, packLevel_, fileOf.size(), job, threads_, kWorkerBufferCap,
                     cache_);
    if (pool.started() == 0) {
        for (std::size_t i = 0; i < fileOf.size(); ++i)
            addEntry(run, run.files.path(fileOf[i]), i);
        return;
    }
    ArchiveFile& out = *run.file;
    for (std::size_t i = 0; i < fileOf.size(); ++i) {
        TZipHeaderInfo record = entries_.at(i);
        describeSource(record, pool.opened(), stored[i]);
        record.writeLocalHeader(out);
        const std::uint32_t firstLength = record.localHeaderLength();
        const std::uint64_t start = out.position();
        while (const DeflatePool::Block* block = pool.next()) {
            out.write(block->data.data(), block->data.size());
            progress(run.done + block->bytesRead, run.total);
        }
        const DeflatePool::Totals totals = pool.finish();
        setEntryResult(record, packLevel_, stored[i], totals.bytesRead, out.position() - start,
                       totals.crc);
        endEntry(run, i, record, firstLength, run.files.path(fileOf[i]), totals.bytesRead);
    }
}

void TZipWriter::endEntry(Run& run, std::size_t index, TZipHeaderInfo& record,
                          std::uint32_t firstLength, const std::string& path,
                          std::uint64_t bytesRead) {
    const std::string header = record.localHeader();
    if (header.size() != firstLength)
        throw Exception("Local header of " + path + " changed its length");
    run.file->rewrite(record.relativeOffset(), header.data(), header.size());

    run.done += bytesRead;
    entries_.store(index, record);
    endCentral_.setTotalEntries(endCentral_.totalEntries() + 1);
}

}  // namespace pagelume::zip
