#pragma once

#include <QAbstractButton>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "image/drawsurface.h"
#include "ui/picture.h"

namespace pagelume::ui {

class TWinControl;
class TGraphicControl;

// Docking of a control inside its parent's client area.
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// The surface a windowless control paints on: its own rectangle of the
// parent's back buffer, so whatever lies beneath is already there and
// nothing can be drawn outside the control. Drawing is in logical pixels;
// the surface has devicePixelRatio() device pixels for each of them, so text
// and lines come out at the screen's own resolution.
class TCanvas {
public:
    explicit TCanvas(image::DrawSurface& surface, qreal devicePixelRatio = 1.0);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    image::DrawSurface& surface() { return surface_; }
    qreal devicePixelRatio() const { return dpr_; }

    // Text, lines and frames go through a painter over the same pixels.
    QPainter& painter();
    // At one device pixel per logical pixel pictures are drawn pixel for
    // pixel; at any other ratio they are scaled smoothly.
    void drawPicture(const TPicture& picture, QRect dest);
    // A PNG at its own size in logical pixels, blended with its alpha.
    void drawPNG(const image::TPNGObject& png, QPoint topLeft);
    // Ends painting; the pixels are final afterwards.
    void finish();

    QFont Font;

private:
    void drawScaled(const QImage& image, QRect dest);

    image::DrawSurface& surface_;
    qreal dpr_;
    QImage view_;
    std::unique_ptr<QPainter> painter_;
};

// A focus frame that shows on any background: black dots on white.
void drawFocusFrame(QPainter& painter, QRect r);

// The keyboard's way to a windowless control: an invisible button widget over
// it that takes the focus in the tab chain, carries the control's accessible
// name and clicks it on Space or Return. The mouse passes through to the parent.
class TFocusProxy : public QAbstractButton {
public:
    TFocusProxy(TGraphicControl* control, QWidget* parent);
    TGraphicControl* control() const { return control_; }

protected:
    void paintEvent(QPaintEvent*) override {}
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    TGraphicControl* control_;
};

// The mouse message as the image button's events receive it.
struct TWMMouse {
    Qt::KeyboardModifiers keys;
    Qt::MouseButtons buttons;
    QPoint pos;
};

// A control without a window of its own: its parent paints it, in stacking
// order, and hands it the mouse input over its rectangle.
class TGraphicControl {
public:
    explicit TGraphicControl(TWinControl* parent);
    virtual ~TGraphicControl();
    TGraphicControl(const TGraphicControl&) = delete;
    TGraphicControl& operator=(const TGraphicControl&) = delete;

    TWinControl* Parent() const { return parent_; }
    QRect BoundsRect() const { return bounds_; }
    void SetBounds(int left, int top, int width, int height);
    void SetBoundsRect(QRect r) { SetBounds(r.x(), r.y(), r.width(), r.height()); }
    int Left() const { return bounds_.x(); }
    int Top() const { return bounds_.y(); }
    int Width() const { return bounds_.width(); }
    int Height() const { return bounds_.height(); }
    QRect ClientRect() const { return QRect(0, 0, bounds_.width(), bounds_.height()); }

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    TAlign Align = TAlign::alNone;
    Qt::CursorShape Cursor = Qt::ArrowCursor;
    QFont Font;

    void BringToFront();
    void Invalidate();

    // Shown as the tooltip over the control.
    QString Hint;
    // Puts the control into the tab chain under an accessible name (see
    // TFocusProxy). Tooltip and accessible description are the Hint.
    void SetFocusable(const QString& accessibleName);
    QWidget* FocusProxy() const;
    bool Focused() const;
    // What a click does, for the keyboard.
    void Activate() { Click(); }

    std::function<void()> OnClick;
    std::function<void(Qt::MouseButton, QPoint)> OnMouseDown;
    std::function<void(Qt::MouseButton, QPoint)> OnMouseUp;

    // Painting, called by the parent with the control's own canvas.
    virtual void Paint(TCanvas& canvas);

