// The session's real windows on the X display with openbox, clicked with XTest: whatever is clicked, the
// overlay stays under the query panel, the panel under the image preview, and a window opened meanwhile
// above them all, with the keyboard where the user left it. What is on screen is read back from the
// X server.

#include "app/AppSessionWindows.h"
#include "app/MenuBarController.h"
#include "app/PermissionChecker.h"
#include "app/SettingsRootView.h"
#include "app/UpdateController.h"
#include "capture/ScreenCaptureService.h"
#include "capture/ScreenFreezer.h"
#include "capture/SystemScreenCatalog.h"
#include "capture/X11Desk.h"
#include "drawing/OverlayWindow.h"
#include "drawing/OverlayWindowController.h"
#include "input/XTestDriver.h"
#include "panel/ImagePreviewWindowController.h"
#include "panel/QueryPanelContentView.h"
#include "panel/QueryPanelController.h"
#include "session/AnnotationSession.h"
#include "session/SessionDoubles.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

// Counts the presses that reach a window, whichever of its widgets they land on.
class ClickCounter : public QObject {
public:
    int presses = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        presses += event->type() == QEvent::MouseButtonPress;
        return false;
    }
};

class WindowStackingX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != u"xcb" || QGuiApplication::screens().size() < 2)
            GTEST_SKIP() << "needs the two-monitor X display of scripts/test";
        settings.setSubmitMode(SubmitMode::SingleStroke);
        session.setSettings(&settings);
    }

    void TearDown() override
    {
        session.cancel();
        QTest::qWait(300); // the panel fades out
    }

    QueryPanelController *panel() const { return dynamic_cast<QueryPanelController *>(session.queryPanelController()); }

    OverlayWindow *overlayWindow() const
    {
        auto *overlay = dynamic_cast<OverlayWindowController *>(session.overlayController());
        return overlay ? overlay->windows().first().data() : nullptr;
    }

    void waitForOverlay()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return overlayWindow() && overlayWindow()->isVisible(); }, 5000));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(overlayWindow()));
    }

    // A stroke on the first screen, well above where the panel opens.
    static void drawStroke()
    {
        XTestDriver::moveTo({300, 200});
        XTestDriver::press(1);
        XTestDriver::moveTo({360, 240});
        XTestDriver::moveTo({420, 220});
        XTestDriver::release(1);
    }

    void openPanel()
    {
        session.begin(true);
        waitForOverlay();
        drawStroke();
        ASSERT_TRUE(QTest::qWaitFor([&] { return panel() && panel()->window()->windowOpacity() == 1.0; }, 5000));
        ASSERT_TRUE(shownOnScreen(panel()->window()));
    }

    // Whether the screen shows the window's own rendering, rounded corners left aside; waits for it.
    static bool shownOnScreen(QWidget *window, int timeoutMs = 3000)
    {
        return QTest::qWaitFor([&] { return matchesScreen(window); }, timeoutMs);
    }

    static bool matchesScreen(QWidget *window)
    {
        if (!window->isVisible())
            return false;
        const QRect area = window->geometry().adjusted(16, 16, -16, -16);
        QScreen *screen = QGuiApplication::screenAt(area.center());
        const QImage shown = screen
                                 ->grabWindow(0, area.x() - screen->geometry().x(), area.y() - screen->geometry().y(),
                                              area.width(), area.height())
                                 .toImage();
        const QImage own = window->grab(QRect(QPoint(16, 16), area.size())).toImage();
        if (shown.size() != own.size())
            return false;
        int same = 0;
        int samples = 0;
        for (int y = 0; y < area.height(); y += 7) {
            for (int x = 0; x < area.width(); x += 7) {
                const QColor a = shown.pixelColor(x, y);
                const QColor b = own.pixelColor(x, y);
                ++samples;
                same += qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 24;
            }
        }
        return same > samples * 95 / 100;
    }

    // Clicks at a point once the window there has seen the press: by then the window manager has done
    // all it does for it (a press on the panel may start a move, which takes the release).
    static void clickOn(QWidget *window, QPoint global)
    {
        ClickCounter counter;
        window->windowHandle()->installEventFilter(&counter);
        XTestDriver::moveTo(global);
        XTestDriver::press(1);
        EXPECT_TRUE(QTest::qWaitFor([&] { return counter.presses > 0; }, 3000));
        XTestDriver::release(1);
        window->windowHandle()->removeEventFilter(&counter);
    }

    static bool hasKeyboard(QWidget *window)
    {
        return QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == window->windowHandle(); }, 3000);
    }

    QTemporaryDir dir;
    SettingsManager settings{dir.filePath(QStringLiteral("glint.conf")), std::make_unique<MemorySecrets>()};
    ScreenFreezer freezer;
    ScreenCaptureService capturer{freezer};
    SystemScreenCatalog screens;
    AppSessionWindows windows{freezer, [] {}};
    AnnotationSession session{SessionNeighbours{&windows, &capturer, &screens, nullptr, nullptr}};
};

