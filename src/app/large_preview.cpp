#include "app/large_preview.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QThreadPool>

#include "image/page_preview.h"
#include "pages/page_reader.h"

namespace pagelume::app {

namespace {

constexpr std::size_t kReadLimit = std::size_t{256} << 20;

}  // namespace

TLargePreview::TLargePreview(const ui::PageItemModel* model, QWidget* parent)
    : QWidget(parent, Qt::Window), model_(model) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle("Pagelume");
    setAccessibleName("Page preview");
}

TLargePreview::~TLargePreview() {
    ++generation_;
    // Decodes still running hold a pointer to nothing of ours but the
    // generation check, which goes through the event queue to a dead
    // receiver and is dropped there.
}

void TLargePreview::showPage(int row) {
    if (row < 0 || row >= model_->rowCount())
        return;
    row_ = row;
    QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(screen->geometry());
    if (!isVisible())
        showFullScreen();
    raise();
    activateWindow();
    load();
}

void TLargePreview::load() {
    if (row_ < 0 || row_ >= model_->rowCount())
        return;
    const pages::Page page = model_->pages().at(row_);
    setWindowTitle(QString("Page %1 of %2 - %3")
                       .arg(row_ + 1)
                       .arg(model_->rowCount())
                       .arg(ui::PageItemModel::shownName(page)));
    const qreal dpr = devicePixelRatioF();
    const int w = static_cast<int>(width() * dpr), h = static_cast<int>(height() * dpr);
    const unsigned generation = ++generation_;
    loading_ = true;
    error_.clear();
    update();
    QPointer<TLargePreview> self(this);
    QThreadPool::globalInstance()->start([self, page, w, h, generation, dpr] {
        QImage made;
        QString error;
        std::string reason;
        const auto bytes = pages::readPageBytes(page, kReadLimit, &reason);
        if (!bytes) {
            error = QString::fromStdString(reason);
        } else {
            try {
                const image::DrawSurface s = image::decodePage(*bytes, std::max(w, 1), std::max(h, 1));
                made = QImage(reinterpret_cast<const uchar*>(s.pixels().data()), s.width(),
                              s.height(), s.width() * 4, QImage::Format_RGB32)
                           .copy();
                made.setDevicePixelRatio(dpr);
            } catch (const std::exception& e) {
                error = QString::fromStdString(e.what());
            }
        }
        QMetaObject::invokeMethod(
            qApp,
            [self, made = std::move(made), error, generation] {
                if (!self || generation != self->generation_)
                    return;  // closed, or another page was asked for since
                self->picture_ = made;
                self->error_ = error;
                self->loading_ = false;
                self->update();
            },
            Qt::QueuedConnection);
    });
}

void TLargePreview::step(int by) {
    const int n = model_->rowCount();
    if (n == 0) {
        close();
        return;
    }
    const int next = std::clamp(row_ + by, 0, n - 1);
    if (next == row_)
        return;
    row_ = next;
    load();
    if (OnPageChanged)
        OnPageChanged(row_);
}

void TLargePreview::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            close();
            return;
        case Qt::Key_Left:
        case Qt::Key_PageUp:
        case Qt::Key_Up:
            step(-1);
            return;
        case Qt::Key_Right:
        case Qt::Key_PageDown:
        case Qt::Key_Down:
        case Qt::Key_Space:
            step(1);
            return;
        case Qt::Key_Home:
            step(-row_);
            return;
        case Qt::Key_End:
            step(model_->rowCount());
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void TLargePreview::mouseDoubleClickEvent(QMouseEvent*) {
    close();
}

void TLargePreview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(0x20, 0x20, 0x20));
    if (!picture_.isNull()) {
        const QSizeF shown = picture_.deviceIndependentSize();
        const QPointF at((width() - shown.width()) / 2, (height() - shown.height()) / 2);
        p.drawImage(at, picture_);
    }
    p.setPen(QColor(0xD0, 0xD0, 0xD0));
    QString line = QString("%1 / %2").arg(row_ + 1).arg(model_->rowCount());
    if (loading_)
        line += "   loading...";
    if (!error_.isEmpty())
        line += "   " + error_;
    p.drawText(rect().adjusted(12, 0, -12, -10), Qt::AlignBottom | Qt::AlignHCenter, line);
}

}  // namespace pagelume::app
