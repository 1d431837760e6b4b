#pragma once

#include <QImage>
#include <QPointF>
#include <QRect>

#include <optional>

// The drawing surface inside the overlay. Points are in canvas coordinates.
class OverlayCanvas {
public:
    virtual ~OverlayCanvas() = default;
    virtual void beginStroke(QPointF point) = 0;
    // Extends the stroke being drawn, if any, with a straight segment and repaints.
    virtual void extendStroke(QPointF point) = 0;
    // True when a stroke was completed.
    virtual bool endStroke() = 0;
    // Only the strokes, on a transparent background; no rectangle means the whole canvas.
    virtual QImage renderToImage(std::optional<QRectF> crop) const = 0;
};

// The overlay over all screens, with its optional toolbar.
class Overlay {
public:
    virtual ~Overlay() = default;
    virtual void show() = 0;
    // Removes the overlay and its toolbar. May be called from the overlay's own event handlers; the
    // session drops the handle right afterwards.
    virtual void close() = 0;
    virtual QRect unionRect() const = 0;                          // global coordinates
    virtual OverlayCanvas *canvas() = 0;                          // null when the overlay has none
    virtual QPointF mapFromGlobal(QPointF globalPoint) const = 0; // to canvas coordinates
    virtual void hideToolbar() = 0;
};
