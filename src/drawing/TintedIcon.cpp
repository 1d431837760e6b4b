#include "drawing/TintedIcon.h"

#include <QCache>
#include <QCoreApplication>
#include <QPainter>
#include <QStringBuilder>

QPixmap TintedIcon::pixmap(const QIcon &icon, const QColor &color, QSize size, qreal devicePixelRatio)
{
    QPixmap pixmap = icon.pixmap(size, devicePixelRatio);
    QPainter painter(&pixmap);
    // Keeps the icon's coverage and takes the colour.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRect(QPoint(0, 0), pixmap.size()), color);
    return pixmap;
}

QPixmap TintedIcon::pixmap(const QString &file, const QColor &color, QSize size, qreal devicePixelRatio)
{
    // Let go with the application object, which pixmaps must not outlive.
    static QCache<QString, QPixmap> drawn(64);
    static const bool releasedAtExit = (qAddPostRoutine([] { drawn.clear(); }), true);
    Q_UNUSED(releasedAtExit);

    const QString key = file % u' ' % color.name(QColor::HexArgb) % u' ' % QString::number(size.width()) % u'x' %
                        QString::number(size.height()) % u'@' % QString::number(devicePixelRatio);
    if (const QPixmap *known = drawn.object(key))
        return *known;
    const QPixmap made = pixmap(QIcon(file), color, size, devicePixelRatio);
    drawn.insert(key, new QPixmap(made));
    return made;
}
