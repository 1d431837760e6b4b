#pragma once

#include <QByteArray>
#include <QImage>

// Lossy WebP through libwebp.
class WebPEncoder {
public:
    WebPEncoder() = delete;

    // `quality` runs from 0 to 1. Empty when the image cannot be encoded (too large for WebP, for example).
    static QByteArray encode(const QImage &image, float quality);
};
