#pragma once

#include <QColor>
#include <QPainterPath>

class QPainter;

// One freehand stroke: a move to the first point and a straight segment to each further point, in
// canvas coordinates, with the colour selected when it began. Every stroke has the same pen.
struct Stroke {
    static constexpr qreal lineWidth = 3.0;

    QPainterPath path;
    QColor color;

    // Antialiased, round caps and joins, full opacity.
    void paint(QPainter &painter) const;
    // The area painting touches, for partial repaints.
    static QRectF paintedArea(const QRectF &pathBounds);
};
