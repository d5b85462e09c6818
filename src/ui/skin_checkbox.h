#pragma once

#include <QCheckBox>

namespace pagelume::ui {

// A check box drawn in the skin's colours for the dark bottom bar: a gold
// frame, a gold tick, light text. Everything else (keys, focus, the
// accessible state) is QCheckBox's own.
class TSkinCheckBox : public QCheckBox {
public:
    explicit TSkinCheckBox(const QString& text, QWidget* parent = nullptr);

    // The frame of the box, in the control's coordinates.
    QRect boxRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

}  // namespace pagelume::ui
