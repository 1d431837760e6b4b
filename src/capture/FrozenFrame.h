#pragma once

#include "capture/ServerPicture.h"
#include "session/ScreenCatalog.h"

#include <QImage>
#include <QList>

#include <memory>

// What every screen showed at one moment. The overlay paints it while the user draws, and captures
// are cut from it, so this application's own windows never appear in a capture.
class FrozenFrame {
public:
    struct Shot {
        ScreenInfo screen;
        QImage picture; // device pixels; its device pixel ratio maps them onto the screen's frame
        // Set instead of `picture` when the display server keeps the pixels.
        std::shared_ptr<const ServerPicture> onServer;

        // The pixels, read back from the server when it keeps them.
        QImage image() const;
    };

    explicit FrozenFrame(QList<Shot> shots)
        : shots_(std::move(shots))
    {
    }

    // Grabs every screen as it is now.
    static FrozenFrame grab();
    // How the overlay's frame is taken: "x11-pixmap" (a copy the X server keeps), "wlr-screencopy",
    // "xdg-portal" (the desktop's Screenshot portal, asynchronous: through ScreenFreezer only), or "qt"
    // (Qt's own, other platforms).
    static QString grabMethod();

    // Whether grabbed frames stay with the display server.
    static bool keptOnServer();

    const QList<Shot> &shots() const { return shots_; }

private:
    QList<Shot> shots_;
};
