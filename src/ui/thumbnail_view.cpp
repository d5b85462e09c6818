#include "ui/thumbnail_view.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QUrl>
#include <algorithm>

namespace pagelume::ui {

namespace {

constexpr const char* kPictureMime = "application/x-pagelume-page-picture";
constexpr int kNumberHeight = 20;
constexpr int kRequestDelay = 30;  // ms: a scroll settles before the queue is redone


// Each page: its picture centred in the upper part of the cell, or a plain
// sheet with its number until the picture is ready; its number below.
class PageDelegate : public QStyledItemDelegate {
public:
    PageDelegate(const PageItemModel* model, const Thumbnailer* thumbnailer, QObject* parent)
        : QStyledItemDelegate(parent), model_(model), thumbnailer_(thumbnailer) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {TThumbnailView::kCellWidth - 4, TThumbnailView::kCellHeight - 4};
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        p->save();
        const QRect cell = option.rect;
        const QPalette& pal = option.palette;
        const bool selected = option.state & QStyle::State_Selected;
        if (selected)
            p->fillRect(cell, pal.color(QPalette::Highlight).lighter(160));
        const QString number = QString::number(index.row() + 1);
        const QRect box(cell.left() + (cell.width() - TThumbnailView::kPictureBox) / 2,
                        cell.top() + 6, TThumbnailView::kPictureBox, TThumbnailView::kPictureBox);
        const QImage* picture = nullptr;
        if (index.row() < model_->pages().size())
            picture = thumbnailer_->find(model_->pages().at(index.row()));
        if (picture && !picture->isNull()) {
            const QRect at(box.left() + (box.width() - picture->width()) / 2,
                           box.top() + (box.height() - picture->height()) / 2, picture->width(),
                           picture->height());
            p->drawImage(at.topLeft(), *picture);
            p->setPen(QColor(0, 0, 0, 60));
            p->drawRect(at.adjusted(0, 0, -1, -1));
        } else {
            // A sheet of a page's usual proportions, the number on it.
            const int w = box.height() * 7 / 10;
            const QRect sheet(box.left() + (box.width() - w) / 2, box.top(), w, box.height());
            p->fillRect(sheet, QColor(0xF2, 0xF2, 0xF2));
            p->setPen(QColor(0xC8, 0xC8, 0xC8));
            p->drawRect(sheet.adjusted(0, 0, -1, -1));
            QFont big = option.font;
            big.setPointSize(20);
            p->setFont(big);
            p->setPen(QColor(0xA0, 0xA0, 0xA0));
            p->drawText(sheet, Qt::AlignCenter, number);
        }
        const QRect label(cell.left(), box.bottom() + 4, cell.width(), kNumberHeight);
        // A chapter's first page also shows the chapter's title.
        QString caption = number;
        if (index.row() < model_->pages().size() && model_->pages().at(index.row()).startsChapter())
            caption += QStringLiteral("  ") +
                       QString::fromUtf8(model_->pages().at(index.row()).chapter);
        p->setFont(option.font);
        const QFontMetrics metrics(option.font);
        caption = metrics.elidedText(caption, Qt::ElideRight, cell.width() - 8);
        p->setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
        if (selected) {
            const int half = std::max(22, metrics.horizontalAdvance(caption) / 2 + 6);
            p->fillRect(label.adjusted(cell.width() / 2 - half, 0, half - cell.width() / 2, 0),
                        pal.color(QPalette::Highlight));
        }
        p->drawText(label, Qt::AlignHCenter | Qt::AlignVCenter, caption);
        if (option.state & QStyle::State_HasFocus) {
            p->setPen(QPen(pal.color(QPalette::Highlight), 1, Qt::DotLine));
            p->drawRect(cell.adjusted(0, 0, -1, -1));
        }
        p->restore();
    }

private:
    const PageItemModel* model_;
    const Thumbnailer* thumbnailer_;
};

}  // namespace

