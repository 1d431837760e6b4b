#pragma once

#include "capture/FrozenFrame.h"

#include <QString>

#include <functional>

class QObject;

// Reads every screen for a frozen frame, the way this display server lets a client do it. One is chosen
// at start and given to the freezer.
class ScreenGrabber {
public:
    virtual ~ScreenGrabber() = default;

    // How frames are taken: "x11-pixmap" (a copy the X server keeps), "wlr-screencopy", "xdg-portal" (the
    // desktop's Screenshot portal) or "qt" (Qt's own, other platforms).
    virtual QString method() const = 0;

    // Every screen as it is now.
    virtual FrozenFrame grab() = 0;

    // Calls `done` (unless `context` is gone by then) with every screen as it is now: at once, or when the
    // desktop answers where it has to be asked.
    virtual void take([[maybe_unused]] QObject *context, std::function<void(FrozenFrame)> done) { done(grab()); }

    // Whether the frames stay with the display server, which paints them itself: an overlay window then
    // has no pixel buffer to fill.
    virtual bool keepsFramesOnServer() const { return false; }

    // Frees what is kept from one grab for the next. Main thread only.
    virtual void releaseIdleBuffers() {}
};
