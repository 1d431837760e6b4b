#include "capture/QtScreenGrabber.h"

#include "capture/SystemScreenCatalog.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

FrozenFrame QtScreenGrabber::grab()
{
    QList<FrozenFrame::Shot> shots;
    for (QScreen *screen : QGuiApplication::screens())
        shots.append(grabScreen(*screen));
    return FrozenFrame(std::move(shots));
}

FrozenFrame::Shot QtScreenGrabber::grabScreen(QScreen &screen)
{
    // With window 0 the rectangle is relative to this screen, not global.
    const QRect frame = screen.geometry();
    return {SystemScreenCatalog::info(screen), screen.grabWindow(0, 0, 0, frame.width(), frame.height()).toImage(),
            nullptr};
}
