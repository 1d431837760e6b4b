#include "capture/DesktopWindows.h"

#include "platform/DisplayPlatform.h"
#include "platform/X11Display.h"

#include <QByteArray>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

int DesktopWindows::count()
{
    Display *display = X11Display::display();
    if (!display)
        return 0;
    const Atom clientList = XInternAtom(display, "_NET_CLIENT_LIST", True);
    if (clientList == None)
        return 0;
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char *data = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display), clientList, 0, 65536, False, XA_WINDOW,
                                          &type, &format, &items, &remaining, &data);
    if (data)
        XFree(data);
    return status == Success && type == XA_WINDOW ? int(items) : 0;
}

bool DesktopWindows::compositorRuns()
{
    // A Wayland compositor blends every window it shows.
    if (DisplayPlatform::isWayland())
        return true;
    Display *display = X11Display::display();
    if (!display)
        return false;
    // A compositing manager owns this selection for the screen it composites.
    const QByteArray selection = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
    return XGetSelectionOwner(display, XInternAtom(display, selection.constData(), False)) != None;
}
