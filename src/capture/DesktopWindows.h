#pragma once

// The windows on the desktop, as the window manager lists them.
class DesktopWindows {
public:
    DesktopWindows() = delete;

    // 0 when there is no X11 display or no window manager that publishes its list.
    static int count();
    // Whether a compositor blends windows (always on Wayland): without one, translucent pixels of a window
    // show black.
    static bool compositorRuns();
};
