#include "capture/X11ScreenGrabber.h"

#include "platform/X11Display.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/shm.h>

#include <cstring>

struct X11ScreenGrabber::Buffer {
    X11ScreenGrabber *owner = nullptr;
    XShmSegmentInfo segment{};
    XImage *image = nullptr;
    QSize size;
    bool busy = false;
};

namespace {

// Frees the image record alone: its pixels are the shared segment and its extension data is ours.
void destroy(XImage *image)
{
    image->data = nullptr;
    image->obdata = nullptr;
    XDestroyImage(image);
}

} // namespace

bool X11ScreenGrabber::isRgb32(const _XImage &image)
{
    return image.bits_per_pixel == 32 && image.byte_order == LSBFirst && image.red_mask == 0xff0000 &&
           image.green_mask == 0xff00 && image.blue_mask == 0xff;
}

X11ScreenGrabber *X11ScreenGrabber::instance()
{
    // Made once for the life of the process; the server lets go of the segments when it disconnects.
    static X11ScreenGrabber *const grabber = [] {
        Display *display = X11Display::display();
        return display && XShmQueryExtension(display) ? new X11ScreenGrabber(display) : nullptr;
    }();
    return grabber;
}

X11ScreenGrabber::X11ScreenGrabber(_XDisplay *display)
    : display_(display)
{
}

X11ScreenGrabber::Buffer *X11ScreenGrabber::idleBuffer(QSize size)
{
    QMutexLocker lock(&mutex_);
    for (const std::unique_ptr<Buffer> &buffer : buffers_) {
        if (!buffer->busy && buffer->size == size) {
            buffer->busy = true;
            return buffer.get();
        }
    }
    lock.unlock();

    auto buffer = std::make_unique<Buffer>();
    buffer->owner = this;
    buffer->size = size;
    const int screen = DefaultScreen(display_);
    buffer->image = XShmCreateImage(display_, DefaultVisual(display_, screen), DefaultDepth(display_, screen), ZPixmap,
                                    nullptr, &buffer->segment, size.width(), size.height());
    if (!buffer->image)
        return nullptr;
    const auto discard = [&] {
        if (buffer->segment.shmaddr && buffer->segment.shmaddr != reinterpret_cast<char *>(-1))
            shmdt(buffer->segment.shmaddr);
        if (buffer->segment.shmid >= 0)
            shmctl(buffer->segment.shmid, IPC_RMID, nullptr);
        destroy(buffer->image);
    };
    buffer->segment.shmid =
        shmget(IPC_PRIVATE, size_t(buffer->image->bytes_per_line) * size.height(), IPC_CREAT | 0600);
    buffer->segment.shmaddr =
        buffer->segment.shmid < 0 ? nullptr : static_cast<char *>(shmat(buffer->segment.shmid, nullptr, 0));
    buffer->segment.readOnly = False;
    if (!isRgb32(*buffer->image) || !buffer->segment.shmaddr ||
        buffer->segment.shmaddr == reinterpret_cast<char *>(-1) || !XShmAttach(display_, &buffer->segment)) {
        discard();
        return nullptr;
    }
    XSync(display_, False);
    // Gone for good once both this process and the server have let go of it.
    shmctl(buffer->segment.shmid, IPC_RMID, nullptr);
    buffer->image->data = buffer->segment.shmaddr;
    buffer->busy = true;

    lock.relock();
    buffers_.push_back(std::move(buffer));
    return buffers_.back().get();
}

QImage X11ScreenGrabber::grab(const QRect &deviceRect)
{
    const int screen = DefaultScreen(display_);
    return grab(RootWindow(display_, screen),
                deviceRect & QRect(0, 0, DisplayWidth(display_, screen), DisplayHeight(display_, screen)));
}

QImage X11ScreenGrabber::grab(unsigned long drawable, const QRect &rect)
{
    if (rect.isEmpty())
        return QImage();
    Buffer *buffer = idleBuffer(rect.size());
    if (!buffer)
        return QImage();
    if (!XShmGetImage(display_, drawable, buffer->image, rect.x(), rect.y(), AllPlanes)) {
        giveBack(buffer);
        return QImage();
    }
    return QImage(reinterpret_cast<uchar *>(buffer->image->data), rect.width(), rect.height(),
                  buffer->image->bytes_per_line, QImage::Format_RGB32, &X11ScreenGrabber::giveBack, buffer);
}

void X11ScreenGrabber::giveBack(void *opaque)
{
    auto *buffer = static_cast<Buffer *>(opaque);
    // The picture of the screen does not outlive its frame.
    std::memset(buffer->image->data, 0, size_t(buffer->image->bytes_per_line) * buffer->size.height());
    QMutexLocker lock(&buffer->owner->mutex_);
    buffer->busy = false;
}

void X11ScreenGrabber::releaseIdleBuffers()
{
    QMutexLocker lock(&mutex_);
    std::erase_if(buffers_, [this](const std::unique_ptr<Buffer> &buffer) {
        if (buffer->busy)
            return false;
        XShmDetach(display_, &buffer->segment);
        shmdt(buffer->segment.shmaddr);
        destroy(buffer->image);
        return true;
    });
}
