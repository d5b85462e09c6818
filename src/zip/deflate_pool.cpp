#include "zip/deflate_pool.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "zip/zip_errors.h"

namespace pagelume::zip {

namespace {

// What a block or a waiting entry costs besides its data (the vector, the
// allocator's header, the queue's own nodes), so that a book of many tiny
// files stays within the cap too.
constexpr std::size_t kBlockOverhead = 64;
constexpr std::size_t kEntryOverhead = 1024;
constexpr std::size_t kSmallBlock = 4096;

// Thrown inside a worker to leave a job when the pool stops.
struct Stopped {};

}  // namespace

int deflateThreads(const char* setting, unsigned cores) {
    if (setting && *setting) {
        long n = 0;
        const char* p = setting;
        while (*p >= '0' && *p <= '9' && n <= kMaxDeflateThreads)
            n = n * 10 + (*p++ - '0');
        while (*p >= '0' && *p <= '9')
            ++p;
        if (*p == '\0' && n >= 1)
            return static_cast<int>(std::min<long>(n, kMaxDeflateThreads));
    }
    return static_cast<int>(std::clamp<unsigned>(cores, 1, kMaxDeflateThreads));
}

int defaultDeflateThreads() {
    return deflateThreads(std::getenv("PAGELUME_THREADS"), std::thread::hardware_concurrency());
}

DeflatePool::DeflatePool(FileIo& io, ZlibCalls& zlib, int packLevel, std::vector<DeflateJob> jobs,
                         int threads, std::size_t bufferCap, DeflateCache* cache)
    : io_(io),
      zlib_(zlib),
      packLevel_(packLevel),
      jobCount_(jobs.size()),  // before jobs_ takes the list
      jobs_([list = std::move(jobs)](std::size_t i) { return list[i]; }),
      cap_(bufferCap),
      cache_(cache && cache->packLevel() == packLevel ? cache : nullptr),
      workers_(std::min(jobCount_, static_cast<std::size_t>(std::max(threads, 0)))),
      jobLimit_(jobCount_) {
    start();
}

DeflatePool::DeflatePool(FileIo& io, ZlibCalls& zlib, int packLevel, std::size_t count,
                         JobSource jobs, int threads, std::size_t bufferCap,
                         DeflateCache* cache)
    : io_(io),
      zlib_(zlib),
      packLevel_(packLevel),
      jobCount_(count),
      jobs_(std::move(jobs)),
      cap_(bufferCap),
      cache_(cache && cache->packLevel() == packLevel ? cache : nullptr),
      workers_(std::min(count, static_cast<std::size_t>(std::max(threads, 0)))),
      jobLimit_(count) {
    start();
}

void DeflatePool::start() {
    threads_.reserve(workers_.size());
    for (std::size_t w = 0; w < workers_.size(); ++w) {
        try {
            threads_.emplace_back(&DeflatePool::work, this, static_cast<int>(w));
        } catch (...) {
            break;  // the system refuses more: the ones running do all the work
        }
    }
}

DeflatePool::~DeflatePool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (cache_)
        cache_->interrupt();  // a worker waiting there for a file's data
    for (auto& worker : workers_)
        worker.room.notify_all();
    for (auto& thread : threads_)
        thread.join();
}

void DeflatePool::work(int worker) {
    std::vector<unsigned char> in, out;
    for (;;) {
        Entry* entry;
        DeflateJob job;
        {
            // Entries waiting for the writer count too, so that even files
            // that make no data (empty and stored) cannot pile up.
            std::unique_lock lock(mutex_);
            Worker& self = workers_[static_cast<std::size_t>(worker)];
            if (nextJob_ < jobLimit_)
                waitForRoom(lock, self);
            if (stopping_ || nextJob_ >= jobLimit_)
                return;
            job = jobs_(nextJob_++);
            entry = &window_.emplace_back();
            entry->worker = worker;
            self.held += kEntryOverhead;
        }
        try {
            runJob(worker, *entry, job, in, out);
        } catch (const Stopped&) {
            return;
        } catch (...) {
            std::lock_guard lock(mutex_);
            entry->error = std::current_exception();
            entry->ended = true;
            // Nothing after a failed job is ever written.
            jobLimit_ = std::min(jobLimit_, nextJob_);
            writerWake_.notify_one();
        }
    }
}

void DeflatePool::runJob(int worker, Entry& entry, const DeflateJob& job,
                         std::vector<unsigned char>& in, std::vector<unsigned char>& out) {
    const OpenedSource opened = openSource(io_, job.path);
    EntrySource source(io_, opened.fd, job.path, static_cast<std::uint64_t>(opened.st.st_size));
    {
        std::lock_guard lock(mutex_);
        entry.source = opened;
        entry.source.fd = -1;  // the worker's own, closed when it is done
        entry.opened = true;
        writerWake_.notify_one();
    }
    if (!job.store && cache_ && copyMade(worker, entry, job, opened, out))
        return;
    makeEntryData(
        source, zlib_, packLevel_, job.store, in, out,
        [&](const unsigned char* data, std::size_t size) {
            push(worker, entry, data, size, source.bytesRead());
        },
        [&] {
            if (stopping_.load(std::memory_order_relaxed))
                throw Stopped();
        });
    std::lock_guard lock(mutex_);
    entry.totals = {source.bytesRead(), source.crc()};
    entry.ended = true;
    writerWake_.notify_one();
}

