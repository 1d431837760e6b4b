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
};
