#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

namespace pagelume::app {

// Moves a window with the pointer while the left button is held: what the
// header drag does where the system refuses to move the window itself (no
// window manager, or one that does not offer it).
class PointerWindowMove : public QObject {
public:
    explicit PointerWindowMove(QWidget* window);
    ~PointerWindowMove() override;

    // Starts following the pointer from where the button was pressed.
    void start(QPoint globalPress);
    void stop();
    bool active() const { return active_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    QPoint press_, origin_;
    bool active_ = false;
};

}  // namespace pagelume::app
