#pragma once

#include <cstdint>
#include <string>

#include "image/drawsurface.h"
#include "platform/exception.h"

// Pictures of pages for the window: decoded straight to the size they are
// shown at, so that a large scan costs what the picture costs, not the page.
namespace pagelume::image {

// Neither PNG, JPEG nor GIF by its first bytes.
PAGELUME_DEFINE_EXCEPTION(ENotAPageImage, Exception);
// A JPEG or GIF that its library could not decode; the message says why.
PAGELUME_DEFINE_EXCEPTION(EPageImageDamaged, Exception);

// The largest size of the same proportions as width x height that fits in
// boxWidth x boxHeight (at least 1 x 1), the page's own size when it fits.
struct Size {
    int width = 0, height = 0;
};
Size fitInside(int width, int height, int boxWidth, int boxHeight);

// The page fitted inside boxWidth x boxHeight (fitInside), decoded as
// previewPage does; for thumbnails and larger views of a page.
DrawSurface decodePage(const std::string& bytes, int boxWidth, int boxHeight);

// A pane of boxWidth x boxHeight filled with background, the page fitted
// inside it with its proportions kept and centred. The page's kind comes from
// its first bytes: PNG through our decoder (its exceptions leave as they
// are), JPEG through libjpeg decoding at a reduced scale, a GIF's first frame.
// Transparent parts show white. Throws ENotAPageImage or EPageImageDamaged.
DrawSurface previewPage(const std::string& bytes, int boxWidth, int boxHeight,
                        uint32_t background);

}  // namespace pagelume::image
