#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zip/compression.h"
#include "zip/deflate_cache.h"
#include "zip/file_io.h"
#include "zip/zlib_calls.h"

// Entry data made on worker threads while the archive is written in order on
// the caller's thread.
namespace pagelume::zip {

// The most worker threads a run starts, whatever the machine or the setting.
inline constexpr int kMaxDeflateThreads = 64;

// Entry data a worker may hold ready before the writer takes it; past this
// it waits. An entry larger than this streams through: its worker keeps
// deflating while the writer writes what is ready.
inline constexpr std::size_t kWorkerBufferCap = std::size_t{2} << 20;

// The number of threads to deflate with: PAGELUME_THREADS when it holds a
// whole number from 1 up (at most kMaxDeflateThreads), else one per core.
// 1 means that everything runs on the caller's thread.
int deflateThreads(const char* setting, unsigned cores);
// The same for this process: its environment, its cores.
int defaultDeflateThreads();

// One file to turn into entry data.
struct DeflateJob {
    std::string path;
    bool store = false;
};

// Workers that open, read and deflate the jobs in order, each one job at a
// time, taking the next job not yet taken. The writer then takes each job's
// results in the same order, on its own thread: the source as opened, the
// blocks of entry data exactly as makeEntryData makes them, the totals. A
// failure of a job (the source gone, a read error, zlib) reaches the writer
// when it comes to that point of that job, as the same exception, so the
// archive and what happens before a failure do not depend on the threads.
//
// Destroying the pool stops the workers at their next block or read and
// waits for them: no thread outlives it, no source stays open.
class DeflatePool {
public:
    struct Block {
        std::vector<unsigned char> data;
        std::uint64_t bytesRead = 0;  // of the source, when the block was made
    };
    struct Totals {
        std::uint64_t bytesRead = 0;
        std::uint32_t crc = 0;
    };

    // Job i of count, made when a worker takes it, so that a long list of
    // jobs never stands in memory as a list of paths.
    using JobSource = std::function<DeflateJob(std::size_t)>;

    // Starts up to threads workers (fewer when there are fewer jobs, or when
    // the system refuses more; see started()). A job whose data the cache
    // (when given) holds for the file as opened is copied from there instead
    // of deflated: the same bytes.
    DeflatePool(FileIo& io, ZlibCalls& zlib, int packLevel, std::size_t count, JobSource jobs,
                int threads, std::size_t bufferCap = kWorkerBufferCap,
                DeflateCache* cache = nullptr);
    DeflatePool(FileIo& io, ZlibCalls& zlib, int packLevel, std::vector<DeflateJob> jobs,
                int threads, std::size_t bufferCap = kWorkerBufferCap,
                DeflateCache* cache = nullptr);
    ~DeflatePool();
    DeflatePool(const DeflatePool&) = delete;
    DeflatePool& operator=(const DeflatePool&) = delete;

    // Workers running; 0 when not one could be started.
    int started() const { return static_cast<int>(threads_.size()); }
    std::size_t jobCount() const { return jobCount_; }
    // Workers waiting for the writer to take what they hold.
    int waitingForRoom();

    // The writer's side, for job 0, 1, 2 ... in turn: waits for the job's
    // source to be open, or rethrows why it could not be. The descriptor
    // stays the worker's (fd is -1); the rest is the source as opened.
    OpenedSource opened();
    // The next block of the job's data, valid until the next call; nullptr
    // after the last. Rethrows the job's failure at its place.
    const Block* next();
    // After next() returned nullptr: the job's totals. Moves on to the next job.
    Totals finish();

private:
    // A job taken by a worker and not yet finished by the writer.
    struct Entry {
        int worker = -1;
        bool opened = false;
        bool ended = false;  // no more blocks: finished, or failed
        OpenedSource source;
        std::deque<Block> blocks;
        std::exception_ptr error;
        Totals totals;
    };
    struct Worker {
        std::condition_variable room;
        std::size_t held = 0;  // bytes of its entries the writer has not taken
    };

    void start();
    void work(int worker);
    void runJob(int worker, Entry& entry, const DeflateJob& job, std::vector<unsigned char>& in,
                std::vector<unsigned char>& out);
    bool copyMade(int worker, Entry& entry, const DeflateJob& job, const OpenedSource& opened,
                  std::vector<unsigned char>& buffer);
    void push(int worker, Entry& entry, const unsigned char* data, std::size_t size,
              std::uint64_t bytesRead);
    void waitForRoom(std::unique_lock<std::mutex>& lock, Worker& self);
    void releaseCurrent(std::unique_lock<std::mutex>& lock);
    Entry& waitFront(std::unique_lock<std::mutex>& lock, bool (*ready)(const Entry&));

    FileIo& io_;
    ZlibCalls& zlib_;
    const int packLevel_;
    const std::size_t jobCount_;
    const JobSource jobs_;
    const std::size_t cap_;
    DeflateCache* const cache_;

    std::mutex mutex_;
    std::condition_variable writerWake_;
    std::vector<Worker> workers_;
    std::deque<Entry> window_;                       // the jobs from the writer's current one on
    std::size_t nextJob_ = 0;                        // the next job a worker takes
    std::size_t jobLimit_;                           // no job from here on is needed
    Block current_;                                  // the block the writer holds
    std::vector<std::vector<unsigned char>> spare_;  // buffers of written blocks
    int currentOwner_ = -1;
    int waiting_ = 0;
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> threads_;  // last: started once the rest exists
};

}  // namespace pagelume::zip
