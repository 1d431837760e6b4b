#include "capture/FrozenFrame.h"

QImage FrozenFrame::Shot::image() const
{
    if (!onServer)
        return picture;
    QImage pixels = onServer->image();
    pixels.setDevicePixelRatio(qreal(pixels.width()) / screen.frame.width());
    return pixels;
}
