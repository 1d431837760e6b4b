#pragma once

#include <QPointer>
#include <QWidget>

class DrawingCanvas;

// One screen's part of a drawing: a transparent surface that paints the strokes falling on it and
// hands the pointer to the canvas. Drags are read in global coordinates, so strokes land where the
// pointer was whatever the window manager did to the window.
class DrawingCanvasView : public QWidget {
    Q_OBJECT
public:
    // `origin` is the canvas point shown at the view's top-left corner.
    DrawingCanvasView(DrawingCanvas &canvas, QPointF origin, QWidget *parent = nullptr);

    // The part of the view that the strokes cover, in its own coordinates.
    QRect inkedArea() const;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void refreshCursor();
    void repaintArea(const QRectF &canvasArea);

    // The canvas may go first when the drawing ends in one of this view's own handlers.
    QPointer<DrawingCanvas> canvas_;
    QPointF origin_;
};
