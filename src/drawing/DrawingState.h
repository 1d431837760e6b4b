#pragma once

#include "drawing/DrawingTool.h"

#include <QColor>
#include <QObject>

// The tool and colour of one overlay, shared by its canvas and its toolbar. Only the toolbar changes
// it; the canvas reads the colour when a stroke begins.
class DrawingState : public QObject {
    Q_OBJECT
public:
    explicit DrawingState(QObject *parent = nullptr);

    DrawingTool selectedTool() const { return selectedTool_; }
    QColor selectedColor() const { return selectedColor_; }
    void setSelectedTool(DrawingTool tool);
    void setSelectedColor(const QColor &color);

Q_SIGNALS:
    void selectedToolChanged();
    void selectedColorChanged();

private:
    DrawingTool selectedTool_ = DrawingTool::Scribble;
    QColor selectedColor_;
};
