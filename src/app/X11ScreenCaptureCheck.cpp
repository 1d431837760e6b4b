#include "app/X11ScreenCaptureCheck.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

PermissionStatus X11ScreenCaptureCheck::status() const
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (screen && !screen->grabWindow(0, 0, 0, 1, 1).isNull())
        return {true, false, {}, {}};
    return {false, true, QCoreApplication::translate("PermissionCheck", "The display's pixels cannot be read."), {}};
}
