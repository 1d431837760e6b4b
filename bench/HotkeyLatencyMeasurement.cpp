// Time from a hotkey press, synthesised with XTest, to the overlay painted on screen, through the real
// monitor thread, application delegate, screen grab and overlay windows. "Painted" is the first moment
// the toolbar's pixels can be read back from the X server. Needs an X display. Prints the figures of
// every press, the first one after start included, in wall time and in this process's processor time,
// which is steadier on a loaded machine (the polling's own share is left out). Then it waits COLD times
// until the drawing buffers have been let go and measures the press after each pause.
// Usage: measure_hotkey_latency [COLD]   (default 2; each pause lasts a little over a minute)
#include "app/AppDelegate.h"
#include "capture/X11Desk.h"
#include "drawing/DrawingToolbarContentView.h"
#include "drawing/OverlayWindowController.h"
#include "drawing/OverlayWindows.h"
#include "input/HotkeyMonitor.h"
#include "log/DebugLog.h"
#include "platform/DisplayPlatform.h"
#include "settings/SettingsManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {
constexpr int warmPresses = 25;

struct NoSecrets : SecretStore {
    StoredSecret read(const QString &) const override { return {}; }
    QString write(const QString &, const QString &, const std::function<void()> &) override { return {}; }
};

void key(Display *display, KeySym symbol, bool down)
{
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, symbol), down, CurrentTime);
}

// The colour of one pixel of the root window, as the X server has it.
QColor pixelOnScreen(QPoint point)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, point.x(), point.y(), 1, 1).toImage().pixelColor(0, 0);
}

double cpuMillis(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

void report(const char *what, const std::vector<double> &millis)
{
    if (millis.empty())
        return;
    std::printf("%s, %zu presses (ms):", what, millis.size());
    for (double value : millis)
        std::printf(" %.2f", value);
    std::vector<double> sorted = millis;
    std::sort(sorted.begin(), sorted.end());
    std::printf("\nfirst %.2f  median %.2f  p90 %.2f  max %.2f\n", millis.front(), sorted[sorted.size() / 2],
                sorted[sorted.size() * 9 / 10], sorted.back());
}

// The desktop is one plain colour, so any other colour where the toolbar is means it is on screen.
const QColor desktopColour(0, 150, 0);

bool toolbarOnScreen(AnnotationSession &session)
{
    auto *overlay = static_cast<OverlayWindowController *>(session.overlayController());
    const QWidget *toolbar = overlay ? overlay->toolbarView() : nullptr;
    if (!toolbar || !toolbar->isVisible())
        return false;
    return pixelOnScreen(toolbar->mapToGlobal(QPoint(toolbar->width() / 2, 2))) != desktopColour;
}
struct Presses {
    std::vector<double> began, painted, processor;
};

// One hotkey press until the overlay is on screen, then Escape's work; false when no overlay came.
bool press(Display *display, AnnotationSession &session, Presses &into)
{
    key(display, XK_Control_L, true);
    key(display, XK_Alt_L, true);
    XSync(display, False);
    QTest::qWait(20);

    QElapsedTimer clock;
    qint64 began = -1;
    const QMetaObject::Connection connection = QObject::connect(&session, &AnnotationSession::stateChanged, [&] {
        if (began < 0 && session.state() == SessionState::Drawing)
            began = clock.nsecsElapsed();
    });
    const double processorBefore = cpuMillis(CLOCK_PROCESS_CPUTIME_ID);
    double probing = 0; // the polling's own processor time, left out
    clock.start();
    key(display, XK_space, true);
    XFlush(display);
    qint64 painted = -1;
    while (clock.elapsed() < 2000) {
        QCoreApplication::processEvents();
        const double probeStart = cpuMillis(CLOCK_THREAD_CPUTIME_ID);
        const bool onScreen = toolbarOnScreen(session);
        probing += cpuMillis(CLOCK_THREAD_CPUTIME_ID) - probeStart;
        if (onScreen) {
            painted = clock.nsecsElapsed();
            break;
        }
    }
    const double processor = cpuMillis(CLOCK_PROCESS_CPUTIME_ID) - processorBefore - probing;

    QObject::disconnect(connection);
    key(display, XK_space, false);
    key(display, XK_Alt_L, false);
    key(display, XK_Control_L, false);
    XSync(display, False);
    if (painted < 0) {
        std::printf("press %zu: no overlay on screen\n", into.painted.size() + 1);
        return false;
    }
    into.painted.push_back(painted / 1e6);
    into.began.push_back(began / 1e6);
    into.processor.push_back(processor);
    session.cancel();
    QTest::qWait(100);
    return true;
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts("measure_hotkey_latency: skipped, it needs an X display");
        return 0;
    }
    qputenv("GLINT_PLATFORM", "x11");
    DisplayPlatform::choose();
    QApplication app(argc, argv);
    DebugLog::setFilePath(QString());
    DebugLog::setEcho(nullptr);

    QTemporaryDir dir;
    auto settings =
        std::make_unique<SettingsManager>(dir.filePath(QStringLiteral("glint.conf")), std::make_unique<NoSecrets>());
    // A returning user: no setup window open, which the freeze would first hide.
    settings->setHasCompletedOnboarding(true);
    AppDelegate delegate(std::move(settings), std::nullopt);
    X11Desk desk;
    QImage desktop(QGuiApplication::primaryScreen()->virtualSize(), QImage::Format_RGB32);
    desktop.fill(desktopColour);
    desk.paintBackground(desktop);
    delegate.start();
    if (!QTest::qWaitFor([&] { return delegate.hotkeyMonitor() && delegate.hotkeyMonitor()->isWatching(); })) {
        std::puts("measure_hotkey_latency: the hotkey monitor did not start");
        return 1;
    }

    Display *display = XOpenDisplay(nullptr);
    AnnotationSession &session = delegate.session();
    Presses warm, cold;
    for (int i = 0; i < warmPresses; ++i) {
        if (!press(display, session, warm))
            return 1;
    }
    const int pauses = argc > 1 ? std::atoi(argv[1]) : 2;
    for (int i = 0; i < pauses; ++i) {
        // The buffers are let go a minute after the last drawing; the pause runs the event loop.
        QTest::qWait(int(OverlayWindows::defaultKeepWarmFor.count()) + 3000);
        if (!press(display, session, cold))
            return 1;
    }
    XCloseDisplay(display);

    report("hotkey press to session begun", warm.began);
    report("hotkey press to overlay painted, warm", warm.painted);
    report("processor time of this process from press to painted, warm", warm.processor);
    report("hotkey press to overlay painted, first press after the buffers were let go", cold.painted);
    report("processor time of this process from press to painted, after the buffers were let go", cold.processor);
    return 0;
}