// The job's data from the cache, when it holds the data of this very file.
bool DeflatePool::copyMade(int worker, Entry& entry, const DeflateJob& job,
                           const OpenedSource& opened, std::vector<unsigned char>& buffer) {
    const std::optional<DeflateCache::Made> made = cache_->find(job.path, opened.st, &stopping_);
    if (!made) {
        if (stopping_)
            throw Stopped();
        return false;
    }
    buffer.resize(kDeflateBufferSize);
    std::uint64_t copied = 0;
    while (copied < made->size) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), made->size - copied));
        const ssize_t n = io_.pread(made->fd, buffer.data(), want,
                                    made->offset + static_cast<off_t>(copied));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // The spool cannot be read back; deflating from the start makes
            // the same bytes, but some are already queued: this job fails.
            throw EInOutError(job.path + ": " + errorText(n < 0 ? errno : EIO));
        }
        copied += static_cast<std::uint64_t>(n);
        // Progress in source bytes, in proportion (a product of two sizes
        // past 4 GiB would overflow).
        const auto sourceBytes = static_cast<std::uint64_t>(
            static_cast<long double>(made->bytesRead) * copied / made->size);
        push(worker, entry, buffer.data(), static_cast<std::size_t>(n), sourceBytes);
    }
    std::lock_guard lock(mutex_);
    entry.totals = {made->bytesRead, made->crc};
    entry.ended = true;
    writerWake_.notify_one();
    return true;
}

void DeflatePool::push(int worker, Entry& entry, const unsigned char* data, std::size_t size,
                       std::uint64_t bytesRead) {
    // Full blocks reuse the buffers the writer is done with, rather than
    // have the allocator map fresh pages for each; small ones get their size.
    Block block{{}, bytesRead};
    std::unique_lock lock(mutex_);
    if (size > kSmallBlock && !spare_.empty()) {
        block.data = std::move(spare_.back());
        spare_.pop_back();
    }
    lock.unlock();
    block.data.assign(data, data + size);
    lock.lock();
    Worker& self = workers_[static_cast<std::size_t>(worker)];
    waitForRoom(lock, self);
    if (stopping_)
        throw Stopped();
    self.held += block.data.capacity() + kBlockOverhead;
    entry.blocks.push_back(std::move(block));
    writerWake_.notify_one();
}

void DeflatePool::waitForRoom(std::unique_lock<std::mutex>& lock, Worker& self) {
    ++waiting_;
    self.room.wait(lock, [&] { return stopping_ || self.held < cap_; });
    --waiting_;
}

int DeflatePool::waitingForRoom() {
    std::lock_guard lock(mutex_);
    return waiting_;
}

DeflatePool::Entry& DeflatePool::waitFront(std::unique_lock<std::mutex>& lock,
                                           bool (*ready)(const Entry&)) {
    writerWake_.wait(lock, [&] { return !window_.empty() && ready(window_.front()); });
    return window_.front();
}

void DeflatePool::releaseCurrent(std::unique_lock<std::mutex>&) {
    if (currentOwner_ < 0)
        return;
    Worker& owner = workers_[static_cast<std::size_t>(currentOwner_)];
    owner.held -= current_.data.capacity() + kBlockOverhead;
    owner.room.notify_one();
    if (current_.data.capacity() >= kDeflateBufferSize && spare_.size() < 2 * workers_.size())
        spare_.push_back(std::move(current_.data));
    current_.data = {};
    currentOwner_ = -1;
}

OpenedSource DeflatePool::opened() {
    std::unique_lock lock(mutex_);
    Entry& entry = waitFront(lock, [](const Entry& e) { return e.opened || e.ended; });
    if (!entry.opened)
        std::rethrow_exception(entry.error);
    return entry.source;
}

const DeflatePool::Block* DeflatePool::next() {
    std::unique_lock lock(mutex_);
    releaseCurrent(lock);
    Entry& entry = waitFront(lock, [](const Entry& e) { return !e.blocks.empty() || e.ended; });
    if (entry.blocks.empty()) {
        if (entry.error)
            std::rethrow_exception(entry.error);
        return nullptr;
    }
    current_ = std::move(entry.blocks.front());
    currentOwner_ = entry.worker;
    entry.blocks.pop_front();
    return &current_;
}

DeflatePool::Totals DeflatePool::finish() {
    std::unique_lock lock(mutex_);
    releaseCurrent(lock);
    Entry& entry = window_.front();
    const Totals totals = entry.totals;
    Worker& owner = workers_[static_cast<std::size_t>(entry.worker)];
    owner.held -= kEntryOverhead;
    owner.room.notify_one();
    window_.pop_front();
    return totals;
}

}  // namespace pagelume::zip
