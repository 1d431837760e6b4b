// The two waits a user feels around the overlay, on a 2560x1440 display of its own (a private Xvfb):
// from `begin` until the overlay is on screen, and from `advanceToQuery` until the PNG is ready. Also
// checks that twenty sessions leave no frozen frame behind.

#include "BenchmarkImages.h"
#include "capture/X11Desk.h"

#include "capture/ScreenCaptureService.h"
#include "capture/ScreenFreezer.h"
#include "capture/SystemScreenCatalog.h"
#include "capture/X11PixmapGrabber.h"
#include "drawing/DrawingToolbarContentView.h"
#include "drawing/OverlayWindowController.h"
#include "drawing/OverlayWindows.h"
#include "log/DebugLog.h"
#include "session/AnnotationSession.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryFile>

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

constexpr QSize displaySize{2560, 1440};

class OverlayOnly : public SessionWindows {
public:
    explicit OverlayOnly(ScreenFreezer &freezer)
        : overlayWindows_(freezer)
    {
        // As the application does once it is up.
        overlayWindows_.prepare();
    }
    std::unique_ptr<Overlay> createOverlay(AnnotationSession &session, bool showToolbar) override
    {
        return std::make_unique<OverlayWindowController>(session, showToolbar, overlayWindows_);
    }
    std::unique_ptr<QueryPanel> createQueryPanel(AnnotationSession &, const std::optional<ScreenInfo> &) override
    {
        return nullptr;
    }

private:
    OverlayWindows overlayWindows_;
};

struct Rig {
    X11PixmapGrabber grabber;
    ScreenFreezer freezer{grabber};
    ScreenCaptureService capturer{freezer};
    SystemScreenCatalog screens;
    OverlayOnly windows{freezer};
    AnnotationSession session{SessionNeighbours{&windows, &capturer, &screens, nullptr, nullptr}};
    X11Desk desk;
};

Rig &rig()
{
    static Rig instance;
    return instance;
}

// Until the toolbar's first pixel can be read back from the X server.
void waitUntilOverlayIsOnScreen()
{
    auto *overlay = static_cast<OverlayWindowController *>(rig().session.overlayController());
    const QWidget *toolbar = overlay->toolbarView();
    const QPoint probe = toolbar->mapToGlobal(QPoint(toolbar->width() / 2, 2));
    QScreen *screen = QGuiApplication::primaryScreen();
    const QColor before = screen->grabWindow(0, probe.x(), probe.y(), 1, 1).toImage().pixelColor(0, 0);
    for (;;) {
        QCoreApplication::processEvents();
        if (screen->grabWindow(0, probe.x(), probe.y(), 1, 1).toImage().pixelColor(0, 0) != before)
            return;
    }
}

void endSession()
{
    rig().session.cancel();
    // The overlay's widgets, and the frozen frame with them, are deleted later; there is no event loop
    // running here to do it.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void drawStroke()
{
    AnnotationSession &session = rig().session;
    session.noteDrawingBegan(QPointF(800, 400));
    OverlayCanvas *canvas = session.overlayController()->canvas();
    canvas->beginStroke(QPointF(800, 400));
    for (int i = 1; i <= 60; ++i)
        canvas->extendStroke(QPointF(800 + 400 * std::sin(i / 10.0), 400 + 250 * (1 - std::cos(i / 10.0))));
    canvas->endStroke();
}

QImage screenContent(bool text)
{
    const QImage small = text ? BenchmarkImages::textHeavy() : BenchmarkImages::photoLike();
    return small.scaled(displaySize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

void beginToOverlayPainted(benchmark::State &state, bool text)
{
    rig().desk.paintBackground(screenContent(text));
    for (auto _ : state) {
        rig().session.begin(true);
        waitUntilOverlayIsOnScreen();
        state.PauseTiming();
        endSession();
        state.ResumeTiming();
    }
}

qint64 defaultPngSize(const QByteArray &png)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImage::fromData(png, "PNG").save(&buffer, "PNG");
    return bytes.size();
}

void advanceToPng(benchmark::State &state, bool text)
{
    rig().desk.paintBackground(screenContent(text));
    QByteArray png;
    for (auto _ : state) {
        state.PauseTiming();
        rig().session.begin(true);
        waitUntilOverlayIsOnScreen();
        drawStroke();
        state.ResumeTiming();
        rig().session.advanceToQuery();
        while (!rig().session.capturedImage())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.PauseTiming();
        png = *rig().session.capturedImage();
        endSession();
        state.ResumeTiming();
    }
    state.counters["png_bytes"] = double(png.size());
    state.counters["vs_qt_default"] = double(png.size()) / double(defaultPngSize(png));
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

void twentySessionsResidentGrowth(benchmark::State &state)
{
    rig().desk.paintBackground(screenContent(false));
    qint64 growth = 0;
    for (auto _ : state) {
        const qint64 before = residentBytes();
        for (int i = 0; i < 20; ++i) {
            rig().session.begin(true);
            waitUntilOverlayIsOnScreen();
            drawStroke();
            rig().session.advanceToQuery();
            while (!rig().session.capturedImage())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            endSession();
        }
        growth = residentBytes() - before;
    }
    state.counters["rss_growth_MiB"] = double(growth) / (1024 * 1024);
    state.counters["rss_MiB"] = double(residentBytes()) / (1024 * 1024);
}

void grabOnly(benchmark::State &state)
{
    X11PixmapGrabber grabber;
    for (auto _ : state)
        benchmark::DoNotOptimize(grabber.grab());
}

void firstBegin(benchmark::State &state)
{
    beginToOverlayPainted(state, true);
}
void beginTextHeavy(benchmark::State &state)
{
    beginToOverlayPainted(state, true);
}
void beginPhotoLike(benchmark::State &state)
{
    beginToOverlayPainted(state, false);
}
void advanceTextHeavy(benchmark::State &state)
{
    advanceToPng(state, true);
}
void advancePhotoLike(benchmark::State &state)
{
    advanceToPng(state, false);
}

// A private display, so the measurement sees neither the user's desktop nor other tests.
class PrivateDisplay {
public:
    PrivateDisplay()
    {
        QTemporaryFile number;
        number.open();
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server_.start(QStringLiteral("sh"),
                      {QStringLiteral("-c"), QStringLiteral("exec Xvfb -displayfd 1 -screen 0 %1x%2x24 -nolisten tcp "
                                                            "-noreset")
                                                 .arg(displaySize.width())
                                                 .arg(displaySize.height())});
        server_.waitForReadyRead(10000);
        qputenv("DISPLAY", ':' + server_.readLine().trimmed());
        qputenv("QT_QPA_PLATFORM", "xcb");
        // Without a session bus the first window shown would start one through X11 autolaunch, which
        // never happens in a desktop session.
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    }
    ~PrivateDisplay()
    {
        server_.terminate();
        server_.waitForFinished(5000);
    }

private:
    QProcess server_;
};

} // namespace

// Runs first, so it sees the first session after start-up.
BENCHMARK(firstBegin)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(grabOnly)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(beginTextHeavy)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);
BENCHMARK(beginPhotoLike)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);
// The encoding runs on a worker thread; its processor time counts too.
BENCHMARK(advanceTextHeavy)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime();
BENCHMARK(advancePhotoLike)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime();
BENCHMARK(twentySessionsResidentGrowth)->Unit(benchmark::kMillisecond)->Iterations(1);

// Started before main, so the shared main's application connects to it; static, so the server
// outlives the rig and its connections, which go after main returns.
const PrivateDisplay display;
