#include "app/window_frame.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>
#include <algorithm>

namespace pagelume::app {

namespace {

// Title-bar buttons stand at fixed distances from the right edge.
constexpr int kMinFromRight = 70;
constexpr int kCloseFromRight = 70 - 24;
constexpr int kMaxFromRight = 96;

Qt::CursorShape shapeFor(Qt::Edges e) {
    const bool h = e & (Qt::LeftEdge | Qt::RightEdge), v = e & (Qt::TopEdge | Qt::BottomEdge);
    if (h && v)
        return ((e & Qt::LeftEdge) != 0) == ((e & Qt::TopEdge) != 0) ? Qt::SizeFDiagCursor
                                                                     : Qt::SizeBDiagCursor;
    return h ? Qt::SizeHorCursor : Qt::SizeVerCursor;
}

}  // namespace

WindowFrame::WindowFrame(ui::TWinControl* form, ui::TMainControls& controls)
    : QObject(form), form_(form), c_(controls) {
    max_ = new ui::TImgBtn(c_.PanelTop);
    max_->SetBounds(form_->width() - kMaxFromRight, 8, 28, 31);
    max_->Hint = "Maximize";
    max_->SetFocusable("Maximize");
    max_->OnClick = [this] { toggleMaximized(); };
    cutMaximizePictures();
    // The minimise and close buttons stay on top, as before.
    max_->BringToFront();
    c_.ImgBtnMin->BringToFront();
    c_.ImgBtnClose->BringToFront();
    normal_ = form_->geometry();
    form_->installEventFilter(this);
    c_.PanelTop->installEventFilter(this);
    QCoreApplication::instance()->installEventFilter(this);
}

WindowFrame::~WindowFrame() {
    QCoreApplication::instance()->removeEventFilter(this);
}

void WindowFrame::toggleMaximized() {
    if (form_->isMaximized()) {
        const QRect back = normal_;
        form_->showNormal();
        if (back.isValid() && form_->geometry() != back)
            form_->setGeometry(back);
    } else {
        form_->showMaximized();
    }
}

Qt::Edges WindowFrame::edgesAt(QSize size, QPoint pos, int border) {
    Qt::Edges e;
    if (pos.x() < 0 || pos.y() < 0 || pos.x() >= size.width() || pos.y() >= size.height())
        return e;
    if (pos.x() < border)
        e |= Qt::LeftEdge;
    else if (pos.x() >= size.width() - border)
        e |= Qt::RightEdge;
    if (pos.y() < border)
        e |= Qt::TopEdge;
    else if (pos.y() >= size.height() - border)
        e |= Qt::BottomEdge;
    return e;
}

QRect WindowFrame::resized(QRect start, Qt::Edges edges, QPoint delta, QSize minimum) {
    QRect r = start;
    if (edges & Qt::LeftEdge)
        r.setLeft(std::min(start.left() + delta.x(), start.right() + 1 - minimum.width()));
    if (edges & Qt::RightEdge)
        r.setRight(std::max(start.right() + delta.x(), start.left() + minimum.width() - 1));
    if (edges & Qt::TopEdge)
        r.setTop(std::min(start.top() + delta.y(), start.bottom() + 1 - minimum.height()));
    if (edges & Qt::BottomEdge)
        r.setBottom(std::max(start.bottom() + delta.y(), start.top() + minimum.height() - 1));
    return r;
}

void WindowFrame::cutMaximizePictures() {
    maximizedPictures_ = form_->isMaximized();
    // The sprite's maximise cell (28 columns at 40) or restore cell (29 at 92).
    if (maximizedPictures_)
        ui::CutButtonImages(max_, c_.ImageM, 29, 20, 92, 0);
    else
        ui::CutButtonImages(max_, c_.ImageM, 28, 20, 40, 0);
    max_->Hint = maximizedPictures_ ? "Restore" : "Maximize";
}

void WindowFrame::layoutChrome() {
    const int w = form_->width();
    const bool whole = form_->isMaximized() || form_->isFullScreen();
    // A maximised window fills the screen to its corners.
    if (whole)
        form_->clearMask();
    else
        form_->setMask(ui::RoundedFormRegion(w, form_->height()));
    c_.ImgBtnMin->SetBounds(w - kMinFromRight, 8, c_.ImgBtnMin->Width(), c_.ImgBtnMin->Height());
    c_.ImgBtnClose->SetBounds(w - kCloseFromRight, 8, c_.ImgBtnClose->Width(),
                              c_.ImgBtnClose->Height());
    max_->SetBounds(w - kMaxFromRight, 8, max_->Width(), max_->Height());
    if (maximizedPictures_ != form_->isMaximized())
        cutMaximizePictures();
}

void WindowFrame::showEdgeCursor(QWidget* under, Qt::Edges edges) {
    if (cursorWidget_ && (cursorWidget_ != under || !edges)) {
        if (cursorWasSet_)
            cursorWidget_->setCursor(savedCursor_);
        else
            cursorWidget_->unsetCursor();
        cursorWidget_ = nullptr;
    }
    if (!edges || !under)
        return;
    if (cursorWidget_ != under) {
        cursorWidget_ = under;
        cursorWasSet_ = under->testAttribute(Qt::WA_SetCursor);
        savedCursor_ = under->cursor();
    }
    under->setCursor(shapeFor(edges));
}

bool WindowFrame::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Resize:
        case QEvent::Move:
        case QEvent::WindowStateChange:
            if (watched == form_) {
                const bool whole = form_->isMaximized() || form_->isFullScreen() || form_->isMinimized();
                if (!whole && event->type() != QEvent::WindowStateChange)
                    normal_ = form_->geometry();
                if (event->type() != QEvent::Move)
                    layoutChrome();
            }
            return false;
        case QEvent::MouseButtonDblClick:
            if (watched == c_.PanelTop) {
                const auto* e = static_cast<QMouseEvent*>(event);
                ui::TGraphicControl* at = c_.PanelTop->ControlAtPos(e->position().toPoint());
                if (e->button() == Qt::LeftButton &&
                    (at == c_.Image2 || at == c_.Image4 || at == c_.Image6)) {
                    toggleMaximized();
                    return true;
                }
            }
            return pointerEvent(watched, event);
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
            return pointerEvent(watched, event);
        default:
            return false;
    }
}

bool WindowFrame::pointerEvent(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != form_)
        return false;
    auto* e = static_cast<QMouseEvent*>(event);
    const QPoint global = e->globalPosition().toPoint();
    if (resizing_) {
        if (event->type() == QEvent::MouseMove && (e->buttons() & Qt::LeftButton)) {
            form_->setGeometry(resized(startGeometry_, resizing_, global - pressGlobal_,
                                       form_->minimumSize()));
            return true;
        }
        resizing_ = {};
        return event->type() != QEvent::MouseButtonPress;
    }
    const bool whole = form_->isMaximized() || form_->isFullScreen();
    const Qt::Edges edges =
        whole ? Qt::Edges() : edgesAt(form_->size(), form_->mapFromGlobal(global));
    if (event->type() == QEvent::MouseMove && e->buttons() == Qt::NoButton) {
        showEdgeCursor(widget, edges);
        return false;
    }
    if (event->type() == QEvent::MouseButtonPress && e->button() == Qt::LeftButton && edges) {
        showEdgeCursor(widget, {});
        QWindow* handle = form_->windowHandle();
        if (handle && handle->startSystemResize(edges))
            return true;
        resizing_ = edges;  // the system cannot: follow the pointer ourselves
        pressGlobal_ = global;
        startGeometry_ = form_->geometry();
        return true;
    }
    return false;
}

}  // namespace pagelume::app
