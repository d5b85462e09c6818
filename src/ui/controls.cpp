#include "ui/controls.h"

#include <QCursor>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "image/pngimage.h"

namespace pagelume::ui {

// ---- TCanvas ------------------------------------------------------------------

TCanvas::TCanvas(image::DrawSurface& surface, qreal devicePixelRatio)
    : surface_(surface),
      dpr_(devicePixelRatio > 0 ? devicePixelRatio : 1.0),
      view_(reinterpret_cast<uchar*>(surface.pixels().data()), surface.width(), surface.height(),
            static_cast<qsizetype>(surface.width()) * 4, QImage::Format_RGB32) {
    view_.setDevicePixelRatio(dpr_);
}

TCanvas::~TCanvas() {
    finish();
}

QPainter& TCanvas::painter() {
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&view_);
        painter_->setFont(Font);
    }
    return *painter_;
}

void TCanvas::drawPicture(const TPicture& picture, QRect dest) {
    if (dpr_ != 1.0) {
        if (!picture.empty())
            drawScaled(picture.toImage(), dest);
        return;
    }
    finish();  // the painter must not hold pixels we are about to change
    picture.draw(surface_, dest);
}

void TCanvas::drawPNG(const image::TPNGObject& png, QPoint topLeft) {
    if (png.Empty())
        return;
    if (dpr_ != 1.0) {
        const image::ARGBImage argb = png.ToARGB();
        const QImage view(reinterpret_cast<const uchar*>(argb.pixels.data()), argb.width,
                          argb.height, static_cast<qsizetype>(argb.width) * 4,
                          QImage::Format_ARGB32);
        drawScaled(view, QRect(topLeft, QSize(png.Width(), png.Height())));
        return;
    }
    finish();
    png.Draw(surface_, image::Rect{topLeft.x(), topLeft.y(), topLeft.x() + png.Width(),
                                   topLeft.y() + png.Height()});
}

void TCanvas::drawScaled(const QImage& image, QRect dest) {
    QPainter& p = painter();
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRectF(dest), image);
    p.restore();
}

void TCanvas::finish() {
    if (painter_) {
        painter_->end();
        painter_.reset();
    }
}

void drawFocusFrame(QPainter& painter, QRect r) {
    if (r.width() < 2 || r.height() < 2)
        return;
    painter.save();
    const QRect outline = r.adjusted(0, 0, -1, -1);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(outline);
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.drawRect(outline);
    painter.restore();
}

// ---- TFocusProxy --------------------------------------------------------------

TFocusProxy::TFocusProxy(TGraphicControl* control, QWidget* parent)
    : QAbstractButton(parent), control_(control) {
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(this, &QAbstractButton::clicked, this, [this] { control_->Activate(); });
}

void TFocusProxy::keyPressEvent(QKeyEvent* event) {
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && mods == 0 &&
        !event->isAutoRepeat()) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void TFocusProxy::focusInEvent(QFocusEvent* event) {
    QAbstractButton::focusInEvent(event);
    control_->Invalidate();
}

void TFocusProxy::focusOutEvent(QFocusEvent* event) {
    QAbstractButton::focusOutEvent(event);
    control_->Invalidate();
}

// ---- TGraphicControl ----------------------------------------------------------

TGraphicControl::TGraphicControl(TWinControl* parent) : parent_(parent) {
    if (parent_) {
        Font = parent_->font();
        parent_->add(this);
    }
}

TGraphicControl::~TGraphicControl() {
    delete proxy_;
    if (parent_)
        parent_->remove(this);
}

void TGraphicControl::SetBounds(int left, int top, int width, int height) {
    const QRect r(left, top, width, height);
    if (r == bounds_)
        return;
    Invalidate();
    bounds_ = r;
    if (proxy_)
        proxy_->setGeometry(bounds_);
    Invalidate();
}

void TGraphicControl::SetVisible(bool visible) {
    if (visible_ == visible)
        return;
    visible_ = visible;
    if (proxy_)
        proxy_->setVisible(visible_);
    if (parent_)
        parent_->update(bounds_);
}

void TGraphicControl::SetEnabled(bool enabled) {
    if (enabled_ == enabled)
        return;
    enabled_ = enabled;
    if (proxy_)
        proxy_->setEnabled(enabled_);
    EnabledChanged();
}

