#include "app/SecondaryText.h"

#include <QWidget>

QColor SecondaryText::color(const QWidget &widget)
{
    QColor faded = widget.palette().color(QPalette::WindowText);
    faded.setAlphaF(0.65f);
    return faded;
}

void SecondaryText::apply(QWidget &widget)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, color(widget));
    widget.setPalette(palette);
}
