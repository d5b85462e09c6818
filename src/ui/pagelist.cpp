#include "ui/pagelist.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QFile>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>

namespace pagelume::ui {

namespace {

constexpr const char* kRowMime = "application/x-pagelume-page-row";
constexpr int kAutoScrollInterval = 50;  // ms between steps while the pointer rests at an edge

}  // namespace

TPageList::TPageList(QWidget* parent) : QTreeView(parent) {
    setModel(&model_);
    header()->resizeSection(0, 80);
    header()->resizeSection(1, 430);
    header()->resizeSection(2, 150);
    // The chapter shows between the number and the path, and only once a
    // page starts one: a list without chapters looks as it always has.
    header()->moveSection(2, 1);
    header()->setStretchLastSection(false);
    const auto showChapters = [this] {
        header()->setSectionHidden(2, !model_.pages().hasChapters());
    };
    showChapters();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&model_, signal, this, showChapters);
    connect(&model_, &QAbstractItemModel::modelReset, this, showChapters);
    connect(&model_, &QAbstractItemModel::dataChanged, this, showChapters);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setDragEnabled(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    autoScroll_.setInterval(kAutoScrollInterval);
    connect(&autoScroll_, &QTimer::timeout, this, [this] { autoScrollStep(); });
}

QString TPageList::rowCaption(int row) const {
    return model_.data(model_.index(row, 0)).toString();
}

QString TPageList::rowPath(int row) const {
    return model_.data(model_.index(row, 1)).toString();
}

void TPageList::appendRow(const QString& path) {
    model_.insertPages(rowCount(), {pages::Page{QFile::encodeName(path).toStdString(), {}}});
}

void TPageList::insertPages(int position, std::vector<pages::Page> pages) {
    model_.insertPages(position, std::move(pages));
}

void TPageList::deleteRow(int row) {
    model_.removePage(row);
}

void TPageList::clearRows() {
    model_.clearPages();
}

QRect TPageList::rowRect(int row) const {
    return visualRect(model_.index(row, 0)).united(visualRect(model_.index(row, 1)));
}

int TPageList::firstSelectedRow() const {
    int first = -1;
    for (const QModelIndex& i : selectionModel()->selectedRows())
        if (first < 0 || i.row() < first)
            first = i.row();
    return first;
}

int TPageList::rowAt(QPoint pos) const {
    const QModelIndex i = indexAt(pos);
    return i.isValid() ? i.row() : -1;
}

bool TPageList::isRowSelected(int row) const {
    return row >= 0 && row < rowCount() && selectionModel()->isRowSelected(row, {});
}

void TPageList::setRowSelected(int row, bool selected) {
    if (row < 0 || row >= rowCount())
        return;
    selectionModel()->select(model_.index(row, 0), (selected ? QItemSelectionModel::Select
                                                             : QItemSelectionModel::Deselect) |
                                                       QItemSelectionModel::Rows);
}

void TPageList::reorderRows(const std::vector<int>& order) {
    model_.reorderPages(order);
}

void TPageList::moveRow(int from, int to) {
    if (from < 0 || from >= rowCount() || to < 0 || to >= rowCount() || from == to)
        return;
    model_.movePage(from, to);
    const QModelIndex moved = model_.index(to, 0);
    selectionModel()->select(moved, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(moved, QItemSelectionModel::NoUpdate);
    scrollTo(moved);
}

int TPageList::fileDropRow(QPoint pos) const {
    // Only the height counts: a drop right of the columns still lands at its row.
    const QModelIndex i = indexAt(QPoint(1, pos.y()));
    return i.isValid() ? i.row() : rowCount();
}

TPageList::DragKind TPageList::kindOf(const QObject* source, const QMimeData* mime) const {
    return pageDragKind(this, source, mime);
}

int TPageList::insertionRowFor(DragKind kind, QPoint pos) const {
    if (kind == DragKind::Rows && firstSelectedRow() >= 0)
        return rowAt(pos);
    if (kind == DragKind::Files)
        return fileDropRow(pos);
    return -1;
}

int TPageList::insertionRowFor(const QObject* source, const QMimeData* mime, QPoint pos) const {
    return insertionRowFor(kindOf(source, mime), pos);
}

void TPageList::trackDrag(DragKind kind, QPoint pos) {
    dragKind_ = kind;
    dragPos_ = pos;
    setInsertionRow(insertionRowFor(kind, pos));
    const int margin = autoScrollMargin();
    const bool atEdge = pos.y() < margin || pos.y() >= viewport()->height() - margin;
    if (atEdge && kind != DragKind::Other && !autoScroll_.isActive())
        autoScroll_.start();
    else if (!atEdge)
        autoScroll_.stop();
}

void TPageList::endDrag() {
    autoScroll_.stop();
    dragKind_ = DragKind::None;
    setInsertionRow(-1);
}

void TPageList::setInsertionRow(int row) {
    if (row == insertionRow_)
        return;
    insertionRow_ = row;
    viewport()->update();
}

void TPageList::autoScrollStep() {
    QScrollBar* bar = verticalScrollBar();
    const int margin = autoScrollMargin();
    if (dragKind_ == DragKind::None)
        return autoScroll_.stop();
    if (dragPos_.y() < margin)
        bar->setValue(bar->value() - bar->singleStep());
    else if (dragPos_.y() >= viewport()->height() - margin)
        bar->setValue(bar->value() + bar->singleStep());
    else
        return autoScroll_.stop();
    // Other rows are under the pointer now; a drop there lands where the line shows.
    trackDrag(dragKind_, dragPos_);
}

void TPageList::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (insertionRow_ < 0)
        return;
    int y = 0;
    if (insertionRow_ < rowCount())
        y = rowRect(insertionRow_).top();
    else if (rowCount() > 0)
        y = rowRect(rowCount() - 1).bottom() + 1;
    QPainter p(viewport());
    const QColor colour = palette().color(QPalette::Highlight);
    p.fillRect(QRect(0, y - 1, viewport()->width(), 2), colour);
    // Small ends, so that the line reads as a place between rows.
    p.fillRect(QRect(0, y - 3, 2, 6), colour);
    p.fillRect(QRect(viewport()->width() - 2, y - 3, 2, 6), colour);
}

void TPageList::startDrag(Qt::DropActions) {
    // Our own drag object: the drop handler does the moving, so nothing
    // must be removed here whatever the drop reports.
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setData(kRowMime, QByteArray());
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction);
}

void TPageList::dragEnterEvent(QDragEnterEvent* event) {
    const DragKind kind = kindOf(event->source(), event->mimeData());
    if (!acceptPageDrag(event, kind, true))
        return;
    trackDrag(kind, event->position().toPoint());
}

void TPageList::dragMoveEvent(QDragMoveEvent* event) {
    const DragKind kind = kindOf(event->source(), event->mimeData());
    acceptPageDrag(event, kind, false);
    trackDrag(kind, event->position().toPoint());
    if (OnDragOver)
        OnDragOver(event->source(), event->position().toPoint());
}

void TPageList::dragLeaveEvent(QDragLeaveEvent* event) {
    endDrag();
    QTreeView::dragLeaveEvent(event);
}

void TPageList::dropEvent(QDropEvent* event) {
    const DragKind kind = kindOf(event->source(), event->mimeData());
    endDrag();
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

void TPageList::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && OnClick)
        OnClick();
}

}  // namespace pagelume::ui
