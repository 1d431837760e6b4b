#include "drawing/ColorPalette.h"

const QList<QColor> &ColorPalette::colors()
{
    static const QList<QColor> palette{
        QColor::fromRgbF(1.0f, 0.0f, 0.0f), // red
        QColor::fromRgbF(1.0f, 0.5f, 0.0f), // orange
        QColor::fromRgbF(1.0f, 1.0f, 0.0f), // yellow
        QColor::fromRgbF(0.0f, 1.0f, 0.0f), // green
        QColor::fromRgbF(0.0f, 0.0f, 1.0f), // blue
        QColor::fromRgbF(1.0f, 1.0f, 1.0f), // white
        QColor::fromRgbF(0.0f, 0.0f, 0.0f), // black
    };
    return palette;
}
