#include "providers/AnthropicImageCache.h"
#include "support/TestImages.h"

#include "support/LogRecorder.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

namespace {

QByteArray png(int width, int height)
{
    return encodedImage(QSize(width, height), Qt::white);
}

QString failure(const std::variant<EncodedImage, LLMError> &result)
{
    return std::holds_alternative<LLMError>(result) ? std::get<LLMError>(result).description() : QString();
}

const QString limitError = u"Image could not be reduced below Anthropic's 5 MB limit"_qs;

TEST(AnthropicImageEncoder, AScreenshotThatFitsIsOneWebPWithoutLogLines)
{
    LogRecorder log;
    const auto result = AnthropicImageEncoder::encodeImageForAnthropic(png(1568, 882), 5 * 1024 * 1024);
    ASSERT_TRUE(std::holds_alternative<EncodedImage>(result));
    const EncodedImage &image = std::get<EncodedImage>(result);
    EXPECT_EQ(image.mediaType, u"image/webp");
    const QByteArray bytes = QByteArray::fromBase64(image.base64);
    EXPECT_EQ(image.byteCount, bytes.size());
    EXPECT_TRUE(bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP");
    EXPECT_EQ(log.messages("Anthropic"), QStringList{});
}

TEST(AnthropicImageEncoder, FallsBackToJpegWhereWebPCannotEncode)
{
    LogRecorder log;
    const auto result =
        AnthropicImageEncoder::encodeImageForAnthropic(png(17000, 16), 5 * 1024 * 1024); // too wide for WebP
    ASSERT_TRUE(std::holds_alternative<EncodedImage>(result));
    EXPECT_EQ(std::get<EncodedImage>(result).mediaType, u"image/jpeg");
    EXPECT_TRUE(QByteArray::fromBase64(std::get<EncodedImage>(result).base64).startsWith("\xff\xd8"));
    EXPECT_EQ(log.messages("Anthropic"),
              QStringList{"Falling back to JPEG because WebP encoding did not produce a valid payload within limits"});
}

TEST(AnthropicImageEncoder, ShrinksSixTimesAtMostThenGivesUp)
{
    LogRecorder log;
    EXPECT_EQ(failure(AnthropicImageEncoder::encodeImageForAnthropic(png(4000, 3000), 1)), limitError);
    EXPECT_EQ(log.messages("Anthropic"), (QStringList{
                                             "Downscaled image for Anthropic limit attempt=1 size=3280x2460",
                                             "Downscaled image for Anthropic limit attempt=2 size=2689x2017",
                                             "Downscaled image for Anthropic limit attempt=3 size=2204x1653",
                                             "Downscaled image for Anthropic limit attempt=4 size=1807x1355",
                                             "Downscaled image for Anthropic limit attempt=5 size=1481x1111",
                                             "Downscaled image for Anthropic limit attempt=6 size=1214x911",
                                         }));
}

TEST(AnthropicImageEncoder, StopsWhenTheFloorLeavesNothingToShrink)
{
    LogRecorder log;
    EXPECT_EQ(failure(AnthropicImageEncoder::encodeImageForAnthropic(png(300, 200), 1)), limitError);
    EXPECT_EQ(log.messages("Anthropic"), QStringList{"Downscaled image for Anthropic limit attempt=1 size=320x320"});
}

TEST(AnthropicImageEncoder, BytesThatAreNoImageFailBeforeAnyEncoding)
{
    LogRecorder log;
    EXPECT_EQ(failure(AnthropicImageEncoder::encodeImageForAnthropic("%PDF-1.4 not an image", 1 << 20)),
              u"Could not decode screenshot for Anthropic upload");
    EXPECT_EQ(log.lines(), QStringList{});
}

} // namespace

// A screenshot prepared while the question is typed is the one the request carries, and only for the
// size limit it was prepared for.
TEST(AnthropicImageCache, HandsOutWhatWasPreparedForTheSameImageAndLimit)
{
    const QByteArray screenshot = encodedImage(QSize(800, 600), Qt::darkCyan);
    const qsizetype limit = 5 * 1024 * 1024;
    AnthropicImageCache &cache = AnthropicImageCache::instance();
    cache.prepare(screenshot, limit);

    LogRecorder log;
    const auto direct = AnthropicImageEncoder::encodeImageForAnthropic(screenshot, limit);
    const auto cached = cache.encoded(QByteArray(screenshot.constData(), screenshot.size()), limit);
    ASSERT_TRUE(std::holds_alternative<EncodedImage>(cached));
    EXPECT_EQ(std::get<EncodedImage>(cached).base64, std::get<EncodedImage>(direct).base64);

    // A tighter limit is a different encoding, not the cached one.
    EXPECT_EQ(failure(cache.encoded(screenshot, 1)), limitError);
}