void TGraphicControl::SetFocusable(const QString& accessibleName) {
    if (!parent_)
        return;
    if (!proxy_) {
        proxy_ = new TFocusProxy(this, parent_);
        proxy_->setGeometry(bounds_);
        proxy_->setEnabled(enabled_);
        proxy_->setVisible(visible_);
    }
    proxy_->setAccessibleName(accessibleName);
    proxy_->setAccessibleDescription(Hint);
}

QWidget* TGraphicControl::FocusProxy() const {
    return proxy_;
}

bool TGraphicControl::Focused() const {
    return proxy_ && proxy_->hasFocus();
}

void TGraphicControl::BringToFront() {
    if (parent_)
        parent_->bringToFront(this);
    Invalidate();
}

void TGraphicControl::Invalidate() {
    if (parent_ && visible_)
        parent_->update(bounds_);
}

void TGraphicControl::Paint(TCanvas&) {}

void TGraphicControl::LeftButtonDown(const TWMMouse& msg) {
    if (CapturesMouse && parent_)
        parent_->captured_ = this;
    clicked_ = true;
    MouseDown(Qt::LeftButton, msg.pos);
}

void TGraphicControl::RightButtonDown(const TWMMouse& msg) {
    MouseDown(Qt::RightButton, msg.pos);
}

void TGraphicControl::LeftButtonUp(const TWMMouse& msg) {
    if (parent_ && parent_->captured_ == this)
        parent_->captured_ = nullptr;
    if (clicked_) {
        clicked_ = false;
        if (ClientRect().contains(msg.pos))
            Click();
    }
    MouseUp(Qt::LeftButton, msg.pos);
}

void TGraphicControl::RightButtonUp(const TWMMouse& msg) {
    MouseUp(Qt::RightButton, msg.pos);
}

void TGraphicControl::MouseMoved(const TWMMouse& msg) {
    MouseMove(msg.pos);
}

void TGraphicControl::MouseDown(Qt::MouseButton button, QPoint pos) {
    if (OnMouseDown)
        OnMouseDown(button, pos);
}

void TGraphicControl::MouseUp(Qt::MouseButton button, QPoint pos) {
    if (OnMouseUp)
        OnMouseUp(button, pos);
}

void TGraphicControl::Click() {
    if (OnClick)
        OnClick();
}

// ---- TWinControl --------------------------------------------------------------

TWinControl::TWinControl(QWidget* parent) : QWidget(parent) {
    Color = palette().color(QPalette::Button);
    setMouseTracking(true);
    // We paint every pixel ourselves from the back buffer.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TWinControl::~TWinControl() {
    destroying_ = true;
    // Children are deleted from the top down; each deregisters itself.
    while (!controls_.empty())
        delete controls_.back();
}

void TWinControl::remove(TGraphicControl* c) {
    controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
    if (captured_ == c)
        captured_ = nullptr;
    if (hovered_ == c)
        hovered_ = nullptr;
    if (!destroying_)
        update(c->BoundsRect());
}

void TWinControl::bringToFront(TGraphicControl* c) {
    auto it = std::find(controls_.begin(), controls_.end(), c);
    if (it == controls_.end())
        return;
    controls_.erase(it);
    controls_.push_back(c);
}

void TWinControl::SetAlign(QWidget* child, TAlign align) {
    for (auto& d : docked_) {
        if (d.first == child) {
            d.second = align;
            return;
        }
    }
    docked_.emplace_back(child, align);
}

