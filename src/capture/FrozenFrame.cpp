#include "capture/FrozenFrame.h"

#include "capture/PortalScreenshotGrabber.h"
#include "capture/SystemScreenCatalog.h"
#include "capture/WlrScreencopyGrabber.h"
#include "capture/X11FrozenScreen.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

namespace {

// A scaled screen keeps its device position; only its size is in logical points.
QRect deviceRect(const QScreen &screen)
{
    const QRect frame = screen.geometry();
    return QRect(frame.topLeft(), (QSizeF(frame.size()) * screen.devicePixelRatio()).toSize());
}

FrozenFrame::Shot grabScreen(QScreen &screen)
{
    const ScreenInfo info = SystemScreenCatalog::info(screen);
    if (std::shared_ptr<const ServerPicture> kept = X11FrozenScreen::copy(deviceRect(screen)))
        return {info, QImage(), std::move(kept)};
    // With window 0 the rectangle is relative to this screen, not global.
    const QRect frame = screen.geometry();
    return {info, screen.grabWindow(0, 0, 0, frame.width(), frame.height()).toImage(), nullptr};
}

} // namespace

QImage FrozenFrame::Shot::image() const
{
    if (!onServer)
        return picture;
    QImage pixels = onServer->image();
    pixels.setDevicePixelRatio(qreal(pixels.width()) / screen.frame.width());
    return pixels;
}

bool FrozenFrame::keptOnServer()
{
    return X11FrozenScreen::available();
}

QString FrozenFrame::grabMethod()
{
    if (WlrScreencopyGrabber::instance())
        return QStringLiteral("wlr-screencopy");
    if (PortalScreenshotGrabber::instance())
        return QStringLiteral("xdg-portal");
    return keptOnServer() ? QStringLiteral("x11-pixmap") : QStringLiteral("qt");
}

FrozenFrame FrozenFrame::grab()
{
    if (WlrScreencopyGrabber *wayland = WlrScreencopyGrabber::instance())
        return wayland->grab();
    QList<Shot> shots;
    for (QScreen *screen : QGuiApplication::screens())
        shots.append(grabScreen(*screen));
    return FrozenFrame(std::move(shots));
}
