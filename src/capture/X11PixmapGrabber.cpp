#include "capture/X11PixmapGrabber.h"

#include "capture/SystemScreenCatalog.h"
#include "capture/X11FrozenScreen.h"
#include "capture/X11ScreenGrabber.h"

#include <QScreen>

FrozenFrame::Shot X11PixmapGrabber::grabScreen(QScreen &screen)
{
    // A scaled screen keeps its device position; only its size is in logical points.
    const QRect frame = screen.geometry();
    const QRect deviceRect(frame.topLeft(), (QSizeF(frame.size()) * screen.devicePixelRatio()).toSize());
    if (std::shared_ptr<const ServerPicture> kept = X11FrozenScreen::copy(deviceRect))
        return {SystemScreenCatalog::info(screen), QImage(), std::move(kept)};
    return QtScreenGrabber::grabScreen(screen);
}

void X11PixmapGrabber::releaseIdleBuffers()
{
    if (X11ScreenGrabber *grabber = X11ScreenGrabber::instance())
        grabber->releaseIdleBuffers();
}
