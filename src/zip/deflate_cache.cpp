#include "zip/deflate_cache.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/exception.h"
#include "zip/compression.h"

namespace pagelume::zip {

namespace {

// Thrown inside a worker to leave a file when the cache stops.
struct Stopped {};

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Below this, a file costs packing little more to deflate than to copy from
// a spool, and its record would cost memory for every page of a long book.
constexpr off_t kSmallestSpooled = 16 << 10;

// The same file with the same contents: any write or change of its status
// moves its change time, which nobody can set back.
bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           sameTime(a.st_mtim, b.st_mtim) && sameTime(a.st_ctim, b.st_ctim);
}

}  // namespace

DeflateCache::DeflateCache(const std::string& spoolDir, int packLevel, int threads, FileIo& io,
                           ZlibCalls& zlib)
    : io_(io), zlib_(zlib), packLevel_(packLevel) {
    for (int w = 0; w < threads; ++w) {
        const int fd = openSpool(spoolDir);
        if (fd < 0)
            break;  // no room for spools: whatever is packed is deflated then
        spools_.push_back(fd);
    }
    threads_.reserve(spools_.size());
    for (std::size_t w = 0; w < spools_.size(); ++w) {
        try {
            threads_.emplace_back(&DeflateCache::work, this, static_cast<int>(w));
        } catch (...) {
            break;  // the system refuses more: the ones running do all the work
        }
    }
}

DeflateCache::~DeflateCache() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    done_.notify_all();
    for (auto& thread : threads_)
        thread.join();
    for (const int fd : spools_)
        ::close(fd);
}

int DeflateCache::openSpool(const std::string& dir) {
    const std::string folder = dir.empty() ? std::string(".") : dir;
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    // File systems without unnamed files: a named one, unlinked at once.
    std::string name = folder + "/.deflate-spool-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(name.c_str());
    return fd;
}

void DeflateCache::add(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || st.st_size < kSmallestSpooled)
        return;
    queuedBytes_ += static_cast<std::uint64_t>(st.st_size);
    {
        std::lock_guard lock(mutex_);
        if (threads_.empty() || !records_.try_emplace(path).second)
            return;
        queue_.insert(path);
    }
    work_.notify_one();
}

std::optional<DeflateCache::Made> DeflateCache::find(const std::string& path,
                                                     const struct stat& st,
                                                     const std::atomic<bool>* stop) {
    std::unique_lock lock(mutex_);
    const auto at = records_.find(path);
    if (at == records_.end())
        return std::nullopt;
    const Record& record = at->second;
    const auto stopped = [&] { return stopping_ || (stop && stop->load()); };
    done_.wait(lock, [&] { return record.done || stopped(); });
    const Identity& id = record.id;
    if (!record.done || !record.usable || id.dev != st.st_dev || id.ino != st.st_ino ||
        id.size != st.st_size || !sameTime(id.mtime, st.st_mtim) || !sameTime(id.ctime, st.st_ctim))
        return std::nullopt;
    return record.made;
}

void DeflateCache::interrupt() {
    { std::lock_guard lock(mutex_); }  // a find() between its check and its wait sees the flag
    done_.notify_all();
}

void DeflateCache::work(int worker) {
    const int spool = spools_[static_cast<std::size_t>(worker)];
    off_t spoolEnd = 0;
    std::vector<unsigned char> in, out;
    for (;;) {
        std::string path;
        Record* record;
        {
            std::unique_lock lock(mutex_);
            work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            path = std::move(queue_.extract(queue_.begin()).value());
            record = &records_[path];
        }
        try {
            deflateOne(spool, spoolEnd, path, *record, in, out);
        } catch (const Stopped&) {
            return;
        } catch (...) {
            // Unreadable, gone, no room in the spool: the archive step deflates
            // it itself and meets the same fault there, if it is one.
        }
        {
            std::lock_guard lock(mutex_);
            record->done = true;
        }
        done_.notify_all();
    }
}

void DeflateCache::deflateOne(int spool, off_t& spoolEnd, const std::string& path, Record& record,
                              std::vector<unsigned char>& in, std::vector<unsigned char>& out) {
    const int fd = io_.open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return;
    struct stat before {};
    if (io_.fstat(fd, &before) != 0 || !S_ISREG(before.st_mode)) {
        io_.close(fd);
        return;
    }
    EntrySource source(io_, fd, path, static_cast<std::uint64_t>(before.st_size));
    // Room for this file's data and, after it, for a book of every file
    // queued, with a margin for the pages and the documents.
    struct statvfs disk {};
    const std::uint64_t size = static_cast<std::uint64_t>(before.st_size);
    const std::uint64_t booked = queuedBytes_.load();
    if (::fstatvfs(spool, &disk) != 0 ||
        std::uint64_t{disk.f_bavail} * disk.f_frsize <
            worstCaseDataSize(size, false) + worstCaseDataSize(booked, false) + (64u << 20))
        return;
    const off_t start = spoolEnd;
    off_t end = start;
    makeEntryData(
        source, zlib_, packLevel_, false, in, out,
        [&](const unsigned char* data, std::size_t size) {
            while (size > 0) {
                const ssize_t n = io_.pwrite(spool, data, size, end);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    throw Exception("spool full");
                data += n;
                size -= static_cast<std::size_t>(n);
                end += n;
            }
        },
        [&] {
            if (stopping_.load(std::memory_order_relaxed))
                throw Stopped();
        });
    struct stat after {};
    if (io_.fstat(fd, &after) != 0 || !sameFile(before, after))
        return;  // changed while it was read: not the file that is there now
    spoolEnd = end;
    std::lock_guard lock(mutex_);
    record.id = {before.st_dev, before.st_ino, before.st_size, before.st_mtim, before.st_ctim};
    record.made = {spool, start, static_cast<std::uint64_t>(end - start), source.bytesRead(),
                   source.crc()};
    record.usable = true;
}

}  // namespace pagelume::zip
