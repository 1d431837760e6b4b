#pragma once

#include <QPointF>
#include <QtGlobal>

// One keyboard or mouse event as the gesture classifier sees it, whatever produced it.
struct InputEvent {
    enum class Type {
        LeftMouseDown,
        LeftMouseUp,
        LeftMouseDragged,
        KeyDown,
        FlagsChanged,
        OtherMouseDown,
        OtherMouseUp,
        OtherMouseDragged,
    };

    Type type = Type::KeyDown;
    quint64 flags = 0;     // modifier bits of ModifierFlags in force for this event
    quint16 keyCode = 0;   // virtual key code, key events only
    int button = 0;        // 1 left, 2 middle, 3 right, ...; mouse events only
    QPointF location;      // global coordinates, origin top-left
    double time = 0;       // seconds, any monotonic origin
    bool replayed = false; // carries the replay marker: a click this monitor gave back
};