void TWinControl::AlignControls() {
    struct Item {
        TAlign align;
        QRect rect;
        std::function<void(QRect)> apply;
    };
    std::vector<Item> items;
    for (TGraphicControl* c : controls_)
        if (c->Align != TAlign::alNone && c->Visible())
            items.push_back({c->Align, c->BoundsRect(), [c](QRect r) { c->SetBoundsRect(r); }});
    for (auto& [w, a] : docked_)
        if (a != TAlign::alNone && !w->isHidden())
            items.push_back({a, w->geometry(), [w = w](QRect r) { w->setGeometry(r); }});

    QRect space = rect().adjusted(BevelWidth, BevelWidth, -BevelWidth, -BevelWidth);
    auto take = [&](TAlign align, auto before) {
        std::vector<Item*> group;
        for (auto& it : items)
            if (it.align == align)
                group.push_back(&it);
        std::stable_sort(group.begin(), group.end(),
                         [&](Item* a, Item* b) { return before(a->rect, b->rect); });
        for (Item* it : group) {
            QRect r = it->rect;
            switch (align) {
                case TAlign::alTop:
                    r = QRect(space.left(), space.top(), space.width(), r.height());
                    space.setTop(space.top() + r.height());
                    break;
                case TAlign::alBottom:
                    r = QRect(space.left(), space.bottom() + 1 - r.height(), space.width(),
                              r.height());
                    space.setBottom(space.bottom() - r.height());
                    break;
                case TAlign::alLeft:
                    r = QRect(space.left(), space.top(), r.width(), space.height());
                    space.setLeft(space.left() + r.width());
                    break;
                case TAlign::alRight:
                    r = QRect(space.right() + 1 - r.width(), space.top(), r.width(),
                              space.height());
                    space.setRight(space.right() - r.width());
                    break;
                default:
                    r = space;
                    break;
            }
            it->apply(r);
        }
    };
    // Within one kind of docking, controls keep the order of their positions.
    take(TAlign::alTop, [](QRect a, QRect b) { return a.top() < b.top(); });
    take(TAlign::alBottom, [](QRect a, QRect b) { return a.bottom() > b.bottom(); });
    take(TAlign::alLeft, [](QRect a, QRect b) { return a.left() < b.left(); });
    take(TAlign::alRight, [](QRect a, QRect b) { return a.right() > b.right(); });
    take(TAlign::alClient, [](QRect, QRect) { return false; });
    for (auto& [w, distance] : bottomAnchored_)
        w->move(w->x(), height() - distance);
}

void TWinControl::AnchorBottom(QWidget* child) {
    bottomAnchored_.emplace_back(child, height() - child->y());
}

TGraphicControl* TWinControl::ControlAtPos(QPoint pos) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if ((*it)->Visible() && (*it)->BoundsRect().contains(pos))
            return *it;
    return nullptr;
}

image::DrawSurface TWinControl::RenderBackBuffer(qreal devicePixelRatio) const {
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    // Logical to device pixels; every edge rounds on its own, so neighbours
    // stay edge to edge at any ratio.
    auto device = [dpr](int v) { return static_cast<int>(std::lround(v * dpr)); };
    auto deviceRect = [&](QRect r) {
        return QRect(QPoint(device(r.left()), device(r.top())),
                     QPoint(device(r.left() + r.width()) - 1, device(r.top() + r.height()) - 1));
    };
    const uint32_t bg = Color.rgb() | 0xFF000000u;
    image::DrawSurface buffer(device(width()), device(height()), bg);
    if (buffer.empty())
        return buffer;
    if (BevelWidth > 0) {
        TCanvas canvas(buffer, dpr);
        QPainter& p = canvas.painter();
        const QColor light = palette().color(QPalette::Light);
        const QColor dark = palette().color(QPalette::Dark);
        p.fillRect(QRect(0, 0, width(), 1), light);
        p.fillRect(QRect(0, 0, 1, height()), light);
        p.fillRect(QRect(0, height() - 1, width(), 1), dark);
        p.fillRect(QRect(width() - 1, 0, 1, height()), dark);
    }
    const QRect all(0, 0, buffer.width(), buffer.height());
    for (TGraphicControl* c : controls_) {
        if (!c->Visible())
            continue;
        const QRect r = deviceRect(c->BoundsRect());
        const QRect clip = r.intersected(all);
        if (clip.isEmpty())
            continue;
        // The control paints on a copy of what lies beneath it, in its own
        // coordinates; the visible part is copied back.
        image::DrawSurface own = copyRect(buffer, r.x(), r.y(), r.width(), r.height());
        {
            TCanvas canvas(own, dpr);
            canvas.Font = c->Font;
            c->Paint(canvas);
        }
        for (int y = clip.top(); y <= clip.bottom(); ++y)
            std::copy_n(own.scanLine(y - r.y()) + (clip.left() - r.x()), clip.width(),
                        buffer.scanLine(y) + clip.left());
    }
    return buffer;
}

void TWinControl::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    image::DrawSurface buffer = RenderBackBuffer(dpr);
    if (buffer.empty())
        return;
    QImage view(reinterpret_cast<uchar*>(buffer.pixels().data()), buffer.width(), buffer.height(),
                static_cast<qsizetype>(buffer.width()) * 4, QImage::Format_RGB32);
    view.setDevicePixelRatio(dpr);
    QPainter(this).drawImage(QPointF(0, 0), view);
}

