#pragma once

#include <QRect>

#include <functional>

// Asks the compositor to place a window and give it the keyboard, where the window system leaves both
// to the compositor and the desktop lets a client ask.
class WindowPlacement {
public:
    virtual ~WindowPlacement() = default;
    // Puts the window at `frame`, in global coordinates, once it is on screen, its bottom edge first when
    // its height differs by then; `settled` runs once the compositor has answered. From then on that edge
    // stays where it is (or where the user dragged it) when the height changes.
    virtual void place(const QRect &frame, std::function<void()> settled = {}) = 0;
    virtual void activate() = 0;
};