TThumbnailView::TThumbnailView(PageItemModel* model, QItemSelectionModel* selection,
                               Thumbnailer* thumbnailer, QWidget* parent)
    : QListView(parent), model_(model), thumbnailer_(thumbnailer) {
    setModel(model);
    QItemSelectionModel* own = selectionModel();
    setSelectionModel(selection);
    delete own;
    setItemDelegate(new PageDelegate(model, thumbnailer, this));
    setViewMode(QListView::IconMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setGridSize(QSize(kCellWidth, kCellHeight));
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(kCellHeight / 4);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(false);  // our own line shows instead

    requestTimer_.setSingleShot(true);
    requestTimer_.setInterval(kRequestDelay);
    connect(&requestTimer_, &QTimer::timeout, this, [this] { requestPictures(); });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, [this] { scheduleRequest(false); });
    connect(model, &QAbstractItemModel::rowsMoved, this, [this] { scheduleRequest(false); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { scheduleRequest(false); });
    connect(model, &QAbstractItemModel::layoutChanged, this, [this] { scheduleRequest(false); });
    thumbnailer_->OnReady = [this](const pages::Page& page) {
        // Repaint the cells of that page only (it may stand more than once).
        const auto [first, last] = visibleRows();
        for (int r = std::max(first, 0); r >= 0 && r <= last && r < model_->pages().size(); ++r)
            if (model_->pages().at(r) == page)
                update(model_->index(r, 0));
    };
}

int TThumbnailView::rowCount() const {
    return model_->rowCount();
}

int TThumbnailView::rowAt(QPoint pos) const {
    const QModelIndex i = indexAt(pos);
    return i.isValid() ? i.row() : -1;
}

QRect TThumbnailView::itemRect(int row) const {
    return visualRect(model_->index(row, 0));
}

std::pair<int, int> TThumbnailView::visibleRows() const {
    const int n = rowCount();
    if (n == 0)
        return {-1, -1};
    const int columns = std::max(1, viewport()->width() / kCellWidth);
    const int top = verticalScrollBar()->value();
    const int firstLine = top / kCellHeight;
    const int lastLine = (top + std::max(viewport()->height(), 1) - 1) / kCellHeight;
    const int first = std::min(firstLine * columns, n - 1);
    const int last = std::min((lastLine + 1) * columns - 1, n - 1);
    return {first, last};
}

void TThumbnailView::requestPictures() {
    const auto& pages = model_->pages();
    const auto [first, last] = visibleRows();
    std::vector<pages::Page> wanted;
    if (first < 0 || !isVisible()) {
        thumbnailer_->want(wanted, 0);
        return;
    }
    wanted.reserve(static_cast<std::size_t>(pages.size()));
    for (int r = first; r <= last; ++r)
        wanted.push_back(pages.at(r));
    const std::size_t urgent = wanted.size();
    // Then outwards: the pages below first, as a reader scrolls down.
    for (int below = last + 1, above = first - 1; below < pages.size() || above >= 0;) {
        for (int k = 0; k < 2 && below < pages.size(); ++k)
            wanted.push_back(pages.at(below++));
        if (above >= 0)
            wanted.push_back(pages.at(above--));
    }
    thumbnailer_->want(wanted, urgent);
}

void TThumbnailView::scheduleRequest(bool settle) {
    // Pages just added or the view just shown, with the workers idle: the
    // first screen starts at the next turn of the event loop, once the view
    // has laid itself out. A scroll settles before the queue is redone.
    const int delay = !settle && thumbnailer_->pending() == 0 ? 0 : kRequestDelay;
    if (!requestTimer_.isActive() || requestTimer_.remainingTime() > delay)
        requestTimer_.start(delay);
}

void TThumbnailView::scrollContentsBy(int dx, int dy) {
    QListView::scrollContentsBy(dx, dy);
    scheduleRequest(true);
}

void TThumbnailView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    scheduleRequest(true);
}

void TThumbnailView::showEvent(QShowEvent* event) {
    QListView::showEvent(event);
    scheduleRequest(false);
}

