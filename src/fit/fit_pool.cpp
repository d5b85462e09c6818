#include "fit/fit_pool.h"

#include <algorithm>
#include <cstdlib>

namespace pagelume::fit {

int fitThreads(const char* setting, unsigned cores) {
    if (setting && *setting) {
        long n = 0;
        const char* p = setting;
        while (*p >= '0' && *p <= '9' && n <= kMaxFitThreads)
            n = n * 10 + (*p++ - '0');
        while (*p >= '0' && *p <= '9')
            ++p;
        if (*p == '\0' && n >= 1)
            return static_cast<int>(std::min<long>(n, kMaxFitThreads));
    }
    return static_cast<int>(std::clamp<unsigned>(cores, 1, kMaxFitThreads));
}

int defaultFitThreads() {
    return fitThreads(std::getenv("PAGELUME_THREADS"), std::thread::hardware_concurrency());
}

FitPool::FitPool(std::vector<FitJob> jobs, FitOptions options, int threads)
    : jobs_(std::move(jobs)), options_(options), results_(jobs_.size()) {
    const std::size_t wanted =
        threads <= 1 ? 0 : std::min(jobs_.size(), static_cast<std::size_t>(threads));
    threads_.reserve(wanted);
    for (std::size_t i = 0; i < wanted; ++i) {
        try {
            threads_.emplace_back(&FitPool::work, this);
        } catch (...) {
            break;  // the system refuses more: the ones running do all the work
        }
    }
}

FitPool::~FitPool() {
    stop();
    for (std::thread& t : threads_)
        t.join();
}

FitResult FitPool::run(std::size_t job) {
    if (stopping_.load()) {
        FitResult r;
        r.status = FitStatus::Stopped;
        r.reason = "Fitting stopped";
        return r;
    }
    return fitPage(jobs_[job].source, jobs_[job].output, options_, &stopping_);
}

void FitPool::work() {
    std::unique_lock lock(mutex_);
    while (!stopping_ && nextJob_ < jobs_.size()) {
        const std::size_t job = nextJob_++;
        ++busy_;
        lock.unlock();
        FitResult r;
        try {
            r = run(job);
        } catch (...) {
            // Only a failure to make the message itself gets here.
            r.status = FitStatus::Failed;
        }
        lock.lock();
        --busy_;
        results_[job] = std::move(r);
        done_.notify_all();
    }
    done_.notify_all();
}

std::optional<FitResult> FitPool::next() {
    std::unique_lock lock(mutex_);
    if (nextResult_ >= jobs_.size())
        return std::nullopt;
    const std::size_t job = nextResult_++;
    if (threads_.empty() || (nextJob_ <= job && stopping_)) {
        // No workers, or none will take this job any more.
        if (nextJob_ <= job)
            nextJob_ = job + 1;
        lock.unlock();
        return run(job);
    }
    done_.wait(lock, [&] { return results_[job].has_value() || (stopping_ && nextJob_ <= job); });
    if (!results_[job]) {
        FitResult r;
        r.status = FitStatus::Stopped;
        r.reason = "Fitting stopped";
        return r;
    }
    FitResult r = std::move(*results_[job]);
    results_[job].reset();
    return r;
}

void FitPool::stop() {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    done_.notify_all();
    done_.wait(lock, [&] { return busy_ == 0; });
}

}  // namespace pagelume::fit
