#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>

// An icon drawn in one colour, its shape kept: symbols follow the theme's text colour, status icons
// take the colour of their state.
class TintedIcon {
public:
    TintedIcon() = delete;

    static QPixmap pixmap(const QIcon &icon, const QColor &color, QSize size, qreal devicePixelRatio);

    // The same for an icon file, drawn once per colour and size and then reused. Every new pixmap on a
    // button leaves keys in Qt's pixmap cache that clearing it never removes, so what each session's
    // windows show again must be the same pixmaps.
    static QPixmap pixmap(const QString &file, const QColor &color, QSize size, qreal devicePixelRatio);
};
