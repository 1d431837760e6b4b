#pragma once

#include <QByteArray>
#include <QImage>

// How a capture is handed to the model providers: at most 1568 pixels on its longest side, as PNG.
class CaptureEncoding {
public:
    CaptureEncoding() = delete;

    static constexpr int maxAnthropicVisionEdge = 1568;

    // `size` reduced to the longest side 1568 (sides rounded down, at least 1), or unchanged when it fits.
    static QSize visionSize(QSize size);

    // The image itself when it is small enough, else a copy reduced to the longest side 1568 (sides
    // rounded down). Logs the reduction under "Capture".
    static QImage resizeForVisionIfNeeded(const QImage &image);

    // PNG bytes; empty when the image cannot be encoded.
    static QByteArray png(const QImage &image);

    // Both steps: what a capture or an image given on the command line becomes.
    static QByteArray visionPng(const QImage &image) { return png(resizeForVisionIfNeeded(image)); }
};
