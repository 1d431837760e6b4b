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

// Through the window: when the display server paints the frozen frame, the window paints for its children.
void DrawingCanvasView::repaintArea(const QRectF &canvasArea)
{
    const QRect area = canvasArea.translated(-origin_).toAlignedRect() & rect();
    if (!area.isEmpty())
        window()->update(area.translated(mapTo(window(), QPoint(0, 0))));
}

QRect DrawingCanvasView::inkedArea() const
{
    return canvas_ ? canvas_->inkedArea().translated(-origin_).toAlignedRect() & rect() : QRect();
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
