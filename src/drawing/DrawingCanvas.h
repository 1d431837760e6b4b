#pragma once

#include "drawing/Stroke.h"
#include "session/Overlay.h"

#include <QList>
#include <QObject>
#include <QRect>

#include <optional>

class AnnotationSession;
class DrawingState;
class QPainter;

// The strokes of one drawing, shared by the views on every screen. Canvas coordinates start at the
// origin of the union of all screens; pointer input arrives in global coordinates.
class DrawingCanvas : public QObject, public OverlayCanvas {
    Q_OBJECT
public:
    DrawingCanvas(const QRect &unionRect, DrawingState &drawingState, AnnotationSession &session,
                  QObject *parent = nullptr);

    void beginStroke(QPointF point) override;
    void extendStroke(QPointF point) override;
    bool endStroke() override;
    // Rasterised at the density the capture ends up with, so a large crop costs no more than the
    // screenshot it is burnt into; the image's device pixel ratio maps it back onto `crop`.
    QImage renderToImage(std::optional<QRectF> crop) const override;

    const QList<Stroke> &strokes() const { return strokes_; }
    bool showsPenCursor() const;
    // The overlay is closing: back to the arrow.
    void resetCursor();

    // The left button, as the views see it; ignored unless the session is drawing.
    void press(QPointF globalPoint);
    void drag(QPointF globalPoint);
    void release();

    // Every stroke, the unfinished one last, in canvas coordinates.
    void paint(QPainter &painter) const;
    // Where paint() draws, roughly: the strokes' bounds.
    QRectF inkedArea() const;

Q_SIGNALS:
    void changed(const QRectF &area); // canvas coordinates
    void cursorChanged();

private:
    bool isDrawing() const;
    QPointF canvasPoint(QPointF globalPoint) const { return globalPoint - unionRect_.topLeft(); }

    QList<Stroke> strokes_;
    std::optional<Stroke> currentStroke_;
    DrawingState &drawingState_;
    AnnotationSession &session_;
    QRect unionRect_;
    bool hasCompletedFirstStroke_ = false;
    bool drawingCursorActive_ = false;
};
