#include "ui/thumbnailer.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QMetaObject>
#include <QSet>
#include <algorithm>

#include "image/page_preview.h"
#include "pages/page_reader.h"

namespace pagelume::ui {

namespace {

// No page picture needs more of its file than this.
constexpr std::size_t kReadLimit = std::size_t{256} << 20;
constexpr int kWorkerNice = 5;

QImage toImage(const image::DrawSurface& s, int box) {
    QImage img(reinterpret_cast<const uchar*>(s.pixels().data()), s.width(), s.height(),
               s.width() * 4, QImage::Format_RGB32);
    const image::Size fit = image::fitInside(s.width(), s.height(), box, box);
    if (fit.width == s.width() && fit.height == s.height())
        return img.copy();
    return img.scaled(fit.width, fit.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

Thumbnailer::Maker thumbnailMaker(const ThumbnailCache* cache, int box) {
    return [cache, box](const pages::Page& page,
                        const std::atomic<bool>& cancelled) -> std::optional<QImage> {
        if (cache) {
            if (auto cached = cache->find(page))
                return toImage(*cached, box);
        }
        if (cancelled)
            return std::nullopt;
        const auto bytes = pages::readPageBytes(page, kReadLimit, nullptr);
        if (!bytes || cancelled)
            return std::nullopt;
        try {
            const image::DrawSurface made =
                image::decodePage(*bytes, ThumbnailCache::kSize, ThumbnailCache::kSize);
            if (cache)
                cache->store(page, made);
            return toImage(made, box);
        } catch (const std::exception&) {
            return std::nullopt;  // the placeholder stays: no picture to show
        }
    };
}

Thumbnailer::Thumbnailer(std::unique_ptr<ThumbnailCache> cache, int box, int threads,
                         QObject* parent)
    : Thumbnailer(thumbnailMaker(cache.get(), box), threads, parent) {
    cache_ = std::move(cache);
}

Thumbnailer::Thumbnailer(Maker maker, int threads, QObject* parent)
    : QObject(parent), maker_(std::move(maker)) {
    pool_.setMaxThreadCount(threads > 0 ? threads : QThread::idealThreadCount());
}

Thumbnailer::~Thumbnailer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
        for (Job& j : running_)
            *j.cancelled = true;
    }
    pool_.waitForDone();
}

QString Thumbnailer::keyOf(const pages::Page& page) {
    return QString::fromStdString(page.file) + QChar(0) + QString::fromStdString(page.member);
}

const QImage* Thumbnailer::find(const pages::Page& page) const {
    const auto it = pictures_.constFind(keyOf(page));
    return it == pictures_.constEnd() ? nullptr : &*it;
}

int Thumbnailer::pending() const {
    return pending_.load();
}

void Thumbnailer::countPending() {
    // mutex_ is held.
    pending_ = static_cast<int>(queue_.size() + running_.size());
}

void Thumbnailer::want(const std::vector<pages::Page>& pages, std::size_t urgent) {
    std::lock_guard lock(mutex_);
    queue_.clear();
    QSet<QString> seen, urgentKeys;
    for (const Job& j : running_)
        seen.insert(j.key);
    std::size_t i = 0;
    for (const pages::Page& page : pages) {
        QString key = keyOf(page);
        if (i++ < urgent)
            urgentKeys.insert(key);
        if (pictures_.contains(key) || seen.contains(key))
            continue;
        seen.insert(key);
        queue_.push_back({page, std::move(key), std::make_shared<std::atomic<bool>>(false)});
    }
    // What scrolled away stops; if it is still wanted later it is queued again.
    for (Job& j : running_)
        if (!urgentKeys.contains(j.key) && !*j.cancelled)
            *j.cancelled = true;
    countPending();
    startWorkers();
}

void Thumbnailer::clear() {
    {
        std::lock_guard lock(mutex_);
        queue_.clear();
        for (Job& j : running_)
            *j.cancelled = true;
        countPending();
    }
    pictures_.clear();
}

void Thumbnailer::startWorkers() {
    // mutex_ is held.
    while (!stopping_ && workers_ < pool_.maxThreadCount() &&
           static_cast<std::size_t>(workers_) < queue_.size()) {
        ++workers_;
        pool_.start([this] { work(); });
    }
}

void Thumbnailer::work() {
    // Workers give way to the GUI thread, so the window repaints at once
    // however many pages are being made (Linux counts niceness per thread).
    static thread_local bool lowered = false;
    if (!lowered) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kWorkerNice);
        lowered = true;
    }
    for (;;) {
        Job job;
        {
            std::lock_guard lock(mutex_);
            if (stopping_ || queue_.empty()) {
                --workers_;
                return;
            }
            job = std::move(queue_.front());
            queue_.pop_front();
            running_.push_back(job);
        }
        std::optional<QImage> picture = maker_(job.page, *job.cancelled);
        const bool wasCancelled = *job.cancelled;
        {
            std::lock_guard lock(mutex_);
            running_.erase(std::find_if(running_.begin(), running_.end(),
                                        [&](const Job& j) { return j.cancelled == job.cancelled; }));
            countPending();
            if (stopping_)
                continue;
        }
        if (wasCancelled)
            ++cancelled_;
        // The picture goes to the owner's thread; a cancelled one is kept if
        // it was finished anyway.
        QMetaObject::invokeMethod(
            this,
            [this, key = job.key, page = job.page, picture = std::move(picture), wasCancelled] {
                delivered(key, page, picture, wasCancelled);
            },
            Qt::QueuedConnection);
    }
}

void Thumbnailer::delivered(const QString& key, const pages::Page& page,
                            std::optional<QImage> picture, bool wasCancelled) {
    if (!picture) {
        if (!wasCancelled)
            pictures_.insert(key, QImage());  // cannot be made: not tried again
        return;
    }
    pictures_.insert(key, std::move(*picture));
    if (OnReady)
        OnReady(page);
}

}  // namespace pagelume::ui
