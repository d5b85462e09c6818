#pragma once

#include "ui/controls.h"

namespace pagelume::ui {

using TOnMouseEvent = std::function<void(const TWMMouse&)>;

// A picture control that acts as a button by swapping three pictures:
// Pic (normal), PicUp (hover, and after release) and PicDown (pressed).
class TImgBtn : public TImage {
public:
    using TImage::TImage;

    // Assigning copies; the shown picture changes only on mouse input.
    TPicture Pic, PicDown, PicUp;
    // When false, leaving and releasing neither swap pictures nor raise events.
    bool Supported = true;

    TOnMouseEvent OnMouseLeave;
    TOnMouseEvent OnMouseUp;

    void LeftButtonDown(const TWMMouse& msg) override;
    void MouseMoved(const TWMMouse& msg) override;
    void LeftButtonUp(const TWMMouse& msg) override;
    void MouseLeft() override;
    // The picture, and a focus frame around it while the keyboard is here.
    void Paint(TCanvas& canvas) override;
};

}  // namespace pagelume::ui
