#include "capture/ScreenCaptureService.h"
#include "capture/QtScreenGrabber.h"
#include "capture/ScreenFreezer.h"
#include "support/LogRecorder.h"

#include <QSemaphore>
#include <QThreadPool>
#include <QtConcurrent>

#include <gtest/gtest.h>

namespace {

QImage filled(QSize size, const QColor &color, qreal ratio = 1.0)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    image.setDevicePixelRatio(ratio);
    return image;
}

QImage transparent(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

CaptureResult wait(QFuture<CaptureResult> future)
{
    future.waitForFinished();
    return future.result();
}

QImage decoded(const CaptureResult &result)
{
    EXPECT_FALSE(result.errorDescription) << result.errorDescription->toStdString();
    return QImage::fromData(result.imageData, "PNG");
}

// Two displays: 10 (grey) and 20 (blue), side by side.
struct CaptureRig {
    QtScreenGrabber grabber;
    ScreenFreezer freezer{grabber};
    ScreenCaptureService service{freezer};
    std::shared_ptr<const FrozenFrame> frame;

    explicit CaptureRig(QSize secondSize = QSize(2560, 1440))
    {
        frame = freezer.adopt(FrozenFrame({
            {ScreenInfo{QRect(QPoint(0, 0), QSize(1568, 980)), 10u}, filled(QSize(1568, 980), Qt::gray)},
            {ScreenInfo{QRect(QPoint(1568, 0), secondSize), 20u}, filled(secondSize, Qt::blue)},
        }));
    }
};

} // namespace

TEST(ScreenCaptureService, ReducesLargeDisplaysToTheVisionLimitWithFloorRounding)
{
    for (const auto &[display, expected] :
         {std::pair(QSize(2560, 1440), QSize(1568, 882)), std::pair(QSize(1440, 2560), QSize(882, 1568))}) {
        CaptureRig rig(display);
        LogRecorder log;
        const CaptureResult result = wait(rig.service.captureWithAnnotations(20u, transparent(display)));
        const QImage png = decoded(result);
        EXPECT_EQ(png.size(), expected);
        EXPECT_EQ(png.pixelColor(png.width() / 2, png.height() / 2), QColor(Qt::blue));

        const QStringList lines = log.messages(QStringLiteral("Capture"));
        ASSERT_EQ(lines.size(), 5) << lines.join(u'\n').toStdString();
        const auto size = [](QSize s) -> QString {
            return QString::number(s.width()) + u'x' + QString::number(s.height());
        };
        EXPECT_EQ(lines[0], u"Starting capture targetDisplayID=20 overlaySize=" + size(display));
        EXPECT_EQ(lines[1], u"Matched requested display id=20 to SCDisplay");
        EXPECT_TRUE(lines[2].startsWith(u"Using display id=20 size=" + size(display) + u" windowCount="));
        EXPECT_EQ(lines[3],
                  u"Resized image for Anthropic/OpenAI vision from=" + size(display) + u" to=" + size(expected));
        EXPECT_EQ(lines[4], u"Capture finished finalSize=" + size(expected) + u" pngBytes=" +
                                QString::number(result.imageData.size()));
    }
}

TEST(ScreenCaptureService, LeavesADisplayWithinTheLimitUnchanged)
{
    CaptureRig rig;
    LogRecorder log;
    const QImage png = decoded(wait(rig.service.captureWithAnnotations(10u, transparent(QSize(1568, 980)))));
    EXPECT_EQ(png.size(), QSize(1568, 980));
    EXPECT_EQ(png.pixelColor(5, 5), QColor(Qt::gray));
    EXPECT_FALSE(log.messages(QStringLiteral("Capture")).join(u'\n').contains(u"Resized"));
}

