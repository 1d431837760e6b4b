#include "panel/RoundedBackgroundView.h"

#include <QPainter>
#include <QPainterPath>

RoundedBackgroundView::RoundedBackgroundView(qreal cornerRadius, QColor background, QColor border, qreal borderWidth,
                                             QWidget *parent)
    : QWidget(parent)
    , cornerRadius_(cornerRadius)
    , backgroundColor_(background)
    , borderColor_(border)
    , borderWidth_(borderWidth)
{
}

void RoundedBackgroundView::setBorderColor(const QColor &color)
{
    if (borderColor_ == color)
        return;
    borderColor_ = color;
    update();
}

void RoundedBackgroundView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Inset by half the line so the whole border stays inside the bounds.
    const qreal inset = borderWidth_ / 2;
    const QRectF shape = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    QPainterPath path;
    path.addRoundedRect(shape, cornerRadius_, cornerRadius_);
    painter.fillPath(path, backgroundColor_);
    if (borderWidth_ > 0)
        painter.strokePath(path, QPen(borderColor_, borderWidth_));
}