bool TWinControl::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const TGraphicControl* c = ControlAtPos(help->pos());
        if (c && !c->Hint.isEmpty())
            QToolTip::showText(help->globalPos(), c->Hint, this, c->BoundsRect());
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

TWMMouse TWinControl::message(QMouseEvent* event, TGraphicControl* target) const {
    return {event->modifiers(), event->buttons(),
            event->position().toPoint() - target->BoundsRect().topLeft()};
}

void TWinControl::updateHover(QPoint pos) {
    TGraphicControl* over = ControlAtPos(pos);
    // While a control holds the mouse, no other one reacts to the pointer.
    if (captured_)
        over = captured_->Visible() && captured_->BoundsRect().contains(pos) ? captured_ : nullptr;
    if (over == hovered_)
        return;
    TGraphicControl* old = hovered_;
    hovered_ = over;
    if (old)
        old->MouseLeft();
    if (over && over == hovered_)
        over->MouseEntered();
    setCursor(hovered_ ? hovered_->Cursor : Qt::ArrowCursor);
}

void TWinControl::dropStaleCapture(Qt::MouseButtons held) {
    // A capture lasts only while the left button is held. When its release
    // went elsewhere (a system move, a popup), the mouse must not stay bound
    // to one control.
    if (captured_ && !(held & Qt::LeftButton)) {
        TGraphicControl* c = captured_;
        captured_ = nullptr;
        c->CancelMode();
    }
}

void TWinControl::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    dropStaleCapture(event->buttons() & ~event->button());
    updateHover(pos);
    TGraphicControl* target = captured_ ? captured_ : ControlAtPos(pos);
    if (!target || !target->Enabled())
        return QWidget::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        target->LeftButtonDown(message(event, target));
    else if (event->button() == Qt::RightButton)
        target->RightButtonDown(message(event, target));
}

void TWinControl::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void TWinControl::mouseMoveEvent(QMouseEvent* event) {
    // The move reaches its control first; enter and leave follow, once the
    // pointer's new place is known.
    const QPoint pos = event->position().toPoint();
    dropStaleCapture(event->buttons());
    TGraphicControl* target = captured_ ? captured_ : ControlAtPos(pos);
    if (target && target->Enabled())
        target->MouseMoved(message(event, target));
    updateHover(pos);
}

void TWinControl::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QPoint pointerBefore = QCursor::pos();
    TGraphicControl* target = captured_ ? captured_ : ControlAtPos(pos);
    if (target && target->Enabled()) {
        if (event->button() == Qt::LeftButton)
            target->LeftButtonUp(message(event, target));
        else if (event->button() == Qt::RightButton)
            target->RightButtonUp(message(event, target));
    }
    if (event->buttons() == Qt::NoButton)
        captured_ = nullptr;
    // A click may have run a dialog, and the pointer is now wherever the
    // user left it: the hover follows that place, not the old release point.
    const QPoint pointerNow = QCursor::pos();
    updateHover(pointerNow != pointerBefore ? mapFromGlobal(pointerNow) : pos);
}

void TWinControl::leaveEvent(QEvent* event) {
    if (hovered_ && !captured_) {
        TGraphicControl* old = hovered_;
        hovered_ = nullptr;
        old->MouseLeft();
    }
    QWidget::leaveEvent(event);
}

void TWinControl::resizeEvent(QResizeEvent* event) {
    AlignControls();
    QWidget::resizeEvent(event);
}

// ---- TImage, TLabel -----------------------------------------------------------

void TImage::SetPicture(const TPicture& picture) {
    picture_ = picture;
    Invalidate();
}

void TImage::Paint(TCanvas& canvas) {
    if (picture_.empty())
        return;
    canvas.drawPicture(picture_,
                       Stretch ? ClientRect() : QRect(0, 0, picture_.width(), picture_.height()));
}

void TLabel::Paint(TCanvas& canvas) {
    QPainter& p = canvas.painter();
    p.setFont(Font);
    p.setPen(TextColor);
    p.drawText(ClientRect(), Qt::AlignLeft | Qt::AlignTop, Caption);
}

void TLabel::Click() {
    if (Buddy)
        Buddy->setFocus(Qt::MouseFocusReason);
    TGraphicControl::Click();
}

}  // namespace pagelume::ui
