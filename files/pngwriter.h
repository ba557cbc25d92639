#ifndef VELMORA_FILES_PNGWRITER_H
#define VELMORA_FILES_PNGWRITER_H

#include <QImage>

class QIODevice;

// PNG for the one-channel images masks are made of: 8-bit grey, 8-bit palette and 16-bit
// grey, written with libpng and zlib.
namespace PngWriter {

// How the rows are compressed. The defaults were chosen by measuring write time, read time
// and size on masks, class maps and object maps made from photos (bench/bench_png.cpp): a
// mask is read far more often than written (opening, reading ahead, thumbnails, exports),
// and at 12 MP zlib's level 1 with the "up" filter reads in 10 ms (the runs written before
// took 26 ms, zlib's default level 36 ms), writes in 20 ms, and is at most twice as big as
// zlib's smallest; without a filter it reads 2.5 ms faster but is a third bigger.
struct Settings
{
    int level = 1;      // zlib's level
    int strategy = 0;   // zlib's strategy: Z_DEFAULT_STRATEGY, Z_FILTERED, Z_RLE ...
    int filters = 0x20; // libpng's PNG_FILTER_* set: PNG_FILTER_UP
};

// Whether write() takes this image.
bool handles(const QImage &image);

// Writes `image` (8-bit grey or palette, 16-bit grey) as PNG to `device`. False when the
// device refuses bytes or libpng fails.
bool write(const QImage &image, QIODevice *device, const Settings &settings = Settings());

} // namespace PngWriter

#endif
