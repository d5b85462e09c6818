#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "pages/page.h"
#include "ui/thumbnail_cache.h"

namespace pagelume::ui {

// Makes the pictures of pages on worker threads, never on the GUI thread:
// from the thumbnail cache when it holds a valid one, otherwise decoded at a
// reduced size (and written to the cache). The view says which pages it
// wants, most wanted first; a page that is no longer wanted is dropped from
// the queue, and one being made is told to stop when it is no longer urgent.
// Everything but the making runs on the thread that owns the object.
class Thumbnailer : public QObject {
public:
    // How a picture is made: from the page, checking cancelled between steps;
    // nothing when it could not be made (or was cancelled).
    using Maker = std::function<std::optional<QImage>(const pages::Page& page,
                                                      const std::atomic<bool>& cancelled)>;

    // Pictures fit inside box x box. cache may be null (no disk cache);
    // threads 0 means one per core.
    Thumbnailer(std::unique_ptr<ThumbnailCache> cache, int box, int threads = 0,
                QObject* parent = nullptr);
    // For tests: pictures made by maker instead.
    Thumbnailer(Maker maker, int threads, QObject* parent = nullptr);
    const ThumbnailCache* cache() const { return cache_.get(); }
    ~Thumbnailer() override;

    // The pages wanted, most wanted first; replaces the previous wish. The
    // first urgent of them are the ones on screen: a page being made that is
    // not among them any more is cancelled (and made again later if it is
    // still wanted).
    void want(const std::vector<pages::Page>& pages, std::size_t urgent);
    // The picture of the page, once made; nullptr before.
    const QImage* find(const pages::Page& page) const;
    // Forgets every picture and stops all work (the pages are gone).
    void clear();

    // Called on the owner's thread as each picture arrives.
    std::function<void(const pages::Page&)> OnReady;

    // Pages in the queue or being made. Never waits for a worker.
    int pending() const;
    // Jobs that were stopped while being made.
    int cancelledCount() const { return cancelled_.load(); }

    static QString keyOf(const pages::Page& page);

private:
    struct Job {
        pages::Page page;
        QString key;
        std::shared_ptr<std::atomic<bool>> cancelled;
    };
    void startWorkers();
    void countPending();
    void work();
    void delivered(const QString& key, const pages::Page& page, std::optional<QImage> picture,
                   bool wasCancelled);

    std::unique_ptr<ThumbnailCache> cache_;  // outlives the workers (see the destructor)
    Maker maker_;
    QThreadPool pool_;
    QHash<QString, QImage> pictures_;  // owner's thread only

    mutable std::mutex mutex_;  // guards the members below
    std::deque<Job> queue_;
    std::vector<Job> running_;
    int workers_ = 0;
    bool stopping_ = false;
    std::atomic<int> cancelled_{0};
    std::atomic<int> pending_{0};  // queue_ and running_, for readers that must not wait
};

// The real maker: the cache, or the page decoded to ThumbnailCache::kSize
// and stored, then reduced to fit inside box x box.
Thumbnailer::Maker thumbnailMaker(const ThumbnailCache* cache, int box);

}  // namespace pagelume::ui
