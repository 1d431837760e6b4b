#pragma once

#include <QImage>
#include <QRegion>

#include <functional>

class QPainter;
class QWindow;

// A screen's picture that the display server keeps: the server paints it behind a window by itself, and
// its pixels come to this process only where something is drawn over it, or when a capture is cut.
class ServerPicture {
public:
    virtual ~ServerPicture() = default;

    // Every pixel, read back from the server; a null image when the server refuses.
    virtual QImage image() const = 0;

    // Makes the picture the background of `window`, whose top-left corner shows its first pixel.
    virtual void showBehind(QWindow &window) const = 0;

    // Stops being the background of `window`, so the server can let go of the picture's memory.
    virtual void removeFrom(QWindow &window) const = 0;

    // Restores `area` of `window` to the picture, and puts what `paint` draws on top where it meets
    // `drawnOn`: only those pixels travel. Device pixels in window coordinates, like the painter's.
    virtual void repaint(QWindow &window, const QRegion &area, const QRegion &drawnOn,
                         const std::function<void(QPainter &)> &paint) const = 0;
};
