#include "capture/ScreenCaptureError.h"

QString describe(ScreenCaptureError error)
{
    return u"The operation couldn't be completed. (ScreenCaptureError error " + QString::number(int(error)) + u".)";
}