    // Mouse input as the parent delivers it, in control coordinates.
    virtual void LeftButtonDown(const TWMMouse& msg);
    virtual void RightButtonDown(const TWMMouse& msg);
    virtual void LeftButtonUp(const TWMMouse& msg);
    virtual void RightButtonUp(const TWMMouse& msg);
    virtual void MouseMoved(const TWMMouse& msg);
    virtual void MouseEntered() {}
    virtual void MouseLeft() {}
    // The held button was let go where this control could not see it (the
    // release went elsewhere): forget the press without a click.
    virtual void CancelMode() { clicked_ = false; }

protected:
    virtual void MouseDown(Qt::MouseButton button, QPoint pos);
    virtual void MouseUp(Qt::MouseButton button, QPoint pos);
    virtual void MouseMove(QPoint) {}
    virtual void Click();
    virtual void EnabledChanged() { Invalidate(); }

    // Whether a held left button captures the mouse for this control.
    bool CapturesMouse = true;

private:
    TWinControl* parent_;
    TFocusProxy* proxy_ = nullptr;
    QRect bounds_;
    bool visible_ = true;
    bool enabled_ = true;
    bool clicked_ = false;
};

// A windowed control that paints its windowless children onto a back buffer
// and routes the mouse to them, and docks its children (windowless or not).
class TWinControl : public QWidget {
public:
    explicit TWinControl(QWidget* parent = nullptr);
    ~TWinControl() override;

    QColor Color;
    // 0 for none; 1 for a raised one-pixel bevel that also insets the client area.
    int BevelWidth = 0;

    // Docking of a windowed child; applied by AlignControls.
    void SetAlign(QWidget* child, TAlign align);
    // Keeps a child widget at its present distance from the bottom edge when
    // the control grows (a field below a heading that is docked at the bottom).
    void AnchorBottom(QWidget* child);
    // Lays out every docked child, windowless or not, in the order top,
    // bottom, left, right, client.
    void AlignControls();

    const std::vector<TGraphicControl*>& Controls() const { return controls_; }
    // The topmost visible control at a point of this widget, or nullptr.
    TGraphicControl* ControlAtPos(QPoint pos) const;
    TGraphicControl* CapturedControl() const { return captured_; }

    // Paints the back buffer: background, bevel, windowless controls, with
    // the given number of device pixels per logical pixel (the buffer is
    // that much larger; the layout does not change).
    image::DrawSurface RenderBackBuffer(qreal devicePixelRatio = 1.0) const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class TGraphicControl;
    void add(TGraphicControl* c) { controls_.push_back(c); }
    void remove(TGraphicControl* c);
    void bringToFront(TGraphicControl* c);
    void updateHover(QPoint pos);
    void dropStaleCapture(Qt::MouseButtons held);
    TWMMouse message(QMouseEvent* event, TGraphicControl* target) const;

    std::vector<TGraphicControl*> controls_;  // stacking order, bottom first; owned
    std::vector<std::pair<QWidget*, TAlign>> docked_;
    std::vector<std::pair<QWidget*, int>> bottomAnchored_;  // child, distance from the bottom
    TGraphicControl* captured_ = nullptr;
    TGraphicControl* hovered_ = nullptr;
    bool destroying_ = false;
};

// A panel: a windowed container with a background colour and an optional bevel.
class TPanel : public TWinControl {
public:
    explicit TPanel(QWidget* parent) : TWinControl(parent) {}
};

// A picture control: shows its picture at its top-left corner (clipped) or
// stretched to its whole rectangle.
class TImage : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    const TPicture& Picture() const { return picture_; }
    void SetPicture(const TPicture& picture);
    bool Stretch = false;
    void Paint(TCanvas& canvas) override;

private:
    TPicture picture_;
};

// Text on the parent's background.
class TLabel : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    QString Caption;
    QColor TextColor = Qt::black;
    // The field the label names: a click on the label puts the focus there.
    QWidget* Buddy = nullptr;
    void Paint(TCanvas& canvas) override;

protected:
    void Click() override;
};

}  // namespace pagelume::ui
