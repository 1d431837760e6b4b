#include "capture/PngWriter.h"

#include <png.h>

#include <csetjmp>

namespace {

void append(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

// No C++ object may live between setjmp and a longjmp out of libpng, hence the plain arguments.
bool encode(png_structp png, png_infop info, const QImage &pixels, bool alpha)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_IHDR(png, info, png_uint_32(pixels.width()), png_uint_32(pixels.height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    // QImage keeps 0xAARRGGBB words, which are B, G, R, A in memory on this byte order.
    png_set_bgr(png);
    if (!alpha)
        png_set_filler(png, 0, PNG_FILLER_AFTER);
    for (int y = 0; y < pixels.height(); ++y)
        png_write_row(png, pixels.constScanLine(y));
    png_write_end(png, info);
    return true;
}

} // namespace

QByteArray PngWriter::write(const QImage &image)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "rows are handed to libpng as 32-bit words in memory order");
    const bool alpha = image.hasAlphaChannel();
    const QImage pixels = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QByteArray bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return {};
    }
    png_set_write_fn(png, &bytes, append, nullptr);
    const bool written = encode(png, info, pixels, alpha);
    png_destroy_write_struct(&png, &info);
    return written ? bytes : QByteArray();
}
