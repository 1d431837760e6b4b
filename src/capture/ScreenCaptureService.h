#pragma once

#include "capture/FrozenFrame.h"
#include "session/ScreenCapturer.h"

class ScreenFreezer;

// Cuts the screenshot of one display out of the frozen frame the overlay showed, burns the strokes
// in, reduces it for the vision models and encodes it as PNG. Composition and encoding run on a
// worker thread.
class ScreenCaptureService : public ScreenCapturer {
public:
    explicit ScreenCaptureService(ScreenFreezer &freezer);

    QFuture<CaptureResult> captureWithAnnotations(std::optional<quint32> displayID,
                                                  const QImage &drawingOverlay) override;

    // The screenshot of `shot`'s display, one pixel per logical point and reduced for the vision
    // models, with `overlay` stretched over all of it.
    static QImage compose(const FrozenFrame::Shot &shot, const QImage &overlay);

private:
    static const FrozenFrame::Shot *matchDisplay(std::optional<quint32> displayID, const FrozenFrame &frame);

    ScreenFreezer &freezer_;
};
