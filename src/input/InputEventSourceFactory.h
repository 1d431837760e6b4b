#pragma once

#include "input/HotkeyTriggers.h"
#include "input/InputEventSource.h"

#include <memory>

// Picks where global input comes from: X11's grabs and raw events, or on Wayland the desktop's
// GlobalShortcuts portal. Logs its choice.
class InputEventSourceFactory {
public:
    InputEventSourceFactory() = delete;

    static std::unique_ptr<InputEventSource> create(const HotkeyTriggers &triggers, bool wayland);
};
