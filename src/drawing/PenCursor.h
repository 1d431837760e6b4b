#pragma once

#include <QCursor>

// The pencil shown over the canvas while drawing is possible, its tip on the hot spot.
class PenCursor {
public:
    PenCursor() = delete;

    static constexpr QSize size{24, 24};
    static constexpr QPoint hotSpot{4, 20};

    // Built on first use and shared.
    static const QCursor &cursor();
};
