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

    const QList<Shot> &shots() const { return shots_; }

private:
    QList<Shot> shots_;
};
