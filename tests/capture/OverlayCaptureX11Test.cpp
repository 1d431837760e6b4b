// The whole drawing path on a real X display: the overlay freezes the screens, strokes are driven
// through XTest, and the capture service cuts the locked display out of the frozen frame. Runs at the
// display's own density and again with QT_SCALE_FACTOR=2.

#include "X11Desk.h"
#include "capture/ScreenCaptureService.h"
#include "capture/ScreenFreezer.h"
#include "capture/SystemScreenCatalog.h"
#include "drawing/OverlayWindow.h"
#include "drawing/OverlayWindowController.h"
#include "drawing/OverlayWindows.h"
#include "session/AnnotationSession.h"
#include "support/LogRecorder.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// Only meaningful on X: asks for the xcb platform, when there is a display, before the test main
// creates the application.
const bool onX11 = qEnvironmentVariableIsSet("DISPLAY") && qputenv("QT_QPA_PLATFORM", "xcb");

const QColor strokeRed(255, 0, 0);
const QColor panelMagenta(255, 0, 255);
bool near(const QColor &a, const QColor &b, int tolerance = 10)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

bool reddish(const QColor &c)
{
    return c.red() > 150 && c.green() < 110 && c.blue() < 110;
}

// The query panel stands in as a plain magenta window at the bottom of the locked screen.
class MagentaPanel : public QueryPanel {
public:
    explicit MagentaPanel(const std::optional<ScreenInfo> &screen)
        : window_(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    {
        QPalette palette;
        palette.setColor(QPalette::Window, panelMagenta);
        window_.setPalette(palette);
        window_.setAutoFillBackground(true);
        const QRect frame = screen ? screen->frame : QGuiApplication::primaryScreen()->geometry();
        window_.setGeometry(frame.x() + frame.width() / 2 - 150, frame.bottom() - 250, 300, 200);
    }
    void show() override { window_.show(); }
    void close() override { window_.hide(); }
    void bringToFront() override
    {
        window_.raise();
        window_.activateWindow();
    }
    void focusInput() override {}
    QWidget &window() { return window_; }

private:
    QWidget window_;
};

class RealWindows : public SessionWindows {
public:
    explicit RealWindows(ScreenFreezer &freezer,
                         std::chrono::milliseconds keepWarmFor = OverlayWindows::defaultKeepWarmFor)
        : overlayWindows_(freezer, keepWarmFor)
    {
    }
    std::unique_ptr<Overlay> createOverlay(AnnotationSession &session, bool showToolbar) override
    {
        return std::make_unique<OverlayWindowController>(session, showToolbar, overlayWindows_);
    }
    std::unique_ptr<QueryPanel> createQueryPanel(AnnotationSession &, const std::optional<ScreenInfo> &screen) override
    {
        auto panel = std::make_unique<MagentaPanel>(screen);
        lastPanel = panel.get();
        return panel;
    }
    MagentaPanel *lastPanel = nullptr;

private:
    OverlayWindows overlayWindows_;
};

class OverlayCapture : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != u"xcb" || !desk.isOpen() || QGuiApplication::screens().size() < 2)
            GTEST_SKIP() << "needs the two-monitor X display of scripts/test";
        ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
        QList<QRect> deviceMonitors;
        for (const QScreen *screen : QGuiApplication::screens())
            deviceMonitors << QRect(screen->geometry().topLeft(), screen->geometry().size() * ratio);
        desk.paintPattern(deviceMonitors);
        settings.setSubmitMode(SubmitMode::SingleStroke);
        session.setSettings(&settings);
        QTest::qWait(100);
    }

    void TearDown() override
    {
        session.cancel();
        QTest::qWait(50);
    }

    // Scaled, each monitor keeps its device position and only its size is divided by the ratio.
    QPoint device(QPoint logical) const
    {
        const QPoint origin = QGuiApplication::screenAt(logical)->geometry().topLeft();
        return origin + (QPointF(logical - origin) * ratio).toPoint();
    }

    void waitForOverlay() { waitForOverlay(session); }

    static void waitForOverlay(AnnotationSession &session)
    {
        auto *overlay = dynamic_cast<OverlayWindowController *>(session.overlayController());
        ASSERT_NE(overlay, nullptr);
        ASSERT_EQ(overlay->windows().size(), QGuiApplication::screens().size());
        for (OverlayWindow *window : overlay->windows()) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 3000));
            ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        }
        QTest::qWait(150);
    }

    QImage waitForImage(const std::function<std::optional<QByteArray>()> &bytes)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return bytes().has_value(); }, 15000));
        return bytes() ? QImage::fromData(*bytes(), "PNG") : QImage();
    }

    // Draws an L on `screen` (logical offsets from its top-left) and returns the points, logical global.
    QList<QPoint> drawL(const QScreen *screen)
    {
        const QPoint origin = screen->geometry().topLeft();
        QList<QPoint> logical;
        for (int i = 0; i <= 10; ++i)
            logical << origin + QPoint(200 + 20 * i, 150);
        for (int i = 1; i <= 10; ++i)
            logical << origin + QPoint(400, 150 + 15 * i);
        QList<QPoint> points;
        for (const QPoint &p : logical)
            points << device(p);
        desk.drag(points);
        return logical;
    }

    // The capture shows the stroke where it was drawn and the monitor's pattern everywhere else.
    void expectCaptureOf(const QImage &png, const QScreen *screen, int monitor, const QList<QPoint> &stroke)
    {
        const QSize logical = screen->geometry().size();
        const qreal factor = qMin(1.0, 1568.0 / qMax(logical.width(), logical.height()));
        ASSERT_EQ(png.size(), QSize(int(logical.width() * factor), int(logical.height() * factor)));

        const auto toPng = [&](QPointF logicalLocal) { return (logicalLocal * factor).toPoint(); };
        for (const QPoint &p : stroke) {
            const QPoint at = toPng(p - screen->geometry().topLeft());
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy)
                for (int dx = -1; dx <= 1 && !found; ++dx)
                    found = reddish(png.pixelColor(at + QPoint(dx, dy)));
            EXPECT_TRUE(found) << "no stroke at " << at.x() << "," << at.y();
        }

        // Cell centres all over the display, the toolbar's and the panel's places included.
        int checked = 0;
        for (int y = X11Desk::cell / 2; y < logical.height() * ratio; y += X11Desk::cell) {
            for (int x = X11Desk::cell / 2; x < logical.width() * ratio; x += X11Desk::cell) {
                const QPointF logicalLocal = QPointF(x, y) / ratio;
                const QPoint at = toPng(logicalLocal);
                bool nearStroke = false;
                for (const QPoint &p : stroke)
                    nearStroke |=
                        QLineF(logicalLocal, p - screen->geometry().topLeft()).length() < X11Desk::cell / ratio;
                if (nearStroke)
                    continue;
                ++checked;
                const QColor expected = X11Desk::patternAt(QPoint(x, y), monitor);
                EXPECT_TRUE(near(png.pixelColor(at), expected))
                    << "at " << at.x() << "," << at.y() << ": " << png.pixelColor(at).name().toStdString()
                    << " instead of " << expected.name().toStdString();
            }
        }
        EXPECT_GT(checked, 100);
    }

    X11Desk desk;
    qreal ratio = 1.0;
    QTemporaryDir settingsDir;
    SettingsManager settings{settingsDir.filePath(QStringLiteral("glint.conf"))};
    ScreenFreezer freezer;
    ScreenCaptureService capturer{freezer};
    SystemScreenCatalog screens;
    RealWindows windows{freezer};
    AnnotationSession session{SessionNeighbours{&windows, &capturer, &screens, nullptr, nullptr}};
};

} // namespace

