#include "drawing/DrawingCanvasView.h"

#include "drawing/DrawingState.h"
#include "drawing/PenCursor.h"
#include "session/AnnotationSession.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

DrawingCanvasView::DrawingCanvasView(QPoint unionOrigin, DrawingState &drawingState, AnnotationSession &session,
                                     QWidget *parent)
    : QWidget(parent)
    , drawingState_(drawingState)
    , session_(session)
    , unionOrigin_(unionOrigin)
{
    connect(&session_, &AnnotationSession::stateChanged, this, &DrawingCanvasView::refreshCursor);
    refreshCursor();
}

bool DrawingCanvasView::isDrawing() const
{
    return session_.state() == SessionState::Drawing;
}

void DrawingCanvasView::refreshCursor()
{
    if (isDrawing() || drawingCursorActive_)
        setCursor(PenCursor::cursor());
    else
        setCursor(Qt::ArrowCursor);
}

void DrawingCanvasView::resetCursor()
{
    drawingCursorActive_ = false;
    refreshCursor();
}

void DrawingCanvasView::beginStroke(QPointF point)
{
    if (!drawingCursorActive_) {
        drawingCursorActive_ = true;
        refreshCursor();
    }
    QPainterPath path;
    path.moveTo(point);
    // An unfinished stroke is dropped.
    if (currentStroke_)
        update(Stroke::paintedArea(currentStroke_->path.boundingRect()).toAlignedRect());
    currentStroke_ = Stroke{path, drawingState_.selectedColor()};
}

void DrawingCanvasView::extendStroke(QPointF point)
{
    if (!currentStroke_)
        return;
    const QPointF from = currentStroke_->path.currentPosition();
    currentStroke_->path.lineTo(point);
    update(Stroke::paintedArea(QRectF(from, point).normalized()).toAlignedRect());
}

bool DrawingCanvasView::endStroke()
{
    if (!currentStroke_)
        return false;
    strokes_.append(*std::exchange(currentStroke_, std::nullopt));
    update(Stroke::paintedArea(strokes_.last().path.boundingRect()).toAlignedRect());
    return !std::exchange(hasCompletedFirstStroke_, true);
}

QImage DrawingCanvasView::renderToImage(std::optional<QRectF> crop) const
{
    const QRectF area = crop.value_or(QRectF(rect()));
    QImage image(area.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(-area.topLeft());
    for (const Stroke &stroke : strokes_)
        stroke.paint(painter);
    return image;
}

void DrawingCanvasView::mousePressEvent(QMouseEvent *event)
{
    // Events are taken even when not drawing, so clicks never reach the windows below.
    if (!isDrawing() || event->button() != Qt::LeftButton)
        return;
    session_.noteDrawingBegan(event->globalPosition());
    beginStroke(canvasPoint(event->globalPosition()));
}

void DrawingCanvasView::mouseMoveEvent(QMouseEvent *event)
{
    if (isDrawing())
        extendStroke(canvasPoint(event->globalPosition()));
}

void DrawingCanvasView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!isDrawing() || event->button() != Qt::LeftButton || !endStroke())
        return;
    // After the release has been handled; the canvas may be gone by then.
    QTimer::singleShot(0, this, [this] {
        const SettingsManager *settings = session_.settings();
        if (!settings || settings->submitMode() == SubmitMode::SingleStroke)
            session_.advanceToQuery();
    });
}

void DrawingCanvasView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    for (const Stroke &stroke : strokes_)
        stroke.paint(painter);
    if (currentStroke_)
        currentStroke_->paint(painter);
}
