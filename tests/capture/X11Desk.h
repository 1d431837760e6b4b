#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>

struct _XDisplay;

// The root window and the pointer of the test display, on a connection of our own.
class X11Desk {
public:
    static constexpr int cell = 64; // device pixels

    X11Desk();
    ~X11Desk();
    bool isOpen() const { return display_ != nullptr; }

    // Each monitor gets its own checkerboard, so a capture shows which monitor it came from.
    static QColor patternAt(QPoint devicePoint, int monitor);

    // Paints the monitors' patterns as the root window's background, which the server redraws itself.
    void paintPattern(const QList<QRect> &deviceMonitors);
    // Any picture as the root window's background, from the top-left corner.
    void paintBackground(const QImage &picture);

    // A left-button drag through device-pixel points in one burst, as a fast hand or a pen tablet
    // makes it: the server has queued every event before the application reads the first.
    void drag(const QList<QPoint> &points);

    // Presses and releases Escape.
    void pressEscape();

private:
    void flushAndWait();

    _XDisplay *display_;
};
