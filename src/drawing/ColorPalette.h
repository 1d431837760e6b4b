#pragma once

#include <QColor>
#include <QList>

// The seven stroke colours, in toolbar order; the first is the default.
class ColorPalette {
public:
    ColorPalette() = delete;

    static const QList<QColor> &colors();
    static QColor defaultColor() { return colors().first(); }
};