TEST(ScreenCaptureService, TakesTheFirstDisplayWhenNoneOrAnUnknownOneIsAsked)
{
    CaptureRig rig;
    LogRecorder log;
    EXPECT_EQ(decoded(wait(rig.service.captureWithAnnotations(std::nullopt, {}))).size(), QSize(1568, 980));
    const QStringList quiet = log.messages(QStringLiteral("Capture"));
    EXPECT_EQ(quiet[0], u"Starting capture targetDisplayID=nil overlaySize=0x0");
    EXPECT_TRUE(quiet[1].startsWith(u"Using display id=10 size=1568x980 windowCount="));

    log.clear();
    EXPECT_EQ(decoded(wait(rig.service.captureWithAnnotations(99u, {}))).size(), QSize(1568, 980));
    EXPECT_TRUE(log.contains(QStringLiteral("Capture"), QStringLiteral("Falling back to first display because "
                                                                       "target display id=99 could not be matched")));
}

TEST(ScreenCaptureService, StretchesTheStrokesOverTheWholeDisplay)
{
    CaptureRig rig;
    // A quarter-size overlay whose left half is red.
    QImage overlay = transparent(QSize(392, 245));
    for (int y = 0; y < overlay.height(); ++y)
        for (int x = 0; x < overlay.width() / 2; ++x)
            overlay.setPixelColor(x, y, Qt::red);
    const QImage png = decoded(wait(rig.service.captureWithAnnotations(10u, overlay)));
    EXPECT_EQ(png.pixelColor(20, 900), QColor(Qt::red));
    EXPECT_EQ(png.pixelColor(700, 500), QColor(Qt::red));
    EXPECT_EQ(png.pixelColor(900, 500), QColor(Qt::gray));
    EXPECT_EQ(png.pixelColor(1560, 970), QColor(Qt::gray));
}

TEST(ScreenCaptureService, CapturesOnePixelPerPointOnDenseDisplays)
{
    QtScreenGrabber grabber;
    ScreenFreezer freezer(grabber);
    ScreenCaptureService service(freezer);
    const auto frame = freezer.adopt(
        FrozenFrame({{ScreenInfo{QRect(0, 0, 800, 600), 1u}, filled(QSize(1600, 1200), Qt::green, 2.0)}}));
    const QImage png = decoded(wait(service.captureWithAnnotations(1u, transparent(QSize(800, 600)))));
    EXPECT_EQ(png.size(), QSize(800, 600));
    EXPECT_EQ(png.pixelColor(400, 300), QColor(Qt::green));
}

TEST(ScreenCaptureService, ReportsAMissingDisplay)
{
    QtScreenGrabber grabber;
    ScreenFreezer freezer(grabber);
    ScreenCaptureService service(freezer);
    const auto frame = freezer.adopt(FrozenFrame({}));
    const CaptureResult result = wait(service.captureWithAnnotations(1u, {}));
    EXPECT_TRUE(result.imageData.isEmpty());
    ASSERT_TRUE(result.errorDescription);
    EXPECT_TRUE(result.errorDescription->contains(u"ScreenCaptureError error 0"));
}

TEST(ScreenCaptureService, ACancelledCaptureEndsCancelledWithoutAnImage)
{
    CaptureRig rig;
    LogRecorder log;
    // Keep every worker busy so the capture is still waiting when it is cancelled.
    QThreadPool *pool = QThreadPool::globalInstance();
    QSemaphore release;
    QList<QFuture<void>> blockers;
    for (int i = 0; i < pool->maxThreadCount(); ++i)
        blockers << QtConcurrent::run([&release] { release.acquire(); });

    QFuture<CaptureResult> future = rig.service.captureWithAnnotations(20u, {});
    future.cancel();
    release.release(pool->maxThreadCount());
    future.waitForFinished();
    for (QFuture<void> &blocker : blockers)
        blocker.waitForFinished();

    EXPECT_TRUE(future.isCanceled());
    EXPECT_EQ(future.resultCount(), 0);
    EXPECT_FALSE(log.messages(QStringLiteral("Capture")).join(u'\n').contains(u"Capture finished"));
}
