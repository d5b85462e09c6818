#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fit/fit_page.h"

// Pages fitted on worker threads while the caller takes the results in page
// order.
namespace pagelume::fit {

inline constexpr int kMaxFitThreads = 64;

// The number of threads to fit with: PAGELUME_THREADS when it holds a whole
// number from 1 up (at most kMaxFitThreads), else one per core. 1 means that
// everything runs on the caller's thread.
int fitThreads(const char* setting, unsigned cores);
// The same for this process: its environment, its cores.
int defaultFitThreads();

struct FitJob {
    std::string source;
    std::string output;
};

// Each worker fits one page at a time, taking the next page not yet taken.
// A page's result does not depend on the threads: the same page and options
// give the same bytes on any worker. With threads = 1, or when no worker can
// be started, next() fits each page itself.
//
// Destroying the pool stops it and waits for the workers.
class FitPool {
public:
    FitPool(std::vector<FitJob> jobs, FitOptions options, int threads);
    ~FitPool();
    FitPool(const FitPool&) = delete;
    FitPool& operator=(const FitPool&) = delete;

    int started() const { return static_cast<int>(threads_.size()); }
    std::size_t size() const { return jobs_.size(); }

    // The result of job 0, 1, 2 ... in turn, waiting for it; std::nullopt
    // after the last. After stop(), pages not fitted are Stopped.
    std::optional<FitResult> next();

    // Pages not begun are not fitted; pages being fitted end at their next
    // row. Returns when no worker is fitting any more. Safe from any thread.
    void stop();

private:
    void work();
    FitResult run(std::size_t job);

    const std::vector<FitJob> jobs_;
    const FitOptions options_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable done_;
    std::vector<std::optional<FitResult>> results_;
    std::size_t nextJob_ = 0;     // the next job a worker takes
    std::size_t nextResult_ = 0;  // the next result next() hands out
    int busy_ = 0;
    std::vector<std::thread> threads_;  // last: started once the rest exists
};

}  // namespace pagelume::fit
