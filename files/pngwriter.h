#ifndef VELMORA_FILES_PNGWRITER_H
#define VELMORA_FILES_PNGWRITER_H

#include <QImage>

class QIODevice;

// PNG for the one-channel images masks are made of: 8-bit grey and 8-bit palette.
namespace PngWriter {

// Whether write() takes this image.
bool handles(const QImage &image);

// Writes `image` (8-bit grey or palette) as PNG to `device`. The rows go unfiltered, and the
// bytes are packed as runs of one value: what a mask is made of. Any PNG reader reads it; it
// is written many times faster than by a general compressor, about as small. False when the device refuses bytes.
bool write(const QImage &image, QIODevice *device);

} // namespace PngWriter

#endif
