#include "capture/PngWriter.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

QImage noise(QImage::Format format)
{
    QImage image(37, 23, format);
    QRandomGenerator random(11);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, random.generate());
    return image;
}

} // namespace

// Channel order, the dropped filler byte and alpha survive a round trip through Qt's reader.
TEST(PngWriter, WritesExactlyThePixelsGiven)
{
    for (const QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888}) {
        const QImage image = noise(format);
        const QImage back = QImage::fromData(PngWriter::write(image), "PNG");
        ASSERT_EQ(back.size(), image.size()) << format;
        EXPECT_EQ(back.hasAlphaChannel(), image.hasAlphaChannel()) << format;
        const QImage::Format common = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        EXPECT_EQ(back.convertToFormat(common), image.convertToFormat(common)) << format;
    }
}

TEST(PngWriter, WritesNothingForANullImage)
{
    EXPECT_TRUE(PngWriter::write(QImage()).isEmpty());
}
