#pragma once

struct _XDisplay;

// Qt's own connection to the X server, for the few calls Qt has no facility for. Null when Glint does
// not run as an X11 client.
class X11Display {
public:
    X11Display() = delete;

    static _XDisplay *display();
};
