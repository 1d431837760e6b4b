// The whole drawing path on a real X display: the overlay freezes the screens, strokes are driven
// through XTest in one burst each, and the capture service cuts the locked display out of the frozen
// frame. Runs at the display's own density and again with QT_SCALE_FACTOR=2.

#include "X11Desk.h"
#include "capture/CaptureEncoding.h"
#include "capture/ScreenCaptureService.h"
#include "capture/ScreenFreezer.h"
#include "capture/SystemScreenCatalog.h"
#include "capture/X11PixmapGrabber.h"
#include "drawing/OverlayWindow.h"
#include "drawing/OverlayWindowController.h"
#include "drawing/OverlayWindows.h"
#include "session/AnnotationSession.h"
#include "support/LogRecorder.h"

#include <QBackingStore>
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

// The buffers are let go soon after each drawing, so the tests see drawings start cold as well.
constexpr std::chrono::milliseconds keepWarmFor(250);

class RealWindows : public SessionWindows {
public:
    explicit RealWindows(ScreenFreezer &freezer)
        : overlayWindows_(freezer, keepWarmFor)
    {
    }
    std::unique_ptr<Overlay> createOverlay(AnnotationSession &session, bool showToolbar) override
    {
        return std::make_unique<OverlayWindowController>(session, showToolbar, overlayWindows_);
    }
    const OverlayWindows &overlayWindows() const { return overlayWindows_; }
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

    QList<QPointer<OverlayWindow>> overlayWindows() const
    {
        auto *overlay = dynamic_cast<OverlayWindowController *>(session.overlayController());
        return overlay ? overlay->windows() : QList<QPointer<OverlayWindow>>();
    }

    void waitForOverlay()
    {
        const QList<QPointer<OverlayWindow>> windows = overlayWindows();
        ASSERT_EQ(windows.size(), QGuiApplication::screens().size());
        for (OverlayWindow *window : windows) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 3000));
            ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        }
        QTest::qWait(150);
    }

    // The display server paints the frozen frame: no window needs a screenful of pixels in this process.
    static bool withoutPixelBuffers(const QList<QPointer<OverlayWindow>> &windows)
    {
        return std::all_of(windows.begin(), windows.end(), [](const QPointer<OverlayWindow> &window) {
            const QBackingStore *store = window ? window->backingStore() : nullptr;
            return store && store->size().width() <= 1;
        });
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
    QList<QRect> deviceMonitors;
    qreal ratio = 1.0;
    QTemporaryDir settingsDir;
    SettingsManager settings{settingsDir.filePath(QStringLiteral("glint.conf"))};
    X11PixmapGrabber grabber;
    ScreenFreezer freezer{grabber};
    ScreenCaptureService capturer{freezer};
    SystemScreenCatalog screens;
    RealWindows windows{freezer};
    AnnotationSession session{SessionNeighbours{&windows, &capturer, &screens, nullptr, nullptr}};
};

} // namespace

// Every event of a burst reaches the stroke whatever the session does at that moment: the first
// drawing after start, one whose buffers were let go, and an additional capture above the open panel.
enum class Moment { FirstAfterStart, AfterBuffersLetGo, AdditionalCapture };
struct Burst {
    Moment moment;
    int monitor;
};

class BurstStroke : public OverlayCapture, public ::testing::WithParamInterface<Burst> {};

