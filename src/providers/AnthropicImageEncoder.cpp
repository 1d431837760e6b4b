#include "providers/AnthropicImageEncoder.h"

#include "log/DebugLog.h"
#include "providers/WebPEncoder.h"

#include <QBuffer>
#include <QImage>

#include <array>
#include <cmath>
#include <optional>

namespace {

constexpr std::array qualityLadder{0.82f, 0.72f, 0.62f, 0.52f, 0.42f, 0.32f};
constexpr double shrinkFactor = 0.82;
constexpr int minimumSide = 320;
constexpr int maxAttempts = 6;

void log(const QString &message)
{
    DebugLog::log(QStringLiteral("Anthropic"), message);
}

QByteArray jpeg(const QImage &image, float quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!image.save(&buffer, "JPEG", qRound(quality * 100)))
        return {};
    return bytes;
}

EncodedImage encoded(const QString &mediaType, const QByteArray &bytes)
{
    return {mediaType, bytes.toBase64(), bytes.size()};
}

std::optional<EncodedImage> encodeWithinLimit(const QImage &image, qsizetype byteLimit)
{
    for (float quality : qualityLadder) {
        const QByteArray webp = WebPEncoder::encode(image, quality);
        if (!webp.isEmpty() && webp.size() <= byteLimit)
            return encoded(QStringLiteral("image/webp"), webp);
    }
    for (float quality : qualityLadder) {
        const QByteArray bytes = jpeg(image, quality);
        if (!bytes.isEmpty() && bytes.size() <= byteLimit) {
            log(QStringLiteral("Falling back to JPEG because WebP encoding did not produce a valid payload within "
                               "limits"));
            return encoded(QStringLiteral("image/jpeg"), bytes);
        }
    }
    return std::nullopt;
}

int shrunk(int side)
{
    return std::max(int(std::floor(side * shrinkFactor)), minimumSide);
}

} // namespace

std::variant<EncodedImage, LLMError> AnthropicImageEncoder::encodeImageForAnthropic(const QByteArray &imageData,
                                                                                    qsizetype byteLimit)
{
    QImage image = QImage::fromData(imageData);
    if (image.isNull())
        return LLMError::imageEncodingFailed(QStringLiteral("Could not decode screenshot for Anthropic upload"));

    for (int attempt = 1; attempt <= maxAttempts; ++attempt) {
        if (std::optional<EncodedImage> result = encodeWithinLimit(image, byteLimit))
            return *result;
        const QSize size(shrunk(image.width()), shrunk(image.height()));
        if (size == image.size())
            break;
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        log(u"Downscaled image for Anthropic limit attempt=" + QString::number(attempt) + u" size=" +
            QString::number(size.width()) + u'x' + QString::number(size.height()));
    }
    return LLMError::imageEncodingFailed(QStringLiteral("Image could not be reduced below Anthropic's 5 MB limit"));
}
