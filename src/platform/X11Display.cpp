#include "platform/X11Display.h"

#include <QGuiApplication>

_XDisplay *X11Display::display()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}
