#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

#include "ui/page_item_model.h"

namespace pagelume::app {

// A page at the size of the screen, in a window of its own: Left and Right
// (Page Up and Page Down, Home and End) go through the pages, Escape closes.
// Each page is decoded reduced to the screen's size on a worker thread, so
// the window stays responsive while a large scan is read.
class TLargePreview : public QWidget {
public:
    explicit TLargePreview(const ui::PageItemModel* model, QWidget* parent = nullptr);
    ~TLargePreview() override;

    // Opens (or moves) to the page at row, at the size of the screen the
    // parent window is on.
    void showPage(int row);
    int currentRow() const { return row_; }
    // The picture shown now (null until the page is decoded).
    const QImage& picture() const { return picture_; }
    // Whether a decode is still on its way.
    bool loading() const { return loading_; }

    // Told when the keyboard moves to another page.
    std::function<void(int row)> OnPageChanged;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void load();
    void step(int by);

    const ui::PageItemModel* model_;
    int row_ = -1;
    QImage picture_;
    QString error_;
    bool loading_ = false;
    // Only the latest request's picture is shown.
    unsigned generation_ = 0;
};

}  // namespace pagelume::app