int TThumbnailView::fileDropRow(QPoint pos) const {
    const int hit = rowAt(pos);
    if (hit >= 0)
        return hit;
    const int n = rowCount();
    const int columns = std::max(1, viewport()->width() / kCellWidth);
    const int line = (pos.y() + verticalScrollBar()->value()) / kCellHeight;
    const int column = std::min(std::max(pos.x(), 0) / kCellWidth, columns);
    return std::clamp(line * columns + column, 0, n);
}

TThumbnailView::DragKind TThumbnailView::kindOf(const QObject* source, const QMimeData* mime) const {
    return pageDragKind(this, source, mime);
}

int TThumbnailView::insertionRowFor(DragKind kind, QPoint pos) const {
    if (kind == DragKind::Rows && !selectionModel()->selectedRows().isEmpty())
        return rowAt(pos);
    if (kind == DragKind::Files)
        return fileDropRow(pos);
    return -1;
}

int TThumbnailView::insertionRowFor(const QObject* source, const QMimeData* mime, QPoint pos) const {
    return insertionRowFor(kindOf(source, mime), pos);
}

void TThumbnailView::trackDrag(DragKind kind, QPoint pos) {
    setInsertionRow(insertionRowFor(kind, pos));
}

void TThumbnailView::setInsertionRow(int row) {
    if (row == insertionRow_)
        return;
    insertionRow_ = row;
    viewport()->update();
}

void TThumbnailView::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    if (insertionRow_ < 0 || rowCount() == 0)
        return;
    // A line on the left of the page a drop lands before (right of the last).
    QRect r;
    int x = 0;
    if (insertionRow_ < rowCount()) {
        r = itemRect(insertionRow_);
        x = r.left() - 2;
    } else {
        r = itemRect(rowCount() - 1);
        x = r.right() + 2;
    }
    QPainter p(viewport());
    const QColor colour = palette().color(QPalette::Highlight);
    p.fillRect(QRect(x - 1, r.top(), 3, r.height()), colour);
    p.fillRect(QRect(x - 4, r.top(), 9, 2), colour);
    p.fillRect(QRect(x - 4, r.bottom() - 1, 9, 2), colour);
}

void TThumbnailView::startDrag(Qt::DropActions) {
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setData(kPictureMime, QByteArray());
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction);
}

void TThumbnailView::dragEnterEvent(QDragEnterEvent* event) {
    const DragKind kind = kindOf(event->source(), event->mimeData());
    if (!acceptPageDrag(event, kind, true))
        return;
    trackDrag(kind, event->position().toPoint());
}

void TThumbnailView::dragMoveEvent(QDragMoveEvent* event) {
    const DragKind kind = kindOf(event->source(), event->mimeData());
    acceptPageDrag(event, kind, false);
    trackDrag(kind, event->position().toPoint());
    if (OnDragOver)
        OnDragOver(event->source(), event->position().toPoint());
}

void TThumbnailView::dragLeaveEvent(QDragLeaveEvent* event) {
    setInsertionRow(-1);
    QListView::dragLeaveEvent(event);
}

void TThumbnailView::dropEvent(QDropEvent* event) {
    const DragKind kind = kindOf(event->source(), event->mimeData());
    setInsertionRow(-1);
    if (kind == DragKind::Files) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        if (OnDropFiles)
            OnDropFiles(localPaths(event->mimeData()), event->position().toPoint());
        return;
    }
    event->acceptProposedAction();
    if (OnDragDrop)
        OnDragDrop(event->source(), event->position().toPoint());
}

void TThumbnailView::mouseReleaseEvent(QMouseEvent* event) {
    QListView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && OnClick)
        OnClick();
}

void TThumbnailView::mouseDoubleClickEvent(QMouseEvent* event) {
    QListView::mouseDoubleClickEvent(event);
    const int row = rowAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && row >= 0 && OnDoubleClick)
        OnDoubleClick(row);
}

}  // namespace pagelume::ui
