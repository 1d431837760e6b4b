#pragma once

#include "capture/FrozenFrame.h"

#include <QObject>

#include <functional>
#include <memory>

class ScreenGrabber;

// Takes the frozen frame an overlay shows and remembers it for the capture that follows. The frame
// lives as long as someone holds it (the overlay, a running capture); the freezer only watches it.
class ScreenFreezer {
public:
    explicit ScreenFreezer(ScreenGrabber &grabber)
        : grabber_(grabber)
    {
    }

    // Long enough for the windows behind a hidden one to have been redrawn.
    static constexpr int settleDelayMs = 150;
    // Set on a window while it is shown again after a grab: it was open before, it has not just opened.
    static constexpr const char *puttingBackProperty = "glintPuttingBack";

    // Calls `frozen` (unless `context` is gone by then) with every screen's picture taken while none of
    // this application's windows is shown: at once when none is, otherwise after hiding them and letting
    // the screen settle. The hidden windows are shown again where they were, around `frozen` as the
    // platform stacks them.
    void freeze(QObject *context, std::function<void(std::shared_ptr<const FrozenFrame>)> frozen);

    // The frame handed out last, while anything still holds it.
    std::shared_ptr<const FrozenFrame> current() const { return current_.lock(); }

    // Makes `frame` the current one.
    std::shared_ptr<const FrozenFrame> adopt(FrozenFrame frame);

    ScreenGrabber &grabber() const { return grabber_; }

private:
    ScreenGrabber &grabber_;
    std::weak_ptr<const FrozenFrame> current_;
};
