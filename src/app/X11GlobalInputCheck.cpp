#include "app/X11GlobalInputCheck.h"

#include "input/X11InputEventSource.h"

#include <QCoreApplication>

PermissionStatus X11GlobalInputCheck::status() const
{
    if (X11InputEventSource::isAvailable())
        return {true, false, {}, {}};
    return {false,
            true,
            QCoreApplication::translate("PermissionCheck",
                                        "This X server lacks the XInput2 or XTest extension that global input needs."),
            {}};
}
