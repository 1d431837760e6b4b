#pragma once

#include <QImage>
#include <QMutex>
#include <QRect>

#include <memory>
#include <vector>

struct _XDisplay;
struct _XImage;

// Reads rectangles of the X screen through shared memory, into buffers kept from one grab to the
// next: a grab then costs one copy in the server and no fresh memory, which the kernel has to fault
// in page by page. A buffer goes back to the pool, wiped, once the last copy of its image is gone.
class X11ScreenGrabber {
public:
    // Null when there is no X display or it cannot share memory with this process.
    static X11ScreenGrabber *instance();

    // The pixels of `deviceRect` (root window coordinates); a null image when the server refuses.
    QImage grab(const QRect &deviceRect);

    // The pixels of `area` of a window or pixmap of the server's default depth.
    QImage grab(unsigned long drawable, const QRect &area);

    // Whether the image holds little-endian 0xffRRGGBB words, which QImage takes as they are.
    static bool isRgb32(const _XImage &image);

    // Frees the buffers no image uses. Main thread only, like grab().
    void releaseIdleBuffers();

private:
    struct Buffer;

    explicit X11ScreenGrabber(_XDisplay *display);
    Buffer *idleBuffer(QSize size);
    static void giveBack(void *buffer);

    _XDisplay *display_;
    QMutex mutex_; // images may be dropped on any thread
    std::vector<std::unique_ptr<Buffer>> buffers_;
};
