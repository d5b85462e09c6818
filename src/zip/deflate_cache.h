#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/files.h"
#include "zip/file_io.h"
#include "zip/zlib_calls.h"

// Entry data made ahead of the archive step: files deflated on worker
// threads as soon as they are in place (while the rest of the book is still
// being staged), into unnamed spool files, so that packing them later costs a
// copy instead of a deflate.
namespace pagelume::zip {

class DeflateCache {
public:
    // The entry data of one file, as makeEntryData makes it at the cache's
    // level: size bytes at offset in the spool fd.
    struct Made {
        int fd = -1;
        off_t offset = 0;
        std::uint64_t size = 0;
        std::uint64_t bytesRead = 0;
        std::uint32_t crc = 0;
    };

    // Starts threads workers (none when the system refuses them: every
    // lookup then finds nothing). Spool files are made in spoolDir, unnamed,
    // so that nothing of them is ever left on disk.
    DeflateCache(const std::string& spoolDir, int packLevel, int threads,
                 FileIo& io = FileIo::system(), ZlibCalls& zlib = ZlibCalls::system());
    // Stops the workers at their next read and waits for them.
    ~DeflateCache();
    DeflateCache(const DeflateCache&) = delete;
    DeflateCache& operator=(const DeflateCache&) = delete;

    int packLevel() const { return packLevel_; }

    // Queues a file that will not change any more (a finished copy); small
    // files are left to packing, which deflates them as fast as it copies. A file
    // is only spooled while the spool's disk keeps room for a book as large
    // as every file queued, beside the spools: on a disk near full, packing
    // deflates the rest itself rather than fail for want of room. Queued
    // files are taken in the order an archive walks them (by name, letter
    // case aside), so that what packing needs first is made first.
    void add(const std::string& path);

    // The entry data of path, waiting for it while it is being made; nothing
    // when path was not added, could not be deflated, or is no longer the
    // file that was deflated (st: the file as opened now, compared by device,
    // inode, size and change times). Also nothing once *stop is set and
    // interrupt() called. Valid until the cache is destroyed.
    std::optional<Made> find(const std::string& path, const struct stat& st,
                             const std::atomic<bool>* stop = nullptr);
    // Wakes every find() so that it looks at its stop flag again.
    void interrupt();

private:
    // What tells one file from another, or from itself once changed.
    struct Identity {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        struct timespec mtime {};
        struct timespec ctime {};
    };
    struct Record {
        bool done = false;
        bool usable = false;
        Identity id;
        Made made;
    };

    void work(int worker);
    void deflateOne(int spool, off_t& spoolEnd, const std::string& path, Record& record,
                    std::vector<unsigned char>& in, std::vector<unsigned char>& out);
    int openSpool(const std::string& dir);

    FileIo& io_;
    ZlibCalls& zlib_;
    const int packLevel_;
    std::mutex mutex_;
    std::condition_variable work_;  // a path queued, or stopping
    std::condition_variable done_;  // a record finished, or interrupt()
    struct WalkOrder {
        bool operator()(const std::string& a, const std::string& b) const {
            return platform::nameLessNoCase(a, b);
        }
    };
    std::set<std::string, WalkOrder> queue_;
    std::unordered_map<std::string, Record> records_;
    std::vector<int> spools_;  // one per worker
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> queuedBytes_{0};  // the sizes of the files added
    std::vector<std::thread> threads_;  // last: started once the rest exists
};

}  // namespace pagelume::zip
