#include "ui/picture.h"

#include <algorithm>

#include "image/pngimage.h"

namespace pagelume::ui {

TPicture TPicture::fromBitmap(image::DrawSurface bitmap, bool transparent) {
    TPicture p;
    if (!bitmap.empty())
        p.bitmap_ = std::make_shared<const image::DrawSurface>(std::move(bitmap));
    p.transparent_ = transparent;
    return p;
}

TPicture TPicture::fromPNG(const image::TPNGObject& png) {
    auto copy = std::make_shared<image::TPNGObject>();
    copy->Assign(&png);
    return fromPNG(std::shared_ptr<const image::TPNGObject>(std::move(copy)));
}

TPicture TPicture::fromPNG(std::shared_ptr<const image::TPNGObject> png) {
    TPicture p;
    if (png && !png->Empty())
        p.png_ = std::move(png);
    return p;
}

bool TPicture::empty() const {
    return !bitmap_ && !png_;
}

int TPicture::width() const {
    return bitmap_ ? bitmap_->width() : png_ ? png_->Width() : 0;
}

int TPicture::height() const {
    return bitmap_ ? bitmap_->height() : png_ ? png_->Height() : 0;
}

void TPicture::draw(image::DrawSurface& target, QRect dest) const {
    if (png_) {
        png_->Draw(target, image::Rect{dest.left(), dest.top(), dest.left() + dest.width(),
                                       dest.top() + dest.height()});
        return;
    }
    if (!bitmap_ || dest.width() <= 0 || dest.height() <= 0)
        return;
    const image::DrawSurface& src = *bitmap_;
    const uint32_t key = src.pixel(0, src.height() - 1) & 0xFFFFFF;
    const QRect clip = dest.intersected(QRect(0, 0, target.width(), target.height()));
    for (int y = clip.top(); y <= clip.bottom(); ++y) {
        const int sy =
            static_cast<int>(static_cast<int64_t>(y - dest.top()) * src.height() / dest.height());
        const uint32_t* in = src.scanLine(sy);
        uint32_t* out = target.scanLine(y);
        for (int x = clip.left(); x <= clip.right(); ++x) {
            const int sx = static_cast<int>(static_cast<int64_t>(x - dest.left()) * src.width() /
                                            dest.width());
            const uint32_t c = in[sx];
            if (transparent_ && (c & 0xFFFFFF) == key)
                continue;
            out[x] = c | 0xFF000000u;
        }
    }
}

const QImage& TPicture::toImage() const {
    if (image_)
        return *image_;
    QImage out;
    if (png_) {
        const image::ARGBImage argb = png_->ToARGB();
        out = QImage(reinterpret_cast<const uchar*>(argb.pixels.data()), argb.width, argb.height,
                     static_cast<qsizetype>(argb.width) * 4, QImage::Format_ARGB32)
                  .copy();
    } else if (bitmap_) {
        const image::DrawSurface& src = *bitmap_;
        out = QImage(src.width(), src.height(), QImage::Format_ARGB32);
        const uint32_t key = src.pixel(0, src.height() - 1) & 0xFFFFFF;
        for (int y = 0; y < src.height(); ++y) {
            const uint32_t* in = src.scanLine(y);
            auto* line = reinterpret_cast<uint32_t*>(out.scanLine(y));
            for (int x = 0; x < src.width(); ++x)
                line[x] = transparent_ && (in[x] & 0xFFFFFF) == key ? 0u : in[x] | 0xFF000000u;
        }
    }
    image_ = std::make_shared<const QImage>(std::move(out));
    return *image_;
}

image::DrawSurface copyRect(const image::DrawSurface& source, int x, int y, int w, int h) {
    image::DrawSurface out(w, h, 0xFF000000u);
    if (source.empty())
        return out;
    for (int row = 0; row < out.height(); ++row) {
        const int sy = std::clamp(y + row, 0, source.height() - 1);
        for (int col = 0; col < out.width(); ++col) {
            const int sx = x + col;
            if (sx >= 0 && sx < source.width())
                out.setPixel(col, row, source.pixel(sx, sy));
        }
    }
    return out;
}

}  // namespace pagelume::ui
