#pragma once

#include <QListView>
#include <QTimer>

#include "ui/page_drag.h"
#include <functional>

#include "ui/page_item_model.h"
#include "ui/thumbnailer.h"

namespace pagelume::ui {

// The pages as pictures with their numbers under them: a second view of the
// page list's model that shares its selection. Like the list it reports
// drags and drops to its owner, which decides what moves, and shows a line
// where a drop would land.
class TThumbnailView : public QListView {
public:
    // The largest side of a picture, and the cell each page takes.
    static constexpr int kPictureBox = 160;
    static constexpr int kCellWidth = 184;
    static constexpr int kCellHeight = 206;

    TThumbnailView(PageItemModel* model, QItemSelectionModel* selection, Thumbnailer* thumbnailer,
                   QWidget* parent = nullptr);

    std::function<void(QObject* source, QPoint pos)> OnDragOver;
    std::function<void(QObject* source, QPoint pos)> OnDragDrop;
    std::function<void(const QStringList& paths, QPoint pos)> OnDropFiles;
    std::function<void()> OnClick;
    // A double click on a page, with its row.
    std::function<void(int row)> OnDoubleClick;

    int rowCount() const;
    // The page under a viewport point, or -1.
    int rowAt(QPoint pos) const;
    QRect itemRect(int row) const;
    // Where files dropped at a viewport point go: before the page there, or
    // at the end (rowCount()) past the last one.
    int fileDropRow(QPoint pos) const;
    // As in the list: the page a drop would land before, -1 for none.
    int insertionRow() const { return insertionRow_; }
    int insertionRowFor(const QObject* source, const QMimeData* mime, QPoint pos) const;
    // The rows on screen now, first and last (-1, -1 with none).
    std::pair<int, int> visibleRows() const;
    // Asks the thumbnailer for the pages on screen first, then the rest
    // outwards from them (done soon after every scroll, resize or change).
    void requestPictures();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    using DragKind = PageDragKind;
    DragKind kindOf(const QObject* source, const QMimeData* mime) const;
    int insertionRowFor(DragKind kind, QPoint pos) const;
    void trackDrag(DragKind kind, QPoint pos);
    void setInsertionRow(int row);
    // settle: after a scroll or resize, wait until it settles; otherwise
    // start at once when the workers are idle.
    void scheduleRequest(bool settle);

    PageItemModel* model_;
    Thumbnailer* thumbnailer_;
    int insertionRow_ = -1;
    QTimer requestTimer_;
};

}  // namespace pagelume::ui
