#include "capture/WlrScreencopyGrabber.h"

#include "capture/SystemScreenCatalog.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <QGuiApplication>
#include <QScreen>

#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {

struct Copy {
    uint32_t format = 0;
    QSize size;
    uint32_t stride = 0;
    bool offered = false;
    bool yInverted = false;
    bool ready = false;
    bool failed = false;
};

const zwlr_screencopy_frame_v1_listener frameListener = {
    [](void *data, zwlr_screencopy_frame_v1 *, uint32_t format, uint32_t width, uint32_t height, uint32_t stride) {
        auto *copy = static_cast<Copy *>(data);
        copy->format = format;
        copy->size = QSize(int(width), int(height));
        copy->stride = stride;
        copy->offered = true;
    },
    [](void *data, zwlr_screencopy_frame_v1 *, uint32_t flags) {
        static_cast<Copy *>(data)->yInverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
    },
    [](void *data, zwlr_screencopy_frame_v1 *, uint32_t, uint32_t, uint32_t) {
        static_cast<Copy *>(data)->ready = true;
    },
    [](void *data, zwlr_screencopy_frame_v1 *) { static_cast<Copy *>(data)->failed = true; },
};

const zxdg_output_v1_listener outputListener = {
    [](void *, zxdg_output_v1 *, int32_t, int32_t) {},
    [](void *, zxdg_output_v1 *, int32_t, int32_t) {},
    [](void *, zxdg_output_v1 *) {},
    [](void *data, zxdg_output_v1 *, const char *name) {
        static_cast<WlrScreencopyGrabber::Output *>(data)->name = QString::fromUtf8(name);
    },
    [](void *, zxdg_output_v1 *, const char *) {},
};

// Shared memory the compositor copies one output into; once filled, the picture's own pixels.
class ShmBuffer {
public:
    ShmBuffer(wl_shm *shm, const Copy &copy)
        : length_(size_t(copy.stride) * size_t(copy.size.height()))
    {
        const int fd = memfd_create("glint-screencopy", MFD_CLOEXEC);
        if (fd < 0)
            return;
        if (ftruncate(fd, off_t(length_)) == 0) {
            void *data = mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (data != MAP_FAILED) {
                data_ = static_cast<uchar *>(data);
                wl_shm_pool *pool = wl_shm_create_pool(shm, fd, int32_t(length_));
                buffer_ = wl_shm_pool_create_buffer(pool, 0, copy.size.width(), copy.size.height(),
                                                    int32_t(copy.stride), copy.format);
                wl_shm_pool_destroy(pool);
            }
        }
        close(fd);
    }
    ~ShmBuffer()
    {
        if (buffer_)
            wl_buffer_destroy(buffer_);
        if (data_)
            munmap(data_, length_);
    }
    ShmBuffer(const ShmBuffer &) = delete;
    ShmBuffer &operator=(const ShmBuffer &) = delete;

    wl_buffer *buffer() const { return buffer_; }

    // The filled memory as a picture that unmaps it when the last copy of the picture goes: a screenful
    // less to copy before the overlay can show.
    QImage takePicture(const Copy &copy, QImage::Format format)
    {
        struct Mapping {
            void *data;
            size_t length;
        };
        auto *mapping = new Mapping{std::exchange(data_, nullptr), length_};
        return QImage(
            static_cast<uchar *>(mapping->data), copy.size.width(), copy.size.height(), int(copy.stride), format,
            [](void *info) {
                auto *mapping = static_cast<Mapping *>(info);
                munmap(mapping->data, mapping->length);
                delete mapping;
            },
            mapping);
    }

private:
    size_t length_;
    uchar *data_ = nullptr;
    wl_buffer *buffer_ = nullptr;
};

// The shared memory formats the compositor offers for outputs, as QImage reads them in place.
QImage::Format imageFormat(uint32_t format)
{
    switch (format) {
    case WL_SHM_FORMAT_XRGB8888:
        return QImage::Format_RGB32;
    case WL_SHM_FORMAT_ARGB8888:
        return QImage::Format_ARGB32;
    case WL_SHM_FORMAT_XBGR8888:
        return QImage::Format_RGBX8888;
    case WL_SHM_FORMAT_ABGR8888:
        return QImage::Format_RGBA8888;
    default:
        return QImage::Format_Invalid;
    }
}

} // namespace

std::unique_ptr<WlrScreencopyGrabber> WlrScreencopyGrabber::connectToCompositor()
{
    std::unique_ptr<WlrScreencopyGrabber> grabber(new WlrScreencopyGrabber);
    if (!grabber->connect())
        grabber.reset();
    return grabber;
}

WlrScreencopyGrabber::~WlrScreencopyGrabber()
{
    for (const std::shared_ptr<Output> &output : std::as_const(outputs_)) {
        if (output->described)
            zxdg_output_v1_destroy(output->described);
        wl_output_destroy(output->output);
    }
    if (outputNames_)
        zxdg_output_manager_v1_destroy(outputNames_);
    if (manager_)
        zwlr_screencopy_manager_v1_destroy(manager_);
    if (shm_)
        wl_shm_destroy(shm_);
    if (registry_)
        wl_registry_destroy(registry_);
    if (display_)
        wl_display_disconnect(display_);
}

