#pragma once

#include <QTimer>

#include "ui/page_drag.h"
#include <QTreeView>
#include <functional>
#include <vector>

#include "ui/page_item_model.h"

namespace pagelume::ui {

// The page list: a report view with the columns "Page" and "Path" over the
// book's pages, in order. Row p always shows the number p + 1. Dragging a row
// within the list is reported to the owner, which decides what moves; the
// control itself never moves or removes rows on a drop.
class TPageList : public QTreeView {
public:
    explicit TPageList(QWidget* parent = nullptr);

    PageItemModel& pageModel() { return model_; }
    const pages::PageModel& pages() const { return model_.pages(); }

    // Raised for every drag over the list and for a drop; pos is in the
    // coordinates of the list's viewport, source the widget the drag started in.
    std::function<void(QObject* source, QPoint pos)> OnDragOver;
    std::function<void(QObject* source, QPoint pos)> OnDragDrop;
    // Files and folders dropped from another program (a file manager), as
    // local paths in the order of the drag; pos as above.
    std::function<void(const QStringList& paths, QPoint pos)> OnDropFiles;
    // A left click anywhere on the list.
    std::function<void()> OnClick;

    int rowCount() const { return model_.rowCount(); }
    QString rowCaption(int row) const;
    QString rowPath(int row) const;
    // A page for the file, at the end.
    void appendRow(const QString& path);
    void insertPages(int position, std::vector<pages::Page> pages);
    void deleteRow(int row);
    void clearRows();
    // Where a row is drawn, in viewport coordinates.
    QRect rowRect(int row) const;
    // The selected row nearest the top, or -1.
    int firstSelectedRow() const;
    // The row under a viewport point, or -1.
    int rowAt(QPoint pos) const;
    bool isRowSelected(int row) const;
    void setRowSelected(int row, bool selected);

    // Puts the rows in a new order: order[i] is the old position of the row
    // that goes to position i. Rows stay selected or not as they were.
    void reorderRows(const std::vector<int>& order);
    // Moves one row to another position; it stays selected and becomes current.
    void moveRow(int from, int to);

    // Where files dropped at a viewport point go: before the row at that
    // height, or at the end (rowCount()) below the last row.
    int fileDropRow(QPoint pos) const;
    // While a drag is over the list: the row a drop would land before
    // (rowCount() for the end), shown as a line; -1 when a drop would change
    // nothing and no line shows.
    int insertionRow() const { return insertionRow_; }
    // Where the line would show for a drag from source carrying mime at a
    // viewport point: rows dragged within this list land before the row
    // under the point (nothing below the last row, nothing without a
    // selected row); files from another program as fileDropRow.
    int insertionRowFor(const QObject* source, const QMimeData* mime, QPoint pos) const;

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    using DragKind = PageDragKind;
    DragKind kindOf(const QObject* source, const QMimeData* mime) const;
    int insertionRowFor(DragKind kind, QPoint pos) const;
    void trackDrag(DragKind kind, QPoint pos);
    void endDrag();
    void setInsertionRow(int row);
    void autoScrollStep();

    PageItemModel model_;
    DragKind dragKind_ = DragKind::None;
    QPoint dragPos_;
    int insertionRow_ = -1;
    QTimer autoScroll_;
};

}  // namespace pagelume::ui
