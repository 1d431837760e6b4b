// Time from a hotkey press, synthesised with XTest, to the annotation session having begun, through the
// real monitor thread and application delegate. Needs an X display; prints the figures of every press,
// the first one after start included.
#include "app/AppDelegate.h"
#include "input/HotkeyMonitor.h"
#include "input/X11InputEventSource.h"
#include "log/DebugLog.h"
#include "settings/SettingsManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
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
    std::optional<QString> read(const QString &) const override { return std::nullopt; }
    void write(const QString &, const QString &) override {}
};

void key(Display *display, KeySym symbol, bool down)
{
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, symbol), down, CurrentTime);
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
        SessionNeighbours{});
    delegate.applicationDidFinishLaunching();
    if (!QTest::qWaitFor([&] { return delegate.hotkeyMonitor() && delegate.hotkeyMonitor()->isWatching(); })) {
        std::puts("bench_hotkey_latency: the hotkey monitor did not start");
        return 1;
    }

    Display *display = XOpenDisplay(nullptr);
    AnnotationSession &session = delegate.session();
    std::vector<double> millis;
    for (int i = 0; i < presses; ++i) {
        key(display, XK_Control_L, true);
        key(display, XK_Alt_L, true);
        XSync(display, False);
        QTest::qWait(20);

        QElapsedTimer clock;
        QEventLoop loop;
        qint64 began = -1;
        const QMetaObject::Connection connection = QObject::connect(&session, &AnnotationSession::stateChanged, [&] {
            if (session.state() == SessionState::Drawing) {
                began = clock.nsecsElapsed();
                loop.quit();
            }
        });
        clock.start();
        key(display, XK_space, true);
        XFlush(display);
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        QObject::disconnect(connection);

        key(display, XK_space, false);
        key(display, XK_Alt_L, false);
        key(display, XK_Control_L, false);
        XSync(display, False);
        if (began < 0) {
            std::printf("press %d: no annotation began\n", i + 1);
            return 1;
        }
        millis.push_back(began / 1e6);
        session.cancel();
        QTest::qWait(50);
    }
    XCloseDisplay(display);

    std::printf("hotkey press to annotation begun, %d presses (ms):", presses);
    for (double value : millis)
        std::printf(" %.2f", value);
    std::vector<double> sorted = millis;
    std::sort(sorted.begin(), sorted.end());
    std::printf("\nfirst %.2f  median %.2f  p90 %.2f  max %.2f\n", millis.front(), sorted[sorted.size() / 2],
                sorted[sorted.size() * 9 / 10], sorted.back());
    return 0;
}