TEST_F(WindowStackingX11Test, AClickOnTheOverlayLeavesThePanelOnTopWithTheKeyboard)
{
    openPanel();
    ASSERT_TRUE(hasKeyboard(panel()->window()));

    clickOn(overlayWindow(), {200, 500});
    EXPECT_TRUE(shownOnScreen(panel()->window()));
    EXPECT_TRUE(hasKeyboard(panel()->window()));
}

TEST_F(WindowStackingX11Test, TheFirstPressOfAnAdditionalCaptureLeavesThePanelOnTop)
{
    openPanel();
    session.beginAdditionalCapture(true);
    waitForOverlay();
    EXPECT_TRUE(shownOnScreen(panel()->window()));

    ClickCounter counter;
    overlayWindow()->windowHandle()->installEventFilter(&counter);
    XTestDriver::moveTo({300, 300});
    XTestDriver::press(1);
    XTestDriver::moveTo({340, 330});
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.presses > 0; }, 3000));
    EXPECT_TRUE(shownOnScreen(panel()->window()));
    XTestDriver::release(1);
    overlayWindow()->windowHandle()->removeEventFilter(&counter);
}

// The preview of an attachment above the panel, and the settings window opened from the panel above both;
// clicks on the panel or the overlay change none of it.
TEST_F(WindowStackingX11Test, PreviewAboveThePanelAndTheSettingsAboveAll)
{
    openPanel();
    QImage picture(1600, 900, QImage::Format_RGB32); // large enough to reach down behind the panel
    picture.fill(QColor(40, 160, 90));
    ImagePreviewWindowController preview(picture, QStringLiteral("Screenshot"));
    preview.showWindow();
    ASSERT_TRUE(shownOnScreen(preview.window()));
    ASSERT_TRUE(preview.window()->geometry().intersects(panel()->window()->geometry()));

    const QRect panelFrame = panel()->window()->geometry();
    clickOn(panel()->window(), QPoint(panelFrame.center().x(), panelFrame.bottom() - 12)); // the footer's gap
    EXPECT_TRUE(shownOnScreen(preview.window()));

    PermissionChecker permissions;
    UpdateController updates{QUrl()};
    MenuBarController menu(settings, permissions, updates);
    menu.openSettingsWindow();
    QWidget *settingsWindow = menu.settingsWindow();
    EXPECT_TRUE(shownOnScreen(settingsWindow));
    EXPECT_TRUE(hasKeyboard(settingsWindow));

    // Somewhere on the overlay clear of the windows above it, wherever the window manager put them.
    QPoint onOverlay;
    for (const QPoint candidate : {QPoint(1880, 400), QPoint(1880, 40), QPoint(40, 1040)}) {
        const QWidget *above[] = {preview.window(), settingsWindow, panel()->window()};
        if (std::none_of(std::begin(above), std::end(above),
                         [&](const QWidget *w) { return w->frameGeometry().contains(candidate); })) {
            onOverlay = candidate;
            break;
        }
    }
    ASSERT_FALSE(onOverlay.isNull());
    clickOn(overlayWindow(), onOverlay);
    EXPECT_TRUE(shownOnScreen(settingsWindow));
    EXPECT_TRUE(hasKeyboard(settingsWindow));
    preview.window()->close();
}

// Openbox runs without a compositor: the panel's rounded corners show the frozen desktop, never black.
TEST_F(WindowStackingX11Test, ThePanelsCornersShowTheDesktopBehind)
{
    X11Desk desk;
    QList<QRect> monitors;
    for (const QScreen *screen : QGuiApplication::screens())
        monitors << screen->geometry();
    desk.paintPattern(monitors);
    openPanel();

    const QRect frame = panel()->window()->geometry();
    const QRect around = frame.adjusted(-24, -24, 24, 24);
    QScreen *screen = QGuiApplication::screenAt(frame.center());
    const QPoint origin = screen->geometry().topLeft();
    const QImage shown =
        screen->grabWindow(0, around.x() - origin.x(), around.y() - origin.y(), around.width(), around.height())
            .toImage();
    if (const QString artifacts = qEnvironmentVariable("GLINT_ARTIFACTS_DIR"); !artifacts.isEmpty()) {
        QDir().mkpath(artifacts);
        shown.save(QDir(artifacts).filePath(QStringLiteral("panel-corners-openbox.png")));
    }
    for (const QPoint corner : {frame.topLeft() + QPoint(2, 2), frame.topRight() + QPoint(-2, 2)}) {
        const QColor desktop = X11Desk::patternAt(corner - origin, 0);
        const QColor seen = shown.pixelColor(corner - around.topLeft());
        EXPECT_EQ(seen.rgb(), desktop.rgb())
            << seen.name().toStdString() << " at the corner instead of " << desktop.name().toStdString();
    }
}

} // namespace
