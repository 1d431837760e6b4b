#include "panel/SymbolIcon.h"

#include <QCache>
#include <QCoreApplication>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

// The icons live in a static library: their resource registration must be pulled in by hand.
static void loadIcons()
{
    Q_INIT_RESOURCE(panel_icons);
}

QIcon SymbolIcon::tinted(const QString &name, const QColor &color, QSize size)
{
    static const bool loaded = (loadIcons(), true);
    Q_UNUSED(loaded);
    // Drawn once and reused: every new icon on a button leaves keys in Qt's pixmap cache that clearing it
    // never removes, so each panel must show the same icons as the last. Let go with the application
    // object, which pixmaps must not outlive.
    static QCache<QString, QIcon> drawn(64);
    static const bool releasedAtExit = (qAddPostRoutine([] { drawn.clear(); }), true);
    Q_UNUSED(releasedAtExit);
    const QString key = name % u' ' % color.name(QColor::HexArgb) % u' ' % QString::number(size.width()) % u'x' %
                        QString::number(size.height());
    if (const QIcon *known = drawn.object(key))
        return *known;

    QSvgRenderer renderer(u":/panel/icons/" + name + u".svg");
    QIcon icon;
    // Drawn for standard and high-density screens alike.
    for (const qreal ratio : {1.0, 2.0}) {
        QPixmap pixmap(size * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
        // The symbols are black shapes: keep their coverage, take the colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), color);
        painter.end();
        icon.addPixmap(pixmap);
    }
    drawn.insert(key, new QIcon(icon));
    return icon;
}
