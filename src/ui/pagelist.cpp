#include "ui/pagelist.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>

namespace pagelume::ui {

namespace {
constexpr const char* kRowMime = "application/x-pagelume-page-row";
}

TPageList::TPageList(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(2);
    setHeaderLabels({"Page", "Path"});
    header()->resizeSection(0, 80);
    header()->resizeSection(1, 430);
    header()->setStretchLastSection(false);
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
}

QString TPageList::rowCaption(int row) const {
    auto* item = topLevelItem(row);
    return item ? item->text(0) : QString();
}

QString TPageList::rowPath(int row) const {
    auto* item = topLevelItem(row);
    return item ? item->text(1) : QString();
}

void TPageList::appendRow(const QString& path) {
    auto* item = new QTreeWidgetItem(QStringList{QString::number(rowCount() + 1), path});
    addTopLevelItem(item);
}

void TPageList::insertRow(int position, const QString& caption, const QString& path) {
    insertTopLevelItem(position, new QTreeWidgetItem(QStringList{caption, path}));
}

void TPageList::deleteRow(int row) {
    delete takeTopLevelItem(row);
}

void TPageList::renumber() {
    for (int p = 0; p < rowCount(); ++p)
        topLevelItem(p)->setText(0, QString::number(p + 1));
}

int TPageList::firstSelectedRow() const {
    for (int p = 0; p < rowCount(); ++p)
        if (topLevelItem(p)->isSelected())
            return p;
    return -1;
}

int TPageList::rowAt(QPoint pos) const {
    QTreeWidgetItem* item = itemAt(pos);
    return item ? indexOfTopLevelItem(item) : -1;
}

bool TPageList::isRowSelected(int row) const {
    auto* item = topLevelItem(row);
    return item && item->isSelected();
}

void TPageList::setRowSelected(int row, bool selected) {
    if (auto* item = topLevelItem(row))
        item->setSelected(selected);
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
    event->acceptProposedAction();
}

void TPageList::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
    if (OnDragOver)
        OnDragOver(event->source(), event->position().toPoint());
}

void TPageList::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    if (OnDragDrop)
        OnDragDrop(event->source(), event->position().toPoint());
}

void TPageList::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && OnClick)
        OnClick();
}

}  // namespace pagelume::ui
