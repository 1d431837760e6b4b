#pragma once

#include "input/InputEventSource.h"

#include <memory>

// Global input on X11. One connection grabs what the gestures need (the hotkey, left button with the
// quick-draw modifiers, the middle button) and a second one watches every key through XInput2 raw
// events, since a grabbing client gets no raw events for the grabbed device. The thread sleeps in poll()
// on both connections and a wake-up pipe.
class X11InputEventSource : public InputEventSource {
public:
    X11InputEventSource();
    ~X11InputEventSource() override;

    void start(GestureClassifier &classifier, GestureListener &listener) override;
    void stop() override;

    // True when the display offers what global input needs: XInput 2.2 and XTest. Checked once.
    static bool isAvailable();

private:
    struct Thread;
    std::unique_ptr<Thread> thread_;
};
