#include "capture/FrozenFrame.h"

#include "capture/SystemScreenCatalog.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

FrozenFrame FrozenFrame::grab()
{
    QList<Shot> shots;
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect frame = screen->geometry();
        // With window 0 the rectangle is relative to this screen, not global.
        const QPixmap picture = screen->grabWindow(0, 0, 0, frame.width(), frame.height());
        shots.append(Shot{SystemScreenCatalog::info(*screen), picture.toImage()});
    }
    return FrozenFrame(std::move(shots));
}
