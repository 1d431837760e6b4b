#pragma once

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
    };

    explicit FrozenFrame(QList<Shot> shots)
        : shots_(std::move(shots))
    {
    }

    // Grabs every screen as it is now.
    static FrozenFrame grab();
    // How the overlay's frame is taken: "x11-shm", "wlr-screencopy", "xdg-portal" (the desktop's
    // Screenshot portal, asynchronous: through ScreenFreezer only), or "qt" (Qt's own, other platforms).
    static QString grabMethod();

    const QList<Shot> &shots() const { return shots_; }

private:
    QList<Shot> shots_;
};
