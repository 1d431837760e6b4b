// The session's real windows on the X display with openbox (no compositor), clicked with XTest: whatever
// is clicked, the overlay stays under the query panel, the panel under the image preview, and a window
// opened meanwhile above them all, with the keyboard where the user left it. What is on screen is read
// back from the X server.

#include "app/AppSessionWindows.h"
#include "app/OnboardingWindowController.h"
#include "app/PermissionChecker.h"
#include "app/SettingsRootView.h"
#include "app/TrayController.h"
#include "app/UpdateController.h"
#include "capture/ScreenCaptureService.h"
#include "capture/ScreenFreezer.h"
#include "capture/SystemScreenCatalog.h"
#include "capture/X11Desk.h"
#include "capture/X11PixmapGrabber.h"
#include "drawing/OverlayWindow.h"
#include "drawing/OverlayWindowController.h"
#include "input/XTestDriver.h"
#include "panel/ImagePreviewWindowController.h"
#include "panel/QueryPanelContentView.h"
#include "panel/QueryPanelController.h"
#include "providers/ModelCatalog.h"
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

class PressCounter : public QObject {
public:
    int presses = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        presses += event->type() == QEvent::MouseButtonPress;
        return false;
    }
};

QImage onScreen(const QRect &area)
{
    QScreen *screen = QGuiApplication::screenAt(area.center());
    const QPoint at = area.topLeft() - screen->geometry().topLeft();
    return screen->grabWindow(0, at.x(), at.y(), area.width(), area.height()).toImage();
}

// Whether the screen shows the window's own rendering, its rounded corners aside.
bool showsOwnRendering(QWidget *window)
{
    const QRect inner = window->rect().adjusted(16, 16, -16, -16);
    const QImage shown = onScreen(inner.translated(window->geometry().topLeft()));
    const QImage own = window->grab(inner).toImage();
    int same = 0;
    for (int y = 0; y < inner.height(); y += 7)
        for (int x = 0; x < inner.width(); x += 7)
            same += qAbs(qGray(shown.pixel(x, y)) - qGray(own.pixel(x, y))) < 8;
    return window->isVisible() && same > (inner.width() / 7) * (inner.height() / 7) * 95 / 100;
}

bool shownOnScreen(QWidget *window)
{
    return QTest::qWaitFor([window] { return showsOwnRendering(window); });
}

bool hasKeyboard(QWidget *window)
{
    return QTest::qWaitFor([window] { return QGuiApplication::focusWindow() == window->windowHandle(); });
}

// Presses the left button at a point and returns once the window there has seen the press: the window
// manager has done its part by then. The caller releases.
void pressOn(QWidget *window, QPoint global)
{
    PressCounter counter;
    window->windowHandle()->installEventFilter(&counter);
    XTestDriver::moveTo(global);
    XTestDriver::press(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.presses > 0; }));
    window->windowHandle()->removeEventFilter(&counter);
}

class WindowStackingX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != u"xcb" || QGuiApplication::screens().size() < 2)
            GTEST_SKIP() << "needs the two-monitor X display of scripts/test";
        QList<QRect> monitors;
        for (const QScreen *screen : QGuiApplication::screens())
            monitors << screen->geometry();
        desk.paintPattern(monitors);
        settings.setSubmitMode(SubmitMode::SingleStroke);
        session.setSettings(&settings);
        session.begin(true);
        waitForOverlay();
        XTestDriver::moveTo({300, 200});
        XTestDriver::press(1);
        XTestDriver::moveTo({420, 240});
        XTestDriver::release(1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return panel() && panel()->window()->windowOpacity() == 1.0; }, 5000));
        ASSERT_TRUE(shownOnScreen(panel()->window()));
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

    X11Desk desk;
    QTemporaryDir dir;
    SettingsManager settings{dir.filePath(QStringLiteral("glint.conf")), std::make_unique<MemorySecrets>()};
    X11PixmapGrabber grabber;
    ScreenFreezer freezer{grabber};
    ScreenCaptureService capturer{freezer};
    SystemScreenCatalog screens;
    ModelCatalog models;
    AppSessionWindows windows{freezer, {models}, [] {}};
    AnnotationSession session{SessionNeighbours{&windows, &capturer, &screens, nullptr, nullptr}};
};

