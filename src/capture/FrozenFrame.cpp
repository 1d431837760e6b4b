#include "capture/FrozenFrame.h"

#include "capture/PortalScreenshotGrabber.h"
#include "capture/SystemScreenCatalog.h"
#include "capture/WlrScreencopyGrabber.h"
#include "capture/X11ScreenGrabber.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

namespace {

QImage grabScreen(QScreen &screen, X11ScreenGrabber *grabber)
{
    const QRect frame = screen.geometry();
    if (grabber) {
        // A scaled screen keeps its device position; only its size is in logical points.
        const qreal ratio = screen.devicePixelRatio();
        QImage picture = grabber->grab(QRect(frame.topLeft(), (QSizeF(frame.size()) * ratio).toSize()));
        if (!picture.isNull()) {
            picture.setDevicePixelRatio(ratio);
            return picture;
        }
    }
    // With window 0 the rectangle is relative to this screen, not global.
    return screen.grabWindow(0, 0, 0, frame.width(), frame.height()).toImage();
}

} // namespace

QString FrozenFrame::grabMethod()
{
    if (WlrScreencopyGrabber::instance())
        return QStringLiteral("wlr-screencopy");
    if (PortalScreenshotGrabber::instance())
        return QStringLiteral("xdg-portal");
    return X11ScreenGrabber::instance() ? QStringLiteral("x11-shm") : QStringLiteral("qt");
}

FrozenFrame FrozenFrame::grab()
{
    if (WlrScreencopyGrabber *wayland = WlrScreencopyGrabber::instance())
        return wayland->grab();
    X11ScreenGrabber *grabber = X11ScreenGrabber::instance();
    QList<Shot> shots;
    for (QScreen *screen : QGuiApplication::screens())
        shots.append(Shot{SystemScreenCatalog::info(*screen), grabScreen(*screen, grabber)});
    // Every screen has its buffer now; what is left idle belonged to screens that are gone.
    if (grabber)
        grabber->releaseIdleBuffers();
    return FrozenFrame(std::move(shots));
}
