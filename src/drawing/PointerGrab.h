#pragma once

class QWindow;

// Holds the pointer for one of this application's windows while the user draws. Other clients' passive
// button grabs, above all a window manager's click-to-focus grab on a window without the focus, then
// cannot activate at a press: such a grab freezes the pointer, and the X server hands the events it
// queued meanwhile on with the last position in every one of them, so a fast stroke lost its middle.
// Pointer events still go to whichever of this application's windows is under the pointer. Does
// nothing on other platforms than X11.
class PointerGrab {
public:
    PointerGrab() = default;
    PointerGrab(const PointerGrab &) = delete;
    PointerGrab &operator=(const PointerGrab &) = delete;
    ~PointerGrab() { release(); }

    // Fails while the window is not viewable or another client holds the pointer; try again later.
    bool take(QWindow &window);
    void release();
    bool isHeld() const { return held_; }

private:
    bool held_ = false;
};