void WlrScreencopyGrabber::global(void *data, wl_registry *registry, uint32_t name, const char *interface,
                                  uint32_t version)
{
    auto *self = static_cast<WlrScreencopyGrabber *>(data);
    if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        self->shm_ = static_cast<wl_shm *>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
        self->manager_ = static_cast<zwlr_screencopy_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, 1));
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 && version >= 2) {
        self->outputNames_ = static_cast<zxdg_output_manager_v1 *>(
            wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, 2));
        for (const std::shared_ptr<Output> &output : std::as_const(self->outputs_))
            self->describe(*output);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto output = std::make_shared<Output>();
        output->output = static_cast<wl_output *>(wl_registry_bind(registry, name, &wl_output_interface, 1));
        self->describe(*output);
        self->outputs_.append(output);
        self->outputIds_.append(name);
    }
}

void WlrScreencopyGrabber::describe(Output &output)
{
    if (!outputNames_ || output.described)
        return;
    output.described = zxdg_output_manager_v1_get_xdg_output(outputNames_, output.output);
    zxdg_output_v1_add_listener(output.described, &outputListener, &output);
}

void WlrScreencopyGrabber::globalRemove(void *data, wl_registry *, uint32_t name)
{
    auto *self = static_cast<WlrScreencopyGrabber *>(data);
    const qsizetype index = self->outputIds_.indexOf(name);
    if (index < 0)
        return;
    const std::shared_ptr<Output> output = self->outputs_.takeAt(index);
    if (output->described)
        zxdg_output_v1_destroy(output->described);
    wl_output_destroy(output->output);
    self->outputIds_.removeAt(index);
}

bool WlrScreencopyGrabber::connect()
{
    display_ = wl_display_connect(nullptr);
    if (!display_)
        return false;
    static const wl_registry_listener listener = {&WlrScreencopyGrabber::global, &WlrScreencopyGrabber::globalRemove};
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, this);
    // The globals, then the outputs' names.
    if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0)
        return false;
    return shm_ && manager_ && outputNames_;
}

// Asks for every output at once, so that the compositor copies them all in the same frame.
FrozenFrame WlrScreencopyGrabber::grab()
{
    // Outputs that came or changed since the last grab.
    wl_display_roundtrip(display_);
    struct Request {
        QScreen *screen;
        zwlr_screencopy_frame_v1 *frame;
        std::unique_ptr<Copy> copy; // where the listener writes
        std::unique_ptr<ShmBuffer> buffer;
    };
    std::vector<Request> requests;
    for (QScreen *screen : QGuiApplication::screens()) {
        for (const std::shared_ptr<Output> &output : std::as_const(outputs_)) {
            if (output->name != screen->name())
                continue;
            Request &request = requests.emplace_back(
                Request{screen, zwlr_screencopy_manager_v1_capture_output(manager_, 0, output->output), {}, {}});
            request.copy = std::make_unique<Copy>();
            zwlr_screencopy_frame_v1_add_listener(request.frame, &frameListener, request.copy.get());
            break;
        }
    }
    const auto dispatchUntil = [&](bool (*settled)(const Copy &)) {
        while (!std::all_of(requests.begin(), requests.end(), [&](const Request &r) { return settled(*r.copy); }) &&
               wl_display_dispatch(display_) >= 0) {
        }
    };
    dispatchUntil([](const Copy &copy) { return copy.offered || copy.failed; });
    for (Request &request : requests) {
        if (request.copy->failed || imageFormat(request.copy->format) == QImage::Format_Invalid) {
            request.copy->failed = true;
            continue;
        }
        request.buffer = std::make_unique<ShmBuffer>(shm_, *request.copy);
        if (request.buffer->buffer())
            zwlr_screencopy_frame_v1_copy(request.frame, request.buffer->buffer());
        else
            request.copy->failed = true;
    }
    dispatchUntil([](const Copy &copy) { return copy.ready || copy.failed; });

    QList<FrozenFrame::Shot> shots;
    for (Request &request : requests) {
        const Copy &copy = *request.copy;
        zwlr_screencopy_frame_v1_destroy(request.frame);
        if (!copy.ready)
            continue;
        const QImage::Format format = imageFormat(copy.format);
        QImage picture = request.buffer->takePicture(copy, format);
        if (format != QImage::Format_RGB32)
            picture = picture.convertToFormat(QImage::Format_RGB32);
        if (copy.yInverted)
            picture.mirror(false, true);
        // A scaled output gives more pixels than its logical size.
        picture.setDevicePixelRatio(qreal(picture.width()) / request.screen->geometry().width());
        shots.append(FrozenFrame::Shot{SystemScreenCatalog::info(*request.screen), std::move(picture), {}});
    }
    wl_display_flush(display_);
    return FrozenFrame(std::move(shots));
}
