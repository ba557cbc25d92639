#ifndef VELMORA_EDITOR_MASKFILE_H
#define VELMORA_EDITOR_MASKFILE_H

#include <QImage>
#include <QString>

// The mask file beside a picture: its name, how it is read into the red mask layer, how the
// layer becomes the 8-bit file image, and how that image is written without risking the
// mask already on disk.
namespace MaskFile {

// cat.png -> <folder of cat.png>/cat_mask.png; cat.left.png -> cat.left_mask.png.
// Reading and saving both use this, so a saved mask is always found again.
QString pathFor(const QString &imagePath);

// Fills `mask` (ARGB32, already of the picture's size) from the file at `maskPath`:
// opaque red where the file's grey level is above 128, transparent elsewhere. A missing,
// undecodable or differently sized file leaves the whole mask transparent.
void readInto(const QString &maskPath, QImage &mask);

// 255 where the layer's alpha is above 0, else 0, as Format_Grayscale8. Null in, null out.
QImage toGray(const QImage &mask);

// True when the 8-bit mask holds no byte other than 0.
bool isEmpty(const QImage &gray);

// Encodes `gray` in the format the path's suffix names and replaces the file only once the
// complete file is written. Returns false, leaving any earlier file untouched, on failure.
bool write(const QImage &gray, const QString &maskPath);

} // namespace MaskFile

#endif
