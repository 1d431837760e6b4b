#include "panel/ImagePreviewWindowController.h"

#include <QPointer>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

TEST(ImagePreviewWindowController, LargeImagesShrinkToTheScreenSmallOnesGetTheMinimum)
{
    const QSizeF large = ImagePreviewWindowController::contentSize(QSizeF(3000, 2000), QSizeF(1440, 900));
    EXPECT_NEAR(large.width(), 1147.5, 0.01);
    EXPECT_NEAR(large.height(), 765, 0.01);
    EXPECT_EQ(ImagePreviewWindowController::contentSize(QSizeF(200, 100), QSizeF(1440, 900)), QSizeF(320, 240));
    EXPECT_EQ(ImagePreviewWindowController::contentSize(QSizeF(0, 0), QSizeF(1440, 900)), QSizeF(320, 240));
    EXPECT_EQ(ImagePreviewWindowController::contentSize(QSizeF(1000, 600), QSizeF(1440, 900)), QSizeF(1000, 600));
    // Narrow but tall: scaled for the height, then raised to the minimum width.
    EXPECT_EQ(ImagePreviewWindowController::contentSize(QSizeF(100, 1530), QSizeF(1440, 900)), QSizeF(320, 765));
}

TEST(ImagePreviewWindowController, EscapeOrSpaceClosesThePreview)
{
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::red);
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Space}) {
        ImagePreviewWindowController controller(image, u"Screenshot"_qs);
        controller.showWindow();
        QPointer<QWidget> window = controller.window();
        ASSERT_TRUE(window);
        EXPECT_EQ(window->windowTitle(), u"Screenshot"_qs);
        EXPECT_EQ(window->size(), QSize(320, 240));
        QTest::keyClick(window, key);
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, 1000));
    }
}
