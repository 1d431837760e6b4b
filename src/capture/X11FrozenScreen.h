#pragma once

#include "capture/ServerPicture.h"

#include <memory>

struct _XDisplay;

// What a rectangle of the X screen showed at one moment, copied into a pixmap inside the server: taking it
// costs one copy there, and neither memory nor a transfer in this process.
class X11FrozenScreen : public ServerPicture {
public:
    // Null when there is no X display.
    static std::shared_ptr<const X11FrozenScreen> copy(const QRect &deviceRect);

    ~X11FrozenScreen() override;
    X11FrozenScreen(const X11FrozenScreen &) = delete;
    X11FrozenScreen &operator=(const X11FrozenScreen &) = delete;

    QImage image() const override;
    void showBehind(QWindow &window) const override;
    void removeFrom(QWindow &window) const override;
    void repaint(QWindow &window, const QRegion &area, const QRegion &drawnOn,
                 const std::function<void(QPainter &)> &paint) const override;

private:
    X11FrozenScreen(_XDisplay *display, unsigned long pixmap, QSize size);

    _XDisplay *display_;
    unsigned long pixmap_;
    QSize size_;
};
