#include "drawing/Stroke.h"

#include <QPainter>

void Stroke::paint(QPainter &painter) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, lineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
}

QRectF Stroke::paintedArea(const QRectF &pathBounds)
{
    // Half the pen on every side, and a pixel for antialiasing.
    const qreal margin = lineWidth / 2 + 1;
    return pathBounds.adjusted(-margin, -margin, margin, margin);
}
