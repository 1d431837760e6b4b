#include "drawing/ColorSwatchButton.h"

#include <QPainter>

ColorSwatchButton::ColorSwatchButton(const QColor &swatchColor, QWidget *parent)
    : QAbstractButton(parent)
    , swatchColor_(swatchColor)
{
    setFixedSize(diameter, diameter);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void ColorSwatchButton::setSelected(bool selected)
{
    if (isSelected_ == selected)
        return;
    isSelected_ = selected;
    update();
}

void ColorSwatchButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF oval = QRectF(rect()).adjusted(1, 1, -1, -1);
    painter.setPen(isSelected_ ? QPen(Qt::white, 2) : QPen(Qt::NoPen));
    painter.setBrush(swatchColor_);
    painter.drawEllipse(oval);
}
