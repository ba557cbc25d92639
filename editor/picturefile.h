#ifndef VELMORA_EDITOR_PICTUREFILE_H
#define VELMORA_EDITOR_PICTUREFILE_H

#include "editor/maskfile.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QVector>

// Reading the files the editor works on: pictures and the mask files beside them.
namespace PictureFile {

// True for a name with a picture suffix: png, jpg, jpeg or bmp, in any case.
bool hasPictureSuffix(const QString &name);

// True for a regular file or a link to one. Anything else (fifo, socket, device, folder) is
// never opened: opening a fifo for reading waits for a writer that may never come, and a
// device can be endless.
bool isRegularFile(const QString &path);

// Decodes the picture at `path`, the format found from the contents. Null when the file is
// missing, not a regular file, or can't be decoded.
QImage read(const QString &path);

// A picture and its mask layer, decoded and ready to be shown. Made on any thread.
struct WithMask
{
    QImage picture;                // RGB32, or premultiplied ARGB32 when it has alpha
    QImage mask;                   // MaskFile::layerFormat, the picture's size
    QVector<QImage> maskLevels;    // the mask's reduced copies (Display::Pyramid::reduce)
    MaskFile::Reading maskReading; // what became of the mask file beside it
    bool isNull() const { return picture.isNull() || mask.isNull(); }
};

// The picture's size as its header gives it, and the bytes showing it would take (the
// picture at 4 bytes a pixel, its mask layer at 1, both reduced copies, and decoding a mask
// file beside it).
// An invalid size and 0 bytes when the header does not tell.
struct Footprint
{
    QSize size;
    qint64 bytes = 0;
};
Footprint footprintOf(const QString &path);

// Decodes the picture and, at the same time on a worker thread, the mask file beside it.
// Null when the picture can't be read or there is no memory for its mask layer; a missing
// or unusable mask file gives an empty layer, and `maskReading` says which.
WithMask readWithMask(const QString &path);

} // namespace PictureFile

#endif
