#include "drawing/PointerGrab.h"

#include "platform/X11Display.h"

#include <QWindow>

#include <X11/Xlib.h>

#include <utility>

bool PointerGrab::take(QWindow &window)
{
    if (held_)
        return true;
    Display *display = X11Display::display();
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
    if (Display *display = X11Display::display()) {
        XUngrabPointer(display, CurrentTime);
        XFlush(display);
    }
}