TEST_F(OverlayCapture, TheLockedDisplayHoldsThePatternAndTheStrokeOnly)
{
    session.begin(true);
    waitForOverlay();
    const QScreen *left = QGuiApplication::screens().at(0);
    const QList<QPoint> stroke = drawL(left);

    const QImage png = waitForImage([&] { return session.capturedImage(); });
    expectCaptureOf(png, left, 0, stroke);
    EXPECT_TRUE(windows.lastPanel && windows.lastPanel->window().isVisible());
}

TEST_F(OverlayCapture, AStrokeOnTheRightMonitorCapturesThatMonitor)
{
    LogRecorder log;
    session.begin(true);
    waitForOverlay();
    const QScreen *right = QGuiApplication::screens().at(1);
    const QList<QPoint> stroke = drawL(right);

    const QImage png = waitForImage([&] { return session.capturedImage(); });
    expectCaptureOf(png, right, 1, stroke);
    const QString number = QString::number(SystemScreenCatalog::displayNumber(*right));
    EXPECT_TRUE(log.contains(QStringLiteral("Capture"), u"Matched requested display id=" + number + u" to SCDisplay"));
}

TEST_F(OverlayCapture, AnAdditionalCaptureLeavesTheOpenPanelOut)
{
    session.begin(true);
    waitForOverlay();
    drawL(QGuiApplication::screens().at(0));
    waitForImage([&] { return session.capturedImage(); });
    session.submit(QStringLiteral("What is this?")); // closes the overlay; without providers it ends at once
    QTest::qWait(100);
    ASSERT_EQ(session.state(), SessionState::Querying);
    ASSERT_TRUE(windows.lastPanel->window().isVisible());

    // The panel sits on the left monitor; draw there too, so its place is inside the capture.
    session.beginAdditionalCapture(true);
    waitForOverlay();
    EXPECT_TRUE(windows.lastPanel->window().isVisible()) << "the panel comes back above the overlay";
    const QScreen *left = QGuiApplication::screens().at(0);
    const QList<QPoint> stroke = drawL(left);

    const QImage png = waitForImage([&] { return session.pendingAdditionalImageData(); });
    expectCaptureOf(png, left, 0, stroke);
}

