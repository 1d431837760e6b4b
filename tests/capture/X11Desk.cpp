#include "X11Desk.h"

#include <QImage>
#include <QTest>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

X11Desk::X11Desk()
    : display_(XOpenDisplay(nullptr))
{
}

X11Desk::~X11Desk()
{
    if (!display_)
        return;
    const Window root = DefaultRootWindow(display_);
    XSetWindowBackground(display_, root, BlackPixel(display_, DefaultScreen(display_)));
    XClearWindow(display_, root);
    XCloseDisplay(display_);
}

QColor X11Desk::patternAt(QPoint devicePoint, int monitor)
{
    const bool dark = ((devicePoint.x() / cell) + (devicePoint.y() / cell)) % 2;
    if (monitor == 0)
        return dark ? QColor(0, 0, 200) : QColor(0, 160, 0);
    return dark ? QColor(0, 160, 160) : QColor(120, 0, 160);
}

void X11Desk::paintPattern(const QList<QRect> &deviceMonitors)
{
    const int screen = DefaultScreen(display_);
    QImage pattern(DisplayWidth(display_, screen), DisplayHeight(display_, screen), QImage::Format_RGB32);
    pattern.fill(Qt::black);
    for (int m = 0; m < deviceMonitors.size(); ++m) {
        const QRect area = deviceMonitors[m] & pattern.rect();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                pattern.setPixel(x, y, patternAt(QPoint(x, y) - deviceMonitors[m].topLeft(), m).rgb());
    }
    paintBackground(pattern);
}

void X11Desk::paintBackground(const QImage &picture)
{
    QImage pixels = picture.convertToFormat(QImage::Format_RGB32);
    const int screen = DefaultScreen(display_);
    const Window root = DefaultRootWindow(display_);
    const int depth = DefaultDepth(display_, screen);
    const Pixmap pixmap = XCreatePixmap(display_, root, pixels.width(), pixels.height(), depth);
    XImage *image = XCreateImage(display_, DefaultVisual(display_, screen), depth, ZPixmap, 0,
                                 reinterpret_cast<char *>(pixels.bits()), pixels.width(), pixels.height(), 32,
                                 int(pixels.bytesPerLine()));
    const GC gc = XCreateGC(display_, pixmap, 0, nullptr);
    XPutImage(display_, pixmap, gc, image, 0, 0, 0, 0, pixels.width(), pixels.height());
    image->data = nullptr; // the QImage owns the pixels
    XDestroyImage(image);
    XFreeGC(display_, gc);
    XSetWindowBackgroundPixmap(display_, root, pixmap);
    XFreePixmap(display_, pixmap);
    XClearWindow(display_, root);
    XSync(display_, False);
}

void X11Desk::drag(const QList<QPoint> &points)
{
    XTestFakeMotionEvent(display_, -1, points.first().x(), points.first().y(), CurrentTime);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    for (const QPoint &point : points.mid(1))
        XTestFakeMotionEvent(display_, -1, point.x(), point.y(), CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    flushAndWait();
}

void X11Desk::pressEscape()
{
    const KeyCode escape = XKeysymToKeycode(display_, XK_Escape);
    XTestFakeKeyEvent(display_, escape, True, CurrentTime);
    XTestFakeKeyEvent(display_, escape, False, CurrentTime);
    flushAndWait();
}

void X11Desk::flushAndWait()
{
    XSync(display_, False);
    QTest::qWait(15);
}
