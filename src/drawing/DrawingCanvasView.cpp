#include "drawing/DrawingCanvasView.h"

#include "drawing/DrawingCanvas.h"
#include "drawing/PenCursor.h"

#include <QMouseEvent>
#include <QPainter>

DrawingCanvasView::DrawingCanvasView(DrawingCanvas &canvas, QPointF origin, QWidget *parent)
    : QWidget(parent)
    , canvas_(&canvas)
    , origin_(origin)
{
    connect(&canvas, &DrawingCanvas::changed, this, &DrawingCanvasView::repaintArea);
    connect(&canvas, &DrawingCanvas::cursorChanged, this, &DrawingCanvasView::refreshCursor);
    refreshCursor();
}

void DrawingCanvasView::refreshCursor()
{
    if (canvas_ && canvas_->showsPenCursor())
        setCursor(PenCursor::cursor());
    else
        setCursor(Qt::ArrowCursor);
}

void DrawingCanvasView::repaintArea(const QRectF &canvasArea)
{
    update(canvasArea.translated(-origin_).toAlignedRect());
}

// Events are taken even when not drawing, so clicks never reach the windows below.
void DrawingCanvasView::mousePressEvent(QMouseEvent *event)
{
    if (canvas_ && event->button() == Qt::LeftButton)
        canvas_->press(event->globalPosition());
}

void DrawingCanvasView::mouseMoveEvent(QMouseEvent *event)
{
    if (canvas_)
        canvas_->drag(event->globalPosition());
}

void DrawingCanvasView::mouseReleaseEvent(QMouseEvent *event)
{
    if (canvas_ && event->button() == Qt::LeftButton)
        canvas_->release();
}

void DrawingCanvasView::paintEvent(QPaintEvent *)
{
    if (!canvas_)
        return;
    QPainter painter(this);
    painter.translate(-origin_);
    canvas_->paint(painter);
}
