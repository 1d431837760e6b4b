#pragma once

#include "capture/QtScreenGrabber.h"

#include <QString>

#include <functional>
#include <memory>

// Takes the frozen frame through KWin's own screenshot interface: one call per screen, the raw pixels
// through a pipe, nothing on disk, no dialog. KWin answers only programs whose installed menu entry
// declares the interface; once it refuses, `fallback` takes every frame for the rest of the run. A frame
// needed at once is Qt's own.
class KWinScreenShotGrabber : public QtScreenGrabber {
public:
    static const QString service;
    static const QString path;
    static const QString interface;
    // A picture larger than this is not a screen's.
    static constexpr qint64 maximumBytes = qint64(16384) * 16384 * 4;
    // KWin answers within a frame or two; a screen without a picture by then fails the grab.
    static constexpr int timeoutMs = 5000;

    // Whether KWin offers the interface on the session bus.
    static bool isOffered();

    explicit KWinScreenShotGrabber(std::unique_ptr<ScreenGrabber> fallback);
    ~KWinScreenShotGrabber() override;

    QString method() const override;
    void take(QObject *context, std::function<void(FrozenFrame)> done) override;

private:
    void refuse(const QString &reason);

    std::unique_ptr<ScreenGrabber> fallback_;
    bool refused_ = false;
};
