#pragma once

#include <QColor>

class QWidget;

// Text of lesser importance: the theme's own text colour, faded, so it reads on light and dark themes
// alike (the palette's "mid" tone nearly vanishes on a dark one).
namespace SecondaryText {
QColor color(const QWidget &widget);
void apply(QWidget &widget);
} // namespace SecondaryText
