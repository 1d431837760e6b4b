#include "drawing/PointerGrab.h"

#include <QGuiApplication>
#include <QWindow>

#include <X11/Xlib.h>

#include <utility>

namespace {

Display *x11Display()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

} // namespace

bool PointerGrab::take(QWindow &window)
{
    if (held_)
        return true;
    Display *display = x11Display();
    if (!display)
        return false;
    // Owner events: the window under the pointer gets each event, as without the grab.
    constexpr unsigned int mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
    held_ = XGrabPointer(display, Window(window.winId()), True, mask, GrabModeAsync, GrabModeAsync, None, None,
                         CurrentTime) == GrabSuccess;
    return held_;
}

void PointerGrab::release()
{
    if (!std::exchange(held_, false))
        return;
    if (Display *display = x11Display()) {
        XUngrabPointer(display, CurrentTime);
        XFlush(display);
    }
}
