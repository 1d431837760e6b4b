#include "drawing/PenCursor.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

QCursor makeCursor()
{
    const qreal ratio = qGuiApp->devicePixelRatio();
    QPixmap image(PenCursor::size * ratio);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QSvgRenderer pencil(QStringLiteral(":/drawing/pencil.svg"));
    if (pencil.isValid()) {
        QPainter painter(&image);
        // The pencil's tip, at the lower left of the drawing, lands on the hot spot.
        pencil.render(&painter, QRectF(3, 4, 18, 18));
    }
    return QCursor(image, PenCursor::hotSpot.x(), PenCursor::hotSpot.y());
}

} // namespace

const QCursor &PenCursor::cursor()
{
    static const QCursor pen = makeCursor();
    return pen;
}