TEST_F(WindowStackingX11Test, ThePanelStaysOnTopOfTheOverlayWithItsCornersClear)
{
    // Without a compositor the rounded corners show the frozen desktop, not black.
    const QRect frame = panel()->window()->geometry();
    const QImage around = onScreen(frame.adjusted(-24, -24, 24, 24));
    if (const QString artifacts = qEnvironmentVariable("GLINT_ARTIFACTS_DIR"); !artifacts.isEmpty()) {
        QDir().mkpath(artifacts);
        around.save(QDir(artifacts).filePath(QStringLiteral("panel-corners-openbox.png")));
    }
    for (const QPoint corner : {QPoint(2, 2), QPoint(frame.width() - 3, 2)})
        EXPECT_EQ(around.pixelColor(corner + QPoint(24, 24)), X11Desk::patternAt(frame.topLeft() + corner, 0));

    pressOn(overlayWindow(), {200, 500});
    XTestDriver::release(1);
    EXPECT_TRUE(shownOnScreen(panel()->window()));
    EXPECT_TRUE(hasKeyboard(panel()->window()));

    // The first press of an additional capture's stroke, too.
    session.beginAdditionalCapture(true);
    waitForOverlay();
    EXPECT_TRUE(shownOnScreen(panel()->window()));
    pressOn(overlayWindow(), {300, 300});
    XTestDriver::moveTo({340, 330});
    EXPECT_TRUE(shownOnScreen(panel()->window()));
    XTestDriver::release(1);
}

// The preview of an attachment above the panel, the settings window opened from the panel above both;
// clicks on the panel or the overlay change none of it.
TEST_F(WindowStackingX11Test, PreviewAboveThePanelAndTheSettingsAboveAll)
{
    QImage picture(1600, 900, QImage::Format_RGB32); // large enough to reach down behind the panel
    picture.fill(QColor(40, 160, 90));
    ImagePreviewWindowController preview(picture, QStringLiteral("Screenshot"));
    preview.showWindow();
    ASSERT_TRUE(shownOnScreen(preview.window()));
    const QRect panelFrame = panel()->window()->geometry();
    ASSERT_TRUE(preview.window()->geometry().intersects(panelFrame));
    pressOn(panel()->window(), QPoint(panelFrame.center().x(), panelFrame.bottom() - 12)); // the footer's gap
    XTestDriver::release(1);
    EXPECT_TRUE(shownOnScreen(preview.window()));

    PermissionChecker permissions;
    UpdateController updates{QUrl()};
    TrayController menu(settings, permissions, updates);
    menu.openSettingsWindow();
    QWidget *settingsWindow = menu.settingsWindow();
    EXPECT_TRUE(shownOnScreen(settingsWindow));
    EXPECT_TRUE(hasKeyboard(settingsWindow));

    // Somewhere on the overlay clear of the windows above it, wherever the window manager put them.
    const QList<QPoint> candidates{{1880, 400}, {1880, 40}, {40, 1040}};
    const auto clear = std::find_if(candidates.begin(), candidates.end(), [&](QPoint p) {
        return !preview.window()->frameGeometry().contains(p) && !settingsWindow->frameGeometry().contains(p);
    });
    ASSERT_NE(clear, candidates.end());
    pressOn(overlayWindow(), *clear);
    XTestDriver::release(1);
    EXPECT_TRUE(shownOnScreen(settingsWindow));
    EXPECT_TRUE(hasKeyboard(settingsWindow));
    preview.window()->close();
}

// A window already open when the session begins (the settings; the set-up window, which otherwise stays
// on top) is put away for the frozen frame and comes back where it was, under the session's windows, however
// the window manager hands out the keyboard meanwhile, and is seen again once the session is over.
class WindowOpenBeforeTheSessionX11Test : public WindowStackingX11Test, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != u"xcb")
            GTEST_SKIP() << "needs an X display";
        if (GetParam())
            setup.show();
        else
            menu.openSettingsWindow();
        ASSERT_TRUE(shownOnScreen(opened()));
        placed = opened()->geometry();
        WindowStackingX11Test::SetUp();
    }

    QWidget *opened() const { return GetParam() ? setup.window() : menu.settingsWindow(); }

    PermissionChecker permissions;
    UpdateController updates{QUrl()};
    TrayController menu{settings, permissions, updates};
    OnboardingWindowController setup{{OnboardingStep::complete()}, permissions, settings, [] {}};
    QRect placed;
};

TEST_P(WindowOpenBeforeTheSessionX11Test, ComesBackInItsPlaceUnderTheSession)
{
    QWidget *window = opened();
    QTest::qWait(300); // for any activation by the window manager to have been handled
    window->raise();   // as a window manager may, say when the window asks for attention
    EXPECT_EQ(window->geometry(), placed);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(showsOwnRendering(window));
    EXPECT_TRUE(shownOnScreen(panel()->window()));
    pressOn(panel()->window(), panel()->window()->geometry().center());
    XTestDriver::release(1);
    EXPECT_TRUE(shownOnScreen(panel()->window()));
    EXPECT_FALSE(showsOwnRendering(window));

    session.cancel();
    EXPECT_TRUE(shownOnScreen(window));
}

INSTANTIATE_TEST_SUITE_P(Windows, WindowOpenBeforeTheSessionX11Test, ::testing::Bool(),
                         [](const auto &info) { return std::string(info.param ? "SetUp" : "Settings"); });

} // namespace
