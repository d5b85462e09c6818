#include "ui/pngextra.h"

#include <QFontMetrics>
#include <QPalette>

namespace pagelume::ui {

namespace {

// Halving as the layout arithmetic wants it: toward zero, negatives included.
int half(int v) {
    return v / 2;
}

}  // namespace

TPNGButton::TPNGButton(TWinControl* parent)
    : TGraphicControl(parent),
      imageNormal_(std::make_unique<image::TPNGObject>()),
      imageDown_(std::make_unique<image::TPNGObject>()),
      imageOver_(std::make_unique<image::TPNGObject>()),
      imageDisabled_(std::make_unique<image::TPNGObject>()) {
    SetBounds(0, 0, 23, 23);
    CapturesMouse = true;
}

TPNGButton::~TPNGButton() = default;

void TPNGButton::SetButtonStyle(TPNGButtonStyle style) {
    style_ = style;
    Invalidate();
}

void TPNGButton::SetButtonLayout(TPNGButtonLayout layout) {
    layout_ = layout;
    Invalidate();
}

void TPNGButton::SetCaption(const QString& caption) {
    caption_ = caption;
    Invalidate();
}

void TPNGButton::SetImageNormal(const image::TPNGObject& png) {
    imageNormal_->Assign(&png);
    if (imageNormal_->Empty())
        imageDisabled_->Clear();
    else
        image::MakeFadedCopy(*imageNormal_, *imageDisabled_);
    Invalidate();
}

void TPNGButton::LoadImageNormal(const void* data, std::size_t size) {
    imageNormal_->LoadFromMemory(data, size);
    Invalidate();
}

void TPNGButton::SetImageDown(const image::TPNGObject& png) {
    imageDown_->Assign(&png);
    Invalidate();
}

void TPNGButton::SetImageOver(const image::TPNGObject& png) {
    imageOver_->Assign(&png);
    Invalidate();
}

void TPNGButton::setState(TPNGButtonState state) {
    state_ = state;
    Invalidate();
}

void TPNGButton::Paint(TCanvas& canvas) {
    canvas.Font = Font;
    const bool paintAsDown = state_ == TPNGButtonState::pbsDown && mouseOver_;

    const image::TPNGObject* picture = imageNormal_.get();
    if (paintAsDown && !imageDown_->Empty())
        picture = imageDown_.get();
    else if (mouseOver_ && !imageOver_->Empty() && Enabled())
        picture = imageOver_.get();
    else if (state_ == TPNGButtonState::pbsDisabled && !imageDisabled_->Empty())
        picture = imageDisabled_.get();

    int imageW = picture->Empty() ? 0 : picture->Width();
    int imageH = picture->Empty() ? 0 : picture->Height();
    QRect area = ClientRect();
    int textW = 0, textH = 0;
    if (!caption_.isEmpty()) {
        const QFontMetrics fm(Font);
        textW = fm.horizontalAdvance(caption_);
        textH = fm.height();
        imageH += 4;
    }

    const int offset = paintAsDown ? 2 : 0;
    const int W = Width(), H = Height();
    int imageX = half(W - imageW) + offset;
    int textX = half(W - textW) + offset;
    int textY = half(H - textH);
    int imageY = half(H - imageH);
    switch (layout_) {
        case TPNGButtonLayout::pbsImageAbove:
            imageY = half(H - imageH - textH);
            textY = imageY + imageH;
            break;
        case TPNGButtonLayout::pbsImageBellow:
            textY = half(H - imageH - textH);
            imageY = textY + textH;
            break;
        case TPNGButtonLayout::pbsImageLeft:
            imageX = half(W - imageW - textW);
            textX = imageX + imageW + 5;
            break;
        case TPNGButtonLayout::pbsImageRight:
            textX = half(W - imageW - textW);
            imageX = textX + textW + 5;
            break;
    }
    imageY += offset;
    textY += offset;

    const QPalette pal;
    const QColor shadow = pal.color(QPalette::Dark), highlight = pal.color(QPalette::Light);
    // One-pixel edges as filled rectangles, so that they stay one logical
    // pixel wide at every device pixel ratio.
    auto frame = [&](const QColor& topLeft, const QColor& bottomRight) {
        QPainter& p = canvas.painter();
        const QRect r = area;
        p.fillRect(QRect(r.left(), r.top(), r.width(), 1), topLeft);
        p.fillRect(QRect(r.left(), r.top(), 1, r.height()), topLeft);
        p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
        p.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
        area.adjust(1, 1, -1, -1);
    };
    switch (style_) {
        case TPNGButtonStyle::pbsFlat:
            if (state_ == TPNGButtonState::pbsDisabled)
                break;
            if (paintAsDown)
                frame(shadow, highlight);
            else if (mouseOver_ || state_ == TPNGButtonState::pbsDown)
                frame(highlight, shadow);
            break;
        case TPNGButtonStyle::pbsDefault: {
            QPainter& p = canvas.painter();
            p.fillRect(area, pal.color(QPalette::Button));
            if (paintAsDown)
                frame(shadow, highlight);
            else
                frame(highlight, shadow);
            break;
        }
        case TPNGButtonStyle::pbsNoFrame:
            break;
    }

    if (!picture->Empty())
        canvas.drawPNG(*picture, QPoint(imageX, imageY));

    if (!caption_.isEmpty()) {
        QPainter& p = canvas.painter();
        p.setFont(Font);
        p.setPen(state_ == TPNGButtonState::pbsDisabled
                     ? pal.color(QPalette::Disabled, QPalette::WindowText)
                     : FontColor);
        p.setClipRect(area);
        p.drawText(QRect(textX, textY, textW, textH),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption_);
        p.setClipping(false);
    }

    if (Focused())
        drawFocusFrame(canvas.painter(), ClientRect().adjusted(2, 2, -2, -2));
}

void TPNGButton::CancelMode() {
    TGraphicControl::CancelMode();
    if (state_ == TPNGButtonState::pbsDown)
        setState(TPNGButtonState::pbsNormal);
}

void TPNGButton::MouseDown(Qt::MouseButton button, QPoint pos) {
    if (state_ == TPNGButtonState::pbsNormal && button == Qt::LeftButton)
        setState(TPNGButtonState::pbsDown);
    TGraphicControl::MouseDown(button, pos);
}

void TPNGButton::Click() {
    if (state_ == TPNGButtonState::pbsDown)
        setState(TPNGButtonState::pbsNormal);
    TGraphicControl::Click();
}

void TPNGButton::MouseUp(Qt::MouseButton button, QPoint pos) {
    if (state_ == TPNGButtonState::pbsDown)
        setState(TPNGButtonState::pbsNormal);
    TGraphicControl::MouseUp(button, pos);
}

void TPNGButton::MouseMoved(const TWMMouse& msg) {
    const QPoint p = msg.pos;
    if (p.x() >= 0 && p.x() < Width() && p.y() >= 0 && p.y() <= Height() && !mouseOver_ &&
        state_ != TPNGButtonState::pbsDown) {
        mouseOver_ = true;
        Invalidate();
    }
    TGraphicControl::MouseMoved(msg);
}

void TPNGButton::MouseEntered() {
    if (!Enabled())
        return;
    if (OnMouseEnter)
        OnMouseEnter(this);
    mouseOver_ = true;
    Invalidate();
}

void TPNGButton::MouseLeft() {
    if (!Enabled())
        return;
    if (OnMouseExit)
        OnMouseExit(this);
    mouseOver_ = false;
    Invalidate();
}

void TPNGButton::EnabledChanged() {
    if (!Enabled()) {
        if (imageNormal_->Empty())
            imageDisabled_->Clear();
        else
            image::MakeFadedCopy(*imageNormal_, *imageDisabled_);
    }
    setState(Enabled() ? TPNGButtonState::pbsNormal : TPNGButtonState::pbsDisabled);
}

}  // namespace pagelume::ui
