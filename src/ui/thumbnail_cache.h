#pragma once

#include <QString>
#include <optional>

#include "image/drawsurface.h"
#include "pages/page.h"

namespace pagelume::ui {

// Thumbnails on disk as file managers keep them: one PNG per file in
// $XDG_CACHE_HOME/thumbnails/large, named by the MD5 of the file's URI, and
// valid while its Thumb::URI and Thumb::MTime match the file. Pictures that
// others made are used as they are, and ours serve the file manager too.
// Pages inside archives have no URI of their own: they are never written.
// Safe to use from several threads at once (each call stands alone).
class ThumbnailCache {
public:
    // The largest side of a thumbnail in the "large" folder.
    static constexpr int kSize = 256;

    // dir: the folder the thumbnails live in (created when first written).
    explicit ThumbnailCache(QString dir);
    // $XDG_CACHE_HOME/thumbnails/large, or ~/.cache/thumbnails/large.
    static QString defaultDir();

    const QString& dir() const { return dir_; }

    // The URI the standard names a file by: file:// and the absolute path,
    // percent-encoded.
    static QByteArray uriOf(const QString& path);
    // Where the thumbnail of the file with that URI lives.
    QString fileFor(const QByteArray& uri) const;

    // A valid thumbnail of the page, fitted inside kSize x kSize; nothing for
    // a page in an archive, a missing file, or a cached picture that is
    // stale, damaged or made for another file.
    std::optional<image::DrawSurface> find(const pages::Page& page) const;
    // Writes the page's thumbnail (whole or not at all, readable by the
    // user only); false when the page is in an archive or it could not.
    bool store(const pages::Page& page, const image::DrawSurface& thumbnail) const;

private:
    QString dir_;
};

}  // namespace pagelume::ui
