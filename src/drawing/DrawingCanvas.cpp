#include "drawing/DrawingCanvas.h"

#include "capture/CaptureEncoding.h"
#include "drawing/DrawingState.h"
#include "session/AnnotationSession.h"

#include <QPainter>
#include <QTimer>

DrawingCanvas::DrawingCanvas(const QRect &unionRect, DrawingState &drawingState, AnnotationSession &session,
                             QObject *parent)
    : QObject(parent)
    , drawingState_(drawingState)
    , session_(session)
    , unionRect_(unionRect)
{
    connect(&session_, &AnnotationSession::stateChanged, this, &DrawingCanvas::cursorChanged);
}

bool DrawingCanvas::isDrawing() const
{
    return session_.state() == SessionState::Drawing;
}

bool DrawingCanvas::showsPenCursor() const
{
    return isDrawing() || drawingCursorActive_;
}

void DrawingCanvas::resetCursor()
{
    drawingCursorActive_ = false;
    Q_EMIT cursorChanged();
}

void DrawingCanvas::beginStroke(QPointF point)
{
    if (!drawingCursorActive_) {
        drawingCursorActive_ = true;
        Q_EMIT cursorChanged();
    }
    QPainterPath path;
    path.moveTo(point);
    // An unfinished stroke is dropped.
    if (currentStroke_)
        Q_EMIT changed(Stroke::paintedArea(currentStroke_->path.boundingRect()));
    currentStroke_ = Stroke{path, drawingState_.selectedColor()};
}

void DrawingCanvas::extendStroke(QPointF point)
{
    if (!currentStroke_)
        return;
    const QPointF from = currentStroke_->path.currentPosition();
    currentStroke_->path.lineTo(point);
    Q_EMIT changed(Stroke::paintedArea(QRectF(from, point).normalized()));
}

bool DrawingCanvas::endStroke()
{
    if (!currentStroke_)
        return false;
    strokes_.append(*std::exchange(currentStroke_, std::nullopt));
    Q_EMIT changed(Stroke::paintedArea(strokes_.last().path.boundingRect()));
    return !std::exchange(hasCompletedFirstStroke_, true);
}

QImage DrawingCanvas::renderToImage(std::optional<QRectF> crop) const
{
    const QRectF area = crop.value_or(QRectF(QPointF(0, 0), unionRect_.size()));
    const QSize points = area.size().toSize();
    const QSize pixels = CaptureEncoding::visionSize(points);
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (points.isEmpty())
        return image;
    const qreal scale = qreal(pixels.width()) / points.width();
    QPainter painter(&image);
    painter.scale(scale, qreal(pixels.height()) / points.height());
    painter.translate(-area.topLeft());
    for (const Stroke &stroke : strokes_)
        stroke.paint(painter);
    painter.end();
    image.setDevicePixelRatio(scale);
    return image;
}

void DrawingCanvas::paint(QPainter &painter) const
{
    for (const Stroke &stroke : strokes_)
        stroke.paint(painter);
    if (currentStroke_)
        currentStroke_->paint(painter);
}

QRectF DrawingCanvas::inkedArea() const
{
    QRectF area;
    for (const Stroke &stroke : strokes_)
        area |= Stroke::paintedArea(stroke.path.boundingRect());
    if (currentStroke_)
        area |= Stroke::paintedArea(currentStroke_->path.boundingRect());
    return area;
}

void DrawingCanvas::press(QPointF globalPoint)
{
    if (!isDrawing())
        return;
    session_.noteDrawingBegan(globalPoint);
    beginStroke(canvasPoint(globalPoint));
}

void DrawingCanvas::drag(QPointF globalPoint)
{
    if (isDrawing())
        extendStroke(canvasPoint(globalPoint));
}

void DrawingCanvas::release()
{
    if (!isDrawing() || !endStroke())
        return;
    // After the release has been handled; the canvas may be gone by then.
    QTimer::singleShot(0, this, [this] {
        const SettingsManager *settings = session_.settings();
        if (!settings || settings->submitMode() == SubmitMode::SingleStroke)
            session_.advanceToQuery();
    });
}
