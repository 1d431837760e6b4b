#include "drawing/DrawingState.h"

#include "drawing/ColorPalette.h"

DrawingState::DrawingState(QObject *parent)
    : QObject(parent)
    , selectedColor_(ColorPalette::defaultColor())
{
}

void DrawingState::setSelectedTool(DrawingTool tool)
{
    if (selectedTool_ == tool)
        return;
    selectedTool_ = tool;
    Q_EMIT selectedToolChanged();
}

void DrawingState::setSelectedColor(const QColor &color)
{
    if (selectedColor_ == color)
        return;
    selectedColor_ = color;
    Q_EMIT selectedColorChanged();
}
