#pragma once

#include <QTreeWidget>
#include <functional>

namespace pagelume::ui {

// The page list: a report view with the columns "Page" and "Path", whose
// rows are the book's pages in order. Row p always shows the number p + 1.
// Dragging a row within the list is reported to the owner, which decides
// what moves; the control itself never moves or removes rows on a drop.
class TPageList : public QTreeWidget {
public:
    explicit TPageList(QWidget* parent = nullptr);

    // Raised for every drag over the list and for a drop; pos is in the
    // coordinates of the list's viewport, source the widget the drag started in.
    std::function<void(QObject* source, QPoint pos)> OnDragOver;
    std::function<void(QObject* source, QPoint pos)> OnDragDrop;
    // A left click anywhere on the list.
    std::function<void()> OnClick;

    int rowCount() const { return topLevelItemCount(); }
    QString rowCaption(int row) const;
    QString rowPath(int row) const;
    void appendRow(const QString& path);
    void insertRow(int position, const QString& caption, const QString& path);
    void deleteRow(int row);
    // Gives every row the number of its position + 1.
    void renumber();
    // The selected row nearest the top, or -1.
    int firstSelectedRow() const;
    // The row under a viewport point, or -1.
    int rowAt(QPoint pos) const;
    bool isRowSelected(int row) const;
    void setRowSelected(int row, bool selected);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace pagelume::ui
