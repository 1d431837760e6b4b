#include "capture/ScreenFreezer.h"
#include "capture/X11PixmapGrabber.h"

#include <QApplication>
#include <QPixmap>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

// With an XEmbed tray on the display, the application's tray icon is one of its top-level windows.
TEST(ScreenFreezerTray, FreezingLeavesTheDockedTrayIconAlone)
{
    const QString trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    if (trayer.isEmpty())
        GTEST_SKIP() << "trayer is not installed";
    QProcess tray;
    tray.start(trayer, {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                        QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                        QStringLiteral("--width"), QStringLiteral("100")});
    ASSERT_TRUE(tray.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor(QSystemTrayIcon::isSystemTrayAvailable, 5000));

    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::red);
    QSystemTrayIcon icon{QIcon(pixmap)};
    icon.show();
    const auto visibleTopLevels = [] {
        int count = 0;
        for (const QWidget *widget : QApplication::topLevelWidgets())
            count += widget->isVisible();
        return count;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return visibleTopLevels() == 1; }, 5000));

    // Nothing of ours needs to leave the screen, so the frame comes at once and the icon stays docked.
    X11PixmapGrabber grabber;
    ScreenFreezer freezer(grabber);
    QObject context;
    bool frozen = false;
    int visibleWhileFreezing = -1;
    freezer.freeze(&context, [&](std::shared_ptr<const FrozenFrame> frame) {
        frozen = frame != nullptr;
        visibleWhileFreezing = visibleTopLevels();
    });
    EXPECT_TRUE(frozen);
    EXPECT_EQ(visibleWhileFreezing, 1);

    icon.hide();
    tray.terminate();
    tray.waitForFinished();
}
