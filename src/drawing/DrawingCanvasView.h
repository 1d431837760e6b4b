#pragma once

#include "drawing/Stroke.h"
#include "session/Overlay.h"

#include <QList>
#include <QWidget>

#include <optional>

class AnnotationSession;
class DrawingState;

// The transparent surface over the frozen screens that turns drags into strokes and paints them.
// Canvas coordinates start at the origin of the union of all screens. Drags are read in global
// coordinates, so strokes land where the pointer was whatever the window manager did to the window.
class DrawingCanvasView : public QWidget, public OverlayCanvas {
    Q_OBJECT
public:
    // `unionOrigin` is the global position of canvas point (0, 0).
    DrawingCanvasView(QPoint unionOrigin, DrawingState &drawingState, AnnotationSession &session,
                      QWidget *parent = nullptr);

    void beginStroke(QPointF point) override;
    void extendStroke(QPointF point) override;
    bool endStroke() override;
    QImage renderToImage(std::optional<QRectF> crop) const override;

    const QList<Stroke> &strokes() const { return strokes_; }
    const std::optional<Stroke> &currentStroke() const { return currentStroke_; }
    bool drawingCursorActive() const { return drawingCursorActive_; }

    // The overlay is closing: back to the arrow.
    void resetCursor();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool isDrawing() const;
    QPointF canvasPoint(QPointF globalPoint) const { return globalPoint - unionOrigin_; }
    void refreshCursor();

    QList<Stroke> strokes_;
    std::optional<Stroke> currentStroke_;
    DrawingState &drawingState_;
    AnnotationSession &session_;
    QPointF unionOrigin_;
    bool hasCompletedFirstStroke_ = false;
    bool drawingCursorActive_ = false;
};
