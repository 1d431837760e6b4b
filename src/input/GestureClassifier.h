#pragma once

#include "input/HotkeyTriggers.h"
#include "input/InputEvent.h"

class GestureListener;

// Turns the stream of global input events into the hotkey and quick-draw gestures and decides for each
// event whether it reaches other applications. Holds no platform state; one thread feeds it.
class GestureClassifier {
public:
    enum class Fate {
        Pass,
        Swallow,
        // A short middle click: give the kept press back (marked as replayed), then let this release pass.
        ReplayPressThenPass,
    };

    static constexpr double longPressSeconds = 0.3;
    static constexpr double dragSlopSquared = 25; // 5 points

    GestureClassifier(const HotkeyTriggers &triggers, GestureListener &listener);

    Fate handle(const InputEvent &event);

    const HotkeyTriggers &triggers() const { return triggers_; }
    bool isQuickDrawing() const { return isQuickDrawing_; }
    bool isQuickDrawSuppressed() const { return isQuickDrawSuppressed_; }
    bool isMiddleDownPending() const { return pendingMiddleDown_; }
    // The press a ReplayPressThenPass refers to.
    const InputEvent &pendingMiddleDownEvent() const { return pendingMiddleDownEvent_; }

private:
    bool quickDrawModifiersActive(quint64 flags) const;
    void reportReadiness(bool ready);
    void clearPendingMiddleDown();

    Fate leftMouseDown(const InputEvent &event);
    Fate keyDown(const InputEvent &event);
    Fate flagsChanged(const InputEvent &event);
    Fate otherMouseDown(const InputEvent &event);
    Fate otherMouseDragged(const InputEvent &event);
    Fate otherMouseUp(const InputEvent &event);

    HotkeyTriggers triggers_;
    GestureListener &listener_;

    bool isQuickDrawing_ = false;
    bool isQuickDrawSuppressed_ = false;
    bool pendingMiddleDown_ = false;
    InputEvent pendingMiddleDownEvent_;
    bool wereQuickDrawModifiersActive_ = false;
};
