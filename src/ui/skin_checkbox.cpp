#include "ui/skin_checkbox.h"

#include <QPainter>
#include <QPainterPath>

#include "ui/controls.h"

namespace pagelume::ui {

namespace {

// The skin's palette (resources/skin/make_skin.py).
const QColor kGold(0xff, 0xd2, 0x4a);
const QColor kGoldDark(0xe0, 0xa9, 0x1c);
const QColor kInk(0x14, 0x18, 0x31);
const QColor kSnow(0xee, 0xf1, 0xfb);
const QColor kMuted(0x7c, 0x87, 0xaa);

constexpr int kBox = 13;
constexpr int kGap = 6;

}  // namespace

TSkinCheckBox::TSkinCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
}

QRect TSkinCheckBox::boxRect() const {
    return QRect(1, (height() - kBox) / 2, kBox, kBox);
}

bool TSkinCheckBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

void TSkinCheckBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool enabled = isEnabled();
    const bool hot = enabled && (underMouse() || isDown());
    const QRect box = boxRect();

    p.setPen(QPen(enabled ? (hot ? kGold : kGoldDark) : kMuted, 1));
    p.setBrush(isDown() ? kInk.lighter(140) : kInk);
    p.drawRoundedRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    if (isChecked()) {
        QPainterPath tick;
        tick.moveTo(box.left() + 3, box.top() + 6.5);
        tick.lineTo(box.left() + 5.5, box.top() + 9.5);
        tick.lineTo(box.left() + 10, box.top() + 3.5);
        p.setPen(QPen(enabled ? kGold : kMuted, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }

    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(font());
    p.setPen(enabled ? kSnow : kMuted);
    const QRect textRect = rect().adjusted(box.right() + kGap, 0, 0, 0);
    QRect used;
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text(), &used);
    if (hasFocus())
        drawFocusFrame(p, used.adjusted(-2, 0, 2, 0).intersected(rect()));
}

}  // namespace pagelume::ui
