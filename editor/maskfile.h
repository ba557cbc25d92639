#ifndef VELMORA_EDITOR_MASKFILE_H
#define VELMORA_EDITOR_MASKFILE_H

#include <QImage>
#include <QString>

// The mask file beside a picture: its name, how it is read into the red mask layer, how the
// layer becomes the 8-bit file image, and how that image is written without risking the
// mask already on disk.
namespace MaskFile {

// The format of the mask layer in memory: red where painted, transparent elsewhere, alpha
// above 0 inside the mask. Premultiplied, the format the raster engine blends fastest.
constexpr QImage::Format layerFormat = QImage::Format_ARGB32_Premultiplied;

// cat.png -> <folder of cat.png>/cat_mask.png; cat.left.png -> cat.left_mask.png.
// Reading and saving both use this, so a saved mask is always found again.
QString pathFor(const QString &imagePath);

// Fills `mask` (a 32-bit layer already of the picture's size) from the file at `maskPath`:
// opaque red where the file's grey level is above 128, transparent elsewhere. A missing,
// undecodable or differently sized file leaves the whole mask transparent.
void readInto(const QString &maskPath, QImage &mask);

// A transparent mask layer of `size`; null when the memory can't be had.
QImage newLayer(QSize size);

// A new layer of `size` read from the file at `maskPath` as readInto() reads it; null only
// when the memory for the layer can't be had.
QImage readLayer(const QString &maskPath, QSize size);

// 255 where the layer's alpha is above 0, else 0, as Format_Grayscale8. Null in, null out.
QImage toGray(const QImage &mask);

// True when the 8-bit mask holds no byte other than 0.
bool isEmpty(const QImage &gray);

// Encodes `gray` in the format the path's suffix names and replaces the file only once the
// complete file is written. Returns false, leaving any earlier file untouched, on failure.
bool write(const QImage &gray, const QString &maskPath);

enum class StoreOutcome { Written, WriteFailed, Removed, RemoveFailed, NothingToRemove };

// Brings the file at `maskPath` in line with the 8-bit mask: writes it, or, for an empty
// mask, removes an older file, since it would be outdated. Only the outcomes Written,
// Removed and NothingToRemove leave the file matching the mask.
StoreOutcome store(const QImage &gray, const QString &maskPath);

} // namespace MaskFile

#endif
