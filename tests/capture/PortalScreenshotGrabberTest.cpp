#include "capture/PortalScreenshotGrabber.h"
#include "support/FakeDesktopPortal.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Two screens side by side, the right one lower, each painted its own colour.
const QList<ScreenInfo> screens{{QRect(0, 0, 1920, 1080), 1}, {QRect(1920, 200, 1280, 800), 2}};

QImage desktop(qreal scale)
{
    QImage image((QSizeF(3200, 1080) * scale).toSize(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.scale(scale, scale);
    painter.fillRect(screens[0].frame, Qt::red);
    painter.fillRect(screens[1].frame, Qt::blue);
    return image;
}

// The desktop's one picture becomes each screen's own, at the scale the desktop took it.
TEST(PortalScreenshotGrabberTest, SplitsTheDesktopByScreen)
{
    for (const qreal scale : {1.0, 2.0, 1.5}) {
        const FrozenFrame frame = PortalScreenshotGrabber::split(desktop(scale), screens);
        ASSERT_EQ(frame.shots().size(), 2) << scale;
        for (int i = 0; i < 2; ++i) {
            const QImage &picture = frame.shots()[i].picture;
            EXPECT_EQ(frame.shots()[i].screen, screens[i]);
            EXPECT_EQ(picture.size(), (QSizeF(screens[i].frame.size()) * scale).toSize()) << scale;
            EXPECT_EQ(picture.deviceIndependentSize(), QSizeF(screens[i].frame.size())) << scale;
            const QColor colour = i == 0 ? Qt::red : Qt::blue;
            EXPECT_EQ(picture.pixelColor(0, 0), colour) << scale;
            EXPECT_EQ(picture.pixelColor(picture.width() - 1, picture.height() - 1), colour) << scale;
        }
    }
    EXPECT_TRUE(PortalScreenshotGrabber::split(QImage(), screens).shots().isEmpty());
}

class PortalScreenshotGrabberBusTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    FakeDesktopPortal portal;
    PortalScreenshotGrabber grabber;
    QObject context;

    void SetUp() override
    {
        portal.screenshotDir = dir.path();
        ASSERT_TRUE(portal.publish());
    }

    std::optional<FrozenFrame> grab()
    {
        std::optional<FrozenFrame> result;
        grabber.take(&context, [&](FrozenFrame frame) { result = std::move(frame); });
        QTest::qWaitFor([&] { return result.has_value(); }, 10000);
        return result;
    }
};

// The desktop's file is read and deleted; an answer that waited for the user is taken again, so the
// permission dialog is not in the frame; a refusal gives an empty frame.
TEST_F(PortalScreenshotGrabberBusTest, ReadsDeletesRetakesAfterADialogAndReportsARefusal)
{
    const struct {
        int delayMs;
        int pictures;
        bool expectFrame;
    } cases[] = {
        {0, 1, true},
        {PortalScreenshotGrabber::dialogThresholdMs + 300, 2, true},
        {0, 0, false},
    };
    for (const auto &c : cases) {
        portal.screenshotFiles.clear();
        portal.screenshotDelayMs = c.delayMs;
        QImage later = desktop(1);
        later.fill(Qt::green);
        portal.screenshots = c.pictures == 2 ? QList<QImage>{desktop(1), later} : QList<QImage>(c.pictures, later);
        const std::optional<FrozenFrame> frame = grab();
        ASSERT_TRUE(frame) << c.delayMs;
        EXPECT_EQ(portal.screenshotFiles.size(), c.pictures) << c.delayMs;
        for (const QString &file : portal.screenshotFiles)
            EXPECT_FALSE(QFile::exists(file)) << file.toStdString();
        // One picture per screen of this process.
        ASSERT_EQ(frame->shots().size(), c.expectFrame ? QGuiApplication::screens().size() : 0) << c.delayMs;
        if (c.expectFrame) // the last picture, taken without a dialog
            EXPECT_EQ(frame->shots()[0].picture.pixelColor(10, 10), QColor(Qt::green)) << c.delayMs;
    }
}

} // namespace
