#ifndef VELMORA_FILES_PNGWRITER_H
#define VELMORA_FILES_PNGWRITER_H

#include <QImage>

class QIODevice;

// PNG for the one-channel images masks are made of: 8-bit grey and 8-bit palette.
namespace PngWriter {

// Whether write() takes this image.
bool handles(const QImage &image);

// Writes `image` (8-bit grey or palette) as PNG to `device`. The rows go unfiltered: a mask's
// rows are long runs that deflate packs as well without a filter, and choosing a filter for
// every row costs more than the rest of the encoding. Deflate looks for runs only. False when the device refuses bytes.
bool write(const QImage &image, QIODevice *device);

} // namespace PngWriter

#endif
