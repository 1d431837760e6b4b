// Time from a hotkey press, synthesised with XTest, to the overlay painted on screen, through the real
// monitor thread, application delegate, screen grab and overlay windows. "Painted" is the first moment
// the toolbar's pixels can be read back from the X server. Needs an X display; prints the figures of
// every press, the first one after start included.
#include "app/AppDelegate.h"
#include "capture/X11Desk.h"
#include "drawing/DrawingToolbarContentView.h"
#include "drawing/OverlayWindowController.h"
#include "input/HotkeyMonitor.h"
#include "input/X11InputEventSource.h"
#include "log/DebugLog.h"
#include "settings/SettingsManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {
constexpr int presses = 25;

struct NoSecrets : SecretStore {
    StoredSecret read(const QString &) const override { return {}; }
    void write(const QString &, const QString &) override {}
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

void report(const char *what, const std::vector<double> &millis)
{
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
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts("bench_hotkey_latency: skipped, it needs an X display");
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    X11InputEventSource::prepareThreads();
    QApplication app(argc, argv);
    DebugLog::setFilePath(QString());
    DebugLog::setEcho(nullptr);

    QTemporaryDir dir;
    AppDelegate delegate(
        std::make_unique<SettingsManager>(dir.filePath(QStringLiteral("glint.conf")), std::make_unique<NoSecrets>()),
        std::nullopt);
    X11Desk desk;
    QImage desktop(QGuiApplication::primaryScreen()->virtualSize(), QImage::Format_RGB32);
    desktop.fill(desktopColour);
    desk.paintBackground(desktop);
    delegate.applicationDidFinishLaunching();
    if (!QTest::qWaitFor([&] { return delegate.hotkeyMonitor() && delegate.hotkeyMonitor()->isWatching(); })) {
        std::puts("bench_hotkey_latency: the hotkey monitor did not start");
        return 1;
    }

    Display *display = XOpenDisplay(nullptr);
    AnnotationSession &session = delegate.session();
    std::vector<double> millis, beganMillis;
    for (int i = 0; i < presses; ++i) {
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
        clock.start();
        key(display, XK_space, true);
        XFlush(display);
        qint64 painted = -1;
        while (clock.elapsed() < 2000) {
            QCoreApplication::processEvents();
            if (toolbarOnScreen(session)) {
                painted = clock.nsecsElapsed();
                break;
            }
        }

        QObject::disconnect(connection);
        key(display, XK_space, false);
        key(display, XK_Alt_L, false);
        key(display, XK_Control_L, false);
        XSync(display, False);
        if (painted < 0) {
            std::printf("press %d: no overlay on screen\n", i + 1);
            return 1;
        }
        millis.push_back(painted / 1e6);
        beganMillis.push_back(began / 1e6);
        session.cancel();
        QTest::qWait(100);
    }
    XCloseDisplay(display);

    report("hotkey press to session begun", beganMillis);
    report("hotkey press to overlay painted", millis);
    return 0;
}
