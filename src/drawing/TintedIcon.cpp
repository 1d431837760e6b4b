#include "drawing/TintedIcon.h"

#include <QPainter>

QPixmap TintedIcon::pixmap(const QIcon &icon, const QColor &color, QSize size, qreal devicePixelRatio)
{
    QPixmap pixmap = icon.pixmap(size, devicePixelRatio);
    QPainter painter(&pixmap);
    // Keeps the icon's coverage and takes the colour.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRect(QPoint(0, 0), pixmap.size()), color);
    return pixmap;
}
