#pragma once

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QString>

#include <optional>

// How a capture ended, unless it was cancelled (a cancelled capture is a cancelled future).
struct CaptureResult {
    QByteArray imageData;                    // the encoded screenshot on success
    std::optional<QString> errorDescription; // set when the capture failed
};

// Takes the screenshot of one display with the strokes composited in.
class ScreenCapturer {
public:
    virtual ~ScreenCapturer() = default;
    // Cancelling the returned future asks the capture to stop; it then ends as cancelled.
    virtual QFuture<CaptureResult> captureWithAnnotations(std::optional<quint32> displayID,
                                                          const QImage &drawingOverlay) = 0;
};
