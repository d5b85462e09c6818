#include "ui/thumbnail_cache.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>

#include "image/page_preview.h"
#include "image/png_writer.h"
#include "image/pngimage.h"

namespace pagelume::ui {

namespace {

// A cached thumbnail is a small picture; anything larger is not one of them.
constexpr qint64 kMaxCacheFile = qint64{4} << 20;

constexpr const char* kUriKey = "Thumb::URI";
constexpr const char* kMTimeKey = "Thumb::MTime";

QString localPath(const pages::Page& page) {
    return QFile::decodeName(QByteArray::fromStdString(page.file));
}

// The file's modification time as the standard writes it: whole seconds.
std::optional<qint64> mtimeOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return std::nullopt;
    return info.lastModified().toSecsSinceEpoch();
}

}  // namespace

ThumbnailCache::ThumbnailCache(QString dir) : dir_(std::move(dir)) {}

QString ThumbnailCache::defaultDir() {
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + "/.cache";
    return base + "/thumbnails/large";
}

QByteArray ThumbnailCache::uriOf(const QString& path) {
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded();
}

QString ThumbnailCache::fileFor(const QByteArray& uri) const {
    return dir_ + "/" +
           QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
           ".png";
}

std::optional<image::DrawSurface> ThumbnailCache::find(const pages::Page& page) const {
    if (page.inArchive())
        return std::nullopt;
    const QString path = localPath(page);
    const auto mtime = mtimeOf(path);
    if (!mtime)
        return std::nullopt;
    const QByteArray uri = uriOf(path);
    QFile f(fileFor(uri));
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxCacheFile)
        return std::nullopt;
    const QByteArray bytes = f.readAll();
    try {
        image::TPNGObject png;
        png.LoadFromMemory(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        bool uriMatches = false, mtimeMatches = false;
        for (const auto& c : png.Chunks()) {
            const auto* t = dynamic_cast<const image::TChunktEXt*>(c.get());
            if (!t)
                continue;
            if (t->Keyword == kUriKey)
                uriMatches = t->Text == uri.toStdString();
            else if (t->Keyword == kMTimeKey)
                mtimeMatches = t->Text == std::to_string(*mtime);
        }
        if (!uriMatches || !mtimeMatches)
            return std::nullopt;
        if (png.Width() > kSize || png.Height() > kSize)
            return std::nullopt;  // not a "large" thumbnail: make our own
        return image::decodePage(bytes.toStdString(), kSize, kSize);
    } catch (const std::exception&) {
        return std::nullopt;  // damaged: made again and replaced
    }
}

bool ThumbnailCache::store(const pages::Page& page, const image::DrawSurface& thumbnail) const {
    if (page.inArchive() || thumbnail.empty())
        return false;
    const QString path = localPath(page);
    const auto mtime = mtimeOf(path);
    if (!mtime)
        return false;
    const QByteArray uri = uriOf(path);
    std::string png;
    try {
        png = image::encodePng(thumbnail, false,
                               {{kUriKey, uri.toStdString()},
                                {kMTimeKey, std::to_string(*mtime)},
                                {"Software", "Pagelume"}});
    } catch (const std::exception&) {
        return false;
    }
    if (!QDir().mkpath(dir_))
        return false;
    QFile::setPermissions(dir_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Written beside and renamed over, so a reader never sees half a file.
    QSaveFile out(fileFor(uri));
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    if (out.write(png.data(), static_cast<qint64>(png.size())) != static_cast<qint64>(png.size()))
        return false;
    return out.commit();
}

}  // namespace pagelume::ui
