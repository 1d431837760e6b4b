#include "capture/CaptureEncoding.h"

#include "log/DebugLog.h"

#include <QBuffer>

QImage CaptureEncoding::resizeForVisionIfNeeded(const QImage &image) {
    const int longest = std::max(image.width(), image.height());
    if (longest <= maxAnthropicVisionEdge)
        return image;
    // Integer arithmetic gives the exact floor of side × 1568 / longest, with the longest side exactly 1568.
    const auto reduced = [longest](int side) {
        return std::max(1, int(qint64(side) * maxAnthropicVisionEdge / longest));
    };
    const QSize size(reduced(image.width()), reduced(image.height()));
    DebugLog::log(QStringLiteral("Capture"),
                  u"Resized image for Anthropic/OpenAI vision from=" + QString::number(image.width()) + u'x' +
                      QString::number(image.height()) + u" to=" + QString::number(size.width()) + u'x' +
                      QString::number(size.height()));
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QByteArray CaptureEncoding::png(const QImage &image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (image.isNull() || !image.save(&buffer, "PNG"))
        return {};
    return bytes;
}
