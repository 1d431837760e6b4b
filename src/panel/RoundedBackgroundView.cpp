#include "panel/RoundedBackgroundView.h"

#include <QPainter>
#include <QPaintEvent>
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

void RoundedBackgroundView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    // Text streaming over the middle repaints a strip of it many times a second: away from the corners
    // and the border the shape is one flat colour.
    const QRectF bounds(rect());
    const QRectF tall = bounds.adjusted(cornerRadius_, borderWidth_, -cornerRadius_, -borderWidth_);
    const QRectF wide = bounds.adjusted(borderWidth_, cornerRadius_, -borderWidth_, -cornerRadius_);
    if (tall.contains(event->rect()) || wide.contains(event->rect())) {
        painter.fillRect(event->rect(), backgroundColor_);
        return;
    }
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
