#include "app/window_move.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

namespace pagelume::app {

PointerWindowMove::PointerWindowMove(QWidget* window) : QObject(window), window_(window) {}

PointerWindowMove::~PointerWindowMove() {
    stop();
}

void PointerWindowMove::start(QPoint globalPress) {
    press_ = globalPress;
    origin_ = window_->pos();
    if (!active_)
        QCoreApplication::instance()->installEventFilter(this);
    active_ = true;
}

void PointerWindowMove::stop() {
    if (active_)
        QCoreApplication::instance()->removeEventFilter(this);
    active_ = false;
}

bool PointerWindowMove::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseMove: {
            auto* e = static_cast<QMouseEvent*>(event);
            if (!(e->buttons() & Qt::LeftButton)) {
                stop();  // the release went elsewhere
                return false;
            }
            window_->move(origin_ + (e->globalPosition().toPoint() - press_));
            return true;  // nothing under the pointer reacts while the window moves
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                stop();
            return false;
        default:
            return false;
    }
}

}  // namespace pagelume::app
