#include "ui/ImgBtn.h"

#include <algorithm>

namespace pagelume::ui {

void TImgBtn::Paint(TCanvas& canvas) {
    TImage::Paint(canvas);
    if (Focused()) {
        const QRect shown(0, 0, std::min(Width(), Picture().width()),
                          std::min(Height(), Picture().height()));
        drawFocusFrame(canvas.painter(), shown.isEmpty() ? ClientRect() : shown);
    }
}

void TImgBtn::LeftButtonDown(const TWMMouse& msg) {
    SetPicture(PicDown);
    TImage::LeftButtonDown(msg);
}

void TImgBtn::MouseMoved(const TWMMouse& msg) {
    TImage::MouseMoved(msg);
    SetPicture(PicUp);  // also while the button is held: pressing shows only until the first move
}

void TImgBtn::MouseLeft() {
    TImage::MouseLeft();
    if (!Supported)
        return;
    SetPicture(Pic);
    if (OnMouseLeave)
        OnMouseLeave(TWMMouse{});
}

void TImgBtn::LeftButtonUp(const TWMMouse& msg) {
    TImage::LeftButtonUp(msg);  // the click, if any, comes before the picture changes
    if (!Supported)
        return;
    SetPicture(PicUp);
    if (OnMouseUp)
        OnMouseUp(msg);
}

}  // namespace pagelume::ui
