#include "capture/X11FrozenScreen.h"

#include "capture/X11ScreenGrabber.h"
#include "platform/X11Display.h"

#include <QPainter>
#include <QWindow>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Reads pixels of the picture; the server does not say how a pixmap's pixels map to colours, so they are
// taken as the screen's, which the picture was copied from.
XImage *read(Display *display, Pixmap pixmap, const QRect &rect)
{
    XImage *image = XGetImage(display, pixmap, rect.x(), rect.y(), rect.width(), rect.height(), AllPlanes, ZPixmap);
    if (!image)
        return nullptr;
    const Visual *visual = DefaultVisual(display, DefaultScreen(display));
    image->red_mask = visual->red_mask;
    image->green_mask = visual->green_mask;
    image->blue_mask = visual->blue_mask;
    if (X11ScreenGrabber::isRgb32(*image))
        return image;
    XDestroyImage(image);
    return nullptr;
}

} // namespace

std::shared_ptr<const X11FrozenScreen> X11FrozenScreen::copy(const QRect &deviceRect)
{
    Display *display = X11Display::display();
    if (!display)
        return nullptr;
    const int screen = DefaultScreen(display);
    const QRect rect = deviceRect & QRect(0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen));
    if (rect.isEmpty())
        return nullptr;
    const Window root = RootWindow(display, screen);
    const Pixmap pixmap = XCreatePixmap(display, root, rect.width(), rect.height(), DefaultDepth(display, screen));
    // The root's own pixels are only the wallpaper: the windows on it are its inferiors.
    XGCValues values{};
    values.subwindow_mode = IncludeInferiors;
    values.graphics_exposures = False;
    GC gc = XCreateGC(display, pixmap, GCSubwindowMode | GCGraphicsExposures, &values);
    XCopyArea(display, root, pixmap, gc, rect.x(), rect.y(), rect.width(), rect.height(), 0, 0);
    XFreeGC(display, gc);
    XFlush(display);
    return std::shared_ptr<const X11FrozenScreen>(new X11FrozenScreen(display, pixmap, rect.size()));
}

X11FrozenScreen::X11FrozenScreen(_XDisplay *display, unsigned long pixmap, QSize size)
    : display_(display)
    , pixmap_(pixmap)
    , size_(size)
{
}

X11FrozenScreen::~X11FrozenScreen()
{
    XFreePixmap(display_, pixmap_);
    XFlush(display_);
}

QImage X11FrozenScreen::image() const
{
    if (X11ScreenGrabber *grabber = X11ScreenGrabber::instance())
        return grabber->grab(pixmap_, QRect(QPoint(0, 0), size_));
    XImage *pixels = read(display_, pixmap_, QRect(QPoint(0, 0), size_));
    if (!pixels)
        return QImage();
    const QImage image = QImage(reinterpret_cast<const uchar *>(pixels->data), pixels->width, pixels->height,
                                pixels->bytes_per_line, QImage::Format_RGB32)
                             .copy();
    XDestroyImage(pixels);
    return image;
}

void X11FrozenScreen::showBehind(QWindow &window) const
{
    XSetWindowBackgroundPixmap(display_, window.winId(), pixmap_);
    XClearWindow(display_, window.winId());
    XFlush(display_);
}

void X11FrozenScreen::removeFrom(QWindow &window) const
{
    XSetWindowBackgroundPixmap(display_, window.winId(), None);
    XFlush(display_);
}

void X11FrozenScreen::repaint(QWindow &window, const QRegion &area, const QRegion &drawnOn,
                              const std::function<void(QPainter &)> &paint) const
{
    const Window target = window.winId();
    const QRegion painted = area & drawnOn & QRect(QPoint(0, 0), size_);
    // The server fills in the rest from the background by itself.
    for (const QRect &rect : area - painted)
        XClearArea(display_, target, rect.x(), rect.y(), rect.width(), rect.height(), False);
    GC gc = painted.isEmpty() ? nullptr : XCreateGC(display_, target, 0, nullptr);
    for (const QRect &rect : painted) {
        XImage *tile = read(display_, pixmap_, rect);
        if (!tile)
            continue;
        QImage pixels(reinterpret_cast<uchar *>(tile->data), tile->width, tile->height, tile->bytes_per_line,
                      QImage::Format_RGB32);
        QPainter painter(&pixels);
        painter.translate(-rect.topLeft());
        paint(painter);
        painter.end();
        XPutImage(display_, target, gc, tile, 0, 0, rect.x(), rect.y(), rect.width(), rect.height());
        XDestroyImage(tile);
    }
    if (gc)
        XFreeGC(display_, gc);
    XFlush(display_);
}
