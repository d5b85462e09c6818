#pragma once

#include <QImage>
#include <QRect>
#include <memory>

#include "image/drawsurface.h"

namespace pagelume::image {
class TPNGObject;
}

namespace pagelume::ui {

// What a picture control holds and draws: nothing, a bitmap (24-bit pixels,
// optionally with an automatic transparent colour), or a PNG image drawn
// with its own transparency. Copies are independent: a PNG is shared only
// because nothing ever changes it after it is handed over.
class TPicture {
public:
    TPicture() = default;
    static TPicture fromBitmap(image::DrawSurface bitmap, bool transparent = false);
    // Takes a copy of the image.
    static TPicture fromPNG(const image::TPNGObject& png);
    static TPicture fromPNG(std::shared_ptr<const image::TPNGObject> png);

    bool empty() const;
    int width() const;
    int height() const;

    const image::DrawSurface* bitmap() const { return bitmap_.get(); }
    const image::TPNGObject* png() const { return png_.get(); }
    // A transparent bitmap leaves out the pixels that have the colour of its
    // bottom-left pixel.
    bool transparent() const { return transparent_; }

    // Draws the picture stretched into dest (nearest neighbour), clipped to
    // the target.
    void draw(image::DrawSurface& target, QRect dest) const;

    // The picture as a Qt image with its transparency as alpha, for drawing
    // scaled. Made once and kept.
    const QImage& toImage() const;

private:
    std::shared_ptr<const image::DrawSurface> bitmap_;
    std::shared_ptr<const image::TPNGObject> png_;
    bool transparent_ = false;
    mutable std::shared_ptr<const QImage> image_;
};

// The part of a bitmap at (x, y) of size w x h; pixels outside the source
// come out as the colour of the source's bottom row (the sprite may be a row
// short of its last strip).
image::DrawSurface copyRect(const image::DrawSurface& source, int x, int y, int w, int h);

}  // namespace pagelume::ui