TEST_P(BurstStroke, ReachesTheCaptureWholeAndOnlyItsDisplay)
{
    const auto [moment, monitor] = GetParam();
    const QScreen *screen = QGuiApplication::screens().at(monitor);
    if (moment == Moment::AfterBuffersLetGo) {
        session.begin(true);
        waitForOverlay();
        session.cancel();
        ASSERT_TRUE(QTest::qWaitFor([&] { return windows.overlayWindows().buffersLetGo(); }));
    } else if (moment == Moment::AdditionalCapture) {
        session.begin(true);
        waitForOverlay();
        drawL(QGuiApplication::screens().at(0));
        waitForImage([&] { return session.capturedImage(); });
        session.submit(QStringLiteral("What is this?")); // closes the overlay; without providers it ends at once
        ASSERT_TRUE(QTest::qWaitFor([&] { return session.state() == SessionState::Querying; }));
    }

    LogRecorder log;
    if (moment == Moment::AdditionalCapture)
        session.beginAdditionalCapture(true);
    else
        session.begin(true);
    waitForOverlay();
    const QList<QPoint> stroke = drawL(screen);
    const QImage png = waitForImage([&] {
        return moment == Moment::AdditionalCapture ? session.pendingAdditionalImageData() : session.capturedImage();
    });
    expectCaptureOf(png, screen, monitor, stroke);
    const QString number = QString::number(SystemScreenCatalog::displayNumber(*screen));
    EXPECT_TRUE(log.contains(QStringLiteral("Capture"), u"Matched requested display id=" + number + u" to SCDisplay"));
    // On the left monitor the panel stands where the capture is cut: it is left out above, and back now.
    EXPECT_TRUE(windows.lastPanel && windows.lastPanel->window().isVisible());
}

std::string burstName(const ::testing::TestParamInfo<Burst> &info)
{
    static const char *const moments[] = {"FirstAfterStart", "AfterBuffersLetGo", "AdditionalCapture"};
    return moments[int(info.param.moment)] + std::string("OnMonitor") + std::to_string(info.param.monitor);
}

void PrintTo(const Burst &burst, std::ostream *out)
{
    *out << burstName(::testing::TestParamInfo<Burst>(burst, 0));
}

INSTANTIATE_TEST_SUITE_P(Bursts, BurstStroke,
                         ::testing::Values(Burst{Moment::FirstAfterStart, 0}, Burst{Moment::FirstAfterStart, 1},
                                           Burst{Moment::AfterBuffersLetGo, 0}, Burst{Moment::AfterBuffersLetGo, 1},
                                           Burst{Moment::AdditionalCapture, 0}, Burst{Moment::AdditionalCapture, 1}),
                         burstName);

// While the user draws, the screens show what they showed at the press, whatever happens below, with
// the strokes over it.
TEST_F(OverlayCapture, TheOverlayShowsTheScreensAsTheyWereAndTheStrokes)
{
    settings.setSubmitMode(SubmitMode::ManualSubmit);
    session.begin(false);
    waitForOverlay();
    desk.paintPattern({deviceMonitors.rbegin(), deviceMonitors.rend()});
    const QList<QPoint> stroke = drawL(QGuiApplication::screens().at(1));
    QTest::qWait(200);
    for (int monitor = 0; monitor < 2; ++monitor) {
        QScreen *screen = QGuiApplication::screens().at(monitor);
        QImage shown = screen->grabWindow(0, 0, 0, screen->geometry().width(), screen->geometry().height()).toImage();
        shown.setDevicePixelRatio(1);
        shown = CaptureEncoding::resizeForVisionIfNeeded(shown.scaled(screen->geometry().size()));
        expectCaptureOf(shown, screen, monitor, monitor == 1 ? stroke : QList<QPoint>());
    }
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

// The buffers are let go once no drawing has been up for a while, never under one.
TEST_F(OverlayCapture, IdleBuffersAreLetGoButNeverUnderADrawing)
{
    session.begin(true);
    waitForOverlay();
    drawL(QGuiApplication::screens().at(0));
    waitForImage([&] { return session.capturedImage(); });
    EXPECT_TRUE(withoutPixelBuffers(overlayWindows()));
    QTest::qWait(int(keepWarmFor.count()) * 2);
    EXPECT_FALSE(windows.overlayWindows().buffersLetGo()) << "let go under a drawing";

    session.cancel();
    EXPECT_TRUE(QTest::qWaitFor([&] { return windows.overlayWindows().buffersLetGo(); }));
}