TEST_F(OverlayCapture, EscapeWhileDrawingCancelsTheSession)
{
    LogRecorder log;
    session.begin(true);
    waitForOverlay();
    desk.pressEscape();
    EXPECT_TRUE(QTest::qWaitFor([&] { return session.state() == SessionState::Idle; }, 3000));
    EXPECT_TRUE(log.contains(QStringLiteral("OverlayWindow"), QStringLiteral("Escape pressed — cancelling session")));
    EXPECT_EQ(session.overlayController(), nullptr);
}

TEST_F(OverlayCapture, AnUnknownDisplayFallsBackToTheFirst)
{
    LogRecorder log;
    QFuture<CaptureResult> future = capturer.captureWithAnnotations(4242u, QImage());
    ASSERT_TRUE(QTest::qWaitFor([&] { return future.isFinished(); }, 15000));
    const QImage png = QImage::fromData(future.result().imageData, "PNG");
    expectCaptureOf(png, QGuiApplication::screens().at(0), 0, {});
    EXPECT_TRUE(log.contains(QStringLiteral("Capture"),
                             QStringLiteral("Falling back to first display because target display id=4242 could "
                                            "not be matched")));
}

// Every drawing lets go of its frozen frame once it ends, whether a capture was cut from it or not.
// Resident memory over these sessions is measured by the overlay benchmark: here the sanitizer keeps
// freed memory in quarantine.
TEST_F(OverlayCapture, TwentySessionsLeaveNoFrozenFrameBehind)
{
    QList<std::weak_ptr<const FrozenFrame>> frames;
    for (int i = 0; i < 20; ++i) {
        session.begin(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return freezer.current() != nullptr; }, 3000));
        frames.append(freezer.current());
        if (i % 2 == 0) {
            const QPointF at = QGuiApplication::screens().at(i % 4 / 2)->geometry().center();
            session.noteDrawingBegan(at);
            OverlayCanvas *canvas = session.overlayController()->canvas();
            canvas->beginStroke(session.overlayController()->mapFromGlobal(at));
            canvas->extendStroke(session.overlayController()->mapFromGlobal(at + QPointF(40, 20)));
            canvas->endStroke();
            session.advanceToQuery();
            waitForImage([&] { return session.capturedImage(); });
        }
        session.cancel();
    }
    QTest::qWait(50);
    EXPECT_EQ(freezer.current(), nullptr);
    for (const std::weak_ptr<const FrozenFrame> &frame : frames)
        EXPECT_TRUE(frame.expired());
}

// The windows' and the grab's buffers are let go once no drawing has been up for a while, never under
// one, and the next drawing captures as well as ever.
TEST_F(OverlayCapture, IdleBuffersAreLetGoAndMadeAgainForTheNextDrawing)
{
    RealWindows keptBriefly{freezer, std::chrono::milliseconds(200)};
    AnnotationSession brief{SessionNeighbours{&keptBriefly, &capturer, &screens, nullptr, nullptr}};
    brief.setSettings(&settings);

    brief.begin(true);
    waitForOverlay(brief);
    QList<QPointer<OverlayWindow>> windows;
    for (OverlayWindow *window : dynamic_cast<OverlayWindowController *>(brief.overlayController())->windows())
        windows.append(window);
    QTest::qWait(400);
    for (const QPointer<OverlayWindow> &window : windows)
        EXPECT_TRUE(window && window->isVisible()) << "let go under a drawing";

    brief.cancel();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return std::all_of(windows.begin(), windows.end(), [](const QPointer<OverlayWindow> &w) { return !w; });
    }));

    brief.begin(true);
    waitForOverlay(brief);
    const QScreen *right = QGuiApplication::screens().at(1);
    const QList<QPoint> stroke = drawL(right);
    expectCaptureOf(waitForImage([&] { return brief.capturedImage(); }), right, 1, stroke);
    brief.cancel();
}
