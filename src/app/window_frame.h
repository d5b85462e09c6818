#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

#include "ui/mainwindow.h"

namespace pagelume::app {

// The frame of a window that draws its own: resizing from the edges and
// corners, maximise and restore (the title-bar button and a double click on
// the header), and the title-bar buttons and outline kept in place at every
// size. The docked panels follow by themselves.
class WindowFrame : public QObject {
public:
    // How near an edge, in pixels, the pointer grabs it.
    static constexpr int kBorder = 5;

    WindowFrame(ui::TWinControl* form, ui::TMainControls& controls);
    ~WindowFrame() override;

    ui::TImgBtn* maximizeButton() const { return max_; }
    void toggleMaximized();
    // Where the window stands when it is not maximised; restoring puts it
    // back there, also where the system forgets it.
    QRect normalGeometry() const { return normal_; }
    void setNormalGeometry(QRect r) { normal_ = r; }

    // The edges of a window of that size a point near its border grabs.
    static Qt::Edges edgesAt(QSize size, QPoint pos, int border = kBorder);
    // The window's rectangle after its edges were dragged by delta, at least
    // minimum in size, the opposite edges standing still.
    static QRect resized(QRect start, Qt::Edges edges, QPoint delta, QSize minimum);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutChrome();
    void cutMaximizePictures();
    bool pointerEvent(QObject* watched, QEvent* event);
    void showEdgeCursor(QWidget* under, Qt::Edges edges);

    ui::TWinControl* form_;
    ui::TMainControls& c_;
    ui::TImgBtn* max_ = nullptr;
    bool maximizedPictures_ = false;
    QRect normal_;
    // A resize that follows the pointer where the system will not do it.
    Qt::Edges resizing_;
    QPoint pressGlobal_;
    QRect startGeometry_;
    // The widget whose cursor shows the edge's arrows, and what it had.
    QPointer<QWidget> cursorWidget_;
    bool cursorWasSet_ = false;
    QCursor savedCursor_;
};

}  // namespace pagelume::app
