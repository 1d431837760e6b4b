#pragma once

#include "capture/QtScreenGrabber.h"
#include "portal/PortalRequest.h"

#include <QElapsedTimer>

#include <functional>

// Takes the frozen frame through the desktop's Screenshot portal, the way on GNOME and KDE Plasma:
// one picture of the whole desktop, read from the file the portal names and deleted at once, then cut
// into one picture per screen. The first use makes the desktop ask the user; a frame whose answer took
// that long is taken again, so that the dialog is not in it. A frame needed at once is Qt's own.
class PortalScreenshotGrabber : public QtScreenGrabber {
public:
    // An answer slower than this had the user answer a dialog first.
    static constexpr int dialogThresholdMs = 1000;

    // Whether the desktop offers the portal.
    static bool isOffered();

    QString method() const override { return QStringLiteral("xdg-portal"); }

    // An empty frame when the desktop refused.
    void take(QObject *context, std::function<void(FrozenFrame)> done) override;

    // `desktop` covers the union of the screens' frames, at any scale; each screen gets its part.
    static FrozenFrame split(const QImage &desktop, const QList<ScreenInfo> &screens);

private:
    void request(QObject *context, std::function<void(FrozenFrame)> done, bool retried);

    PortalRequest request_;
};
