#include "files/pngwriter.h"

#include <QIODevice>
#include <QSysInfo>

#include <png.h>

#include <csetjmp>
#include <vector>

namespace PngWriter {

namespace {

struct Output
{
    QIODevice *device;
    bool failed = false;
};

void writeBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto *output = static_cast<Output *>(png_get_io_ptr(png));
    if (output->device->write(reinterpret_cast<const char *>(data), qint64(length)) !=
        qint64(length)) {
        output->failed = true;
        png_error(png, "write failed");
    }
}

void flushBytes(png_structp) {}

// libpng reports errors by a jump back to write(); its warnings say nothing to the user.
void onError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Everything libpng needs, made before the jump point so the jump leaves nothing behind.
struct Png
{
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;
    ~Png() { png_destroy_write_struct(&png, &info); }
};

// The rows as libpng takes them; a 16-bit image's samples are big-endian in the file.
bool writeRows(Png &state, const QImage &image, Output &output, const Settings &settings)
{
    png_structp png = state.png;
    png_infop info = state.info;
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, &output, writeBytes, flushBytes);
    const bool indexed = image.format() == QImage::Format_Indexed8;
    const bool wide = image.format() == QImage::Format_Grayscale16;
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), wide ? 16 : 8,
                 indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (indexed) {
        png_set_PLTE(png, info, state.palette.data(), int(state.palette.size()));
        if (!state.alphas.empty())
            png_set_tRNS(png, info, state.alphas.data(), int(state.alphas.size()), nullptr);
    }
    png_set_compression_level(png, settings.level);
    png_set_compression_strategy(png, settings.strategy);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, settings.filters);
    png_write_info(png, info);
    if (wide && QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        png_set_swap(png);
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, const_cast<png_bytep>(image.constScanLine(y)));
    png_write_end(png, nullptr);
    return !output.failed;
}

} // namespace

bool handles(const QImage &image)
{
    return image.format() == QImage::Format_Grayscale8 ||
           image.format() == QImage::Format_Grayscale16 ||
           (image.format() == QImage::Format_Indexed8 && image.colorCount() > 0 &&
            image.colorCount() <= 256);
}

bool write(const QImage &image, QIODevice *device, const Settings &settings)
{
    if (!handles(image) || image.isNull())
        return false;
    Png state;
    state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    state.info = state.png ? png_create_info_struct(state.png) : nullptr;
    if (!state.info)
        return false;
    if (image.format() == QImage::Format_Indexed8) {
        bool translucent = false;
        for (const QRgb colour : image.colorTable()) {
            state.palette.push_back(
                {png_byte(qRed(colour)), png_byte(qGreen(colour)), png_byte(qBlue(colour))});
            state.alphas.push_back(png_byte(qAlpha(colour)));
            translucent = translucent || qAlpha(colour) < 255;
        }
        if (!translucent)
            state.alphas.clear();
    }
    Output output{device};
    return writeRows(state, image, output, settings);
}

} // namespace PngWriter
