#pragma once

#include <QtGlobal>

// What the monitor recognises, copied from the preferences before it starts.
struct HotkeyTriggers {
    quint16 keyCode = 49;                 // virtual key code (Space)
    quint64 keyModifiers = 786432;        // Control + Option
    quint64 quickDrawModifiers = 1572864; // Option + Command; 0 turns the modifier trigger off
    bool quickDrawMiddleMouseEnabled = true;
};
