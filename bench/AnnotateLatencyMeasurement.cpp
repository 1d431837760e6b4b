// Time from `glint annotate` to the overlay painted, on the session this runs in: X11 (DISPLAY), or
// Wayland (WAYLAND_DISPLAY, with GLINT_PLATFORM=wayland for Glint). Starts Glint as the tray instance,
// then runs `glint annotate` as a desktop shortcut would, process start and hand-over included, and reads
// one pixel of the toolbar back from the display server until it shows (on Wayland through the
// compositor's screen copy, one copy per output frame, so the figures are good to about 17 ms). Escape
// ends each session. Prints every run and first, median, p90 and max.
// Usage: measure_annotate_latency GLINT RUNS
#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace {

// Where the toolbar sits: centred 40 points above the bottom of the primary 1920x1080 output.
constexpr int probeX = 960;
constexpr int probeY = 1080 - 40 - 28;

class X11Probe {
public:
    X11Probe()
        : display_(XOpenDisplay(nullptr))
    {
    }
    ~X11Probe()
    {
        if (display_)
            XCloseDisplay(display_);
    }
    bool isOpen() const { return display_; }
    unsigned long pixel()
    {
        XImage *image = XGetImage(display_, DefaultRootWindow(display_), probeX, probeY, 1, 1, AllPlanes, ZPixmap);
        const unsigned long value = image ? XGetPixel(image, 0, 0) : 0;
        if (image)
            XDestroyImage(image);
        return value;
    }

private:
    Display *display_;
};

class WaylandProbe {
public:
    WaylandProbe()
        : display_(wl_display_connect(nullptr))
    {
        if (!display_)
            return;
        static const wl_registry_listener listener = {
            [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
                auto *self = static_cast<WaylandProbe *>(data);
                if (std::strcmp(interface, wl_shm_interface.name) == 0)
                    self->shm_ = static_cast<wl_shm *>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
                else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0)
                    self->manager_ = static_cast<zwlr_screencopy_manager_v1 *>(
                        wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, 1));
                else if (std::strcmp(interface, wl_output_interface.name) == 0 && !self->output_)
                    self->output_ = static_cast<wl_output *>(wl_registry_bind(registry, name, &wl_output_interface, 1));
            },
            [](void *, wl_registry *, uint32_t) {},
        };
        wl_registry_add_listener(wl_display_get_registry(display_), &listener, this);
        wl_display_roundtrip(display_);
    }
    bool isOpen() const { return shm_ && manager_ && output_; }

    unsigned long pixel()
    {
        struct State {
            uint32_t format = 0, stride = 0;
            bool offered = false, done = false;
        } state;
        static const zwlr_screencopy_frame_v1_listener listener = {
            [](void *data, zwlr_screencopy_frame_v1 *, uint32_t format, uint32_t, uint32_t, uint32_t stride) {
                auto *s = static_cast<State *>(data);
                s->format = format;
                s->stride = stride;
                s->offered = true;
            },
            [](void *, zwlr_screencopy_frame_v1 *, uint32_t) {},
            [](void *data, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t) {
                static_cast<State *>(data)->done = true;
            },
            [](void *data, zwlr_screencopy_frame_v1 *) { static_cast<State *>(data)->done = true; },
        };
        zwlr_screencopy_frame_v1 *frame =
            zwlr_screencopy_manager_v1_capture_output_region(manager_, 0, output_, probeX, probeY, 1, 1);
        zwlr_screencopy_frame_v1_add_listener(frame, &listener, &state);
        while (!state.offered && !state.done && wl_display_dispatch(display_) >= 0) {
        }
        unsigned long value = 0;
        const int fd = memfd_create("probe", MFD_CLOEXEC);
        if (state.offered && fd >= 0 && ftruncate(fd, state.stride) == 0) {
            void *data = mmap(nullptr, state.stride, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            wl_shm_pool *pool = wl_shm_create_pool(shm_, fd, int32_t(state.stride));
            wl_buffer *buffer = wl_shm_pool_create_buffer(pool, 0, 1, 1, int32_t(state.stride), state.format);
            zwlr_screencopy_frame_v1_copy(frame, buffer);
            while (!state.done && wl_display_dispatch(display_) >= 0) {
            }
            std::memcpy(&value, data, 4);
            wl_buffer_destroy(buffer);
            wl_shm_pool_destroy(pool);
            munmap(data, state.stride);
        }
        if (fd >= 0)
            close(fd);
        zwlr_screencopy_frame_v1_destroy(frame);
        return value & 0xffffff;
    }

private:
    wl_display *display_;
    wl_shm *shm_ = nullptr;
    zwlr_screencopy_manager_v1 *manager_ = nullptr;
    wl_output *output_ = nullptr;
};

// Waits up to two seconds for `done`; the milliseconds it took, or -1.
double millisUntil(const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000) {
        if (done())
            return double(clock.nsecsElapsed()) / 1e6;
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fputs("usage: measure_annotate_latency GLINT RUNS\n", stderr);
        return 2;
    }
    const QString glint = QString::fromLocal8Bit(argv[1]);
    const int runs = std::max(1, std::atoi(argv[2]));
    const bool wayland = qEnvironmentVariable("GLINT_PLATFORM") == u"wayland";
    X11Probe x11;
    WaylandProbe waylandProbe;
    const std::function<unsigned long()> pixel =
        wayland ? std::function<unsigned long()>([&] { return waylandProbe.pixel(); })
                : std::function<unsigned long()>([&] { return x11.pixel(); });
    if (wayland ? !waylandProbe.isOpen() : !x11.isOpen()) {
        std::fputs("measure_annotate_latency: cannot read the screen back\n", stderr);
        return 1;
    }

    QProcess tray;
    tray.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tray.setStandardOutputFile(QProcess::nullDevice());
    tray.start(glint, {});
    // Past the start-up work and the preparation of the overlay windows a second later.
    QThread::msleep(2500);
    const unsigned long desktop = pixel();

    std::vector<double> millis;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        QProcess annotate;
        annotate.start(glint, {QStringLiteral("annotate")});
        const double painted = millisUntil([&] { return pixel() != desktop; });
        annotate.waitForFinished();
        if (painted < 0) {
            std::fprintf(stderr, "run %d: no overlay within 2 s\n", run + 1);
            break;
        }
        millis.push_back(painted);
        QProcess::execute(wayland ? QStringLiteral("wtype") : QStringLiteral("xdotool"),
                          wayland ? QStringList{QStringLiteral("-k"), QStringLiteral("Escape")}
                                  : QStringList{QStringLiteral("key"), QStringLiteral("Escape")});
        millisUntil([&] { return pixel() == desktop; });
        QThread::msleep(300);
    }
    tray.terminate();
    tray.waitForFinished();

    if (millis.empty())
        return 1;
    std::printf("%s, %zu runs (ms):", wayland ? "Wayland" : "X11", millis.size());
    for (double value : millis)
        std::printf(" %.1f", value);
    std::vector<double> sorted = millis;
    std::sort(sorted.begin(), sorted.end());
    std::printf("\nfirst %.1f  median %.1f  p90 %.1f  max %.1f\n", millis.front(), sorted[sorted.size() / 2],
                sorted[sorted.size() * 9 / 10], sorted.back());
    return 0;
}
