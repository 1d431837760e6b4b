#include "capture/CaptureEncoding.h"

#include "capture/PngWriter.h"
#include "log/DebugLog.h"

QSize CaptureEncoding::visionSize(QSize size)
{
    const int longest = std::max(size.width(), size.height());
    if (longest <= maxAnthropicVisionEdge)
        return size;
    // Integer arithmetic gives the exact floor of side × 1568 / longest, with the longest side exactly 1568.
    const auto reduced = [longest](int side) {
        return std::max(1, int(qint64(side) * maxAnthropicVisionEdge / longest));
    };
    return QSize(reduced(size.width()), reduced(size.height()));
}

QImage CaptureEncoding::resizeForVisionIfNeeded(const QImage &image)
{
    const QSize size = visionSize(image.size());
    if (size == image.size())
        return image;
    DebugLog::log(QStringLiteral("Capture"), u"Resized image for Anthropic/OpenAI vision from=" +
                                                 QString::number(image.width()) + u'x' +
                                                 QString::number(image.height()) + u" to=" +
                                                 QString::number(size.width()) + u'x' + QString::number(size.height()));
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QByteArray CaptureEncoding::png(const QImage &image)
{
    return PngWriter::write(image);
}
