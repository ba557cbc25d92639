#ifndef VELMORA_EDITOR_PICTUREFILE_H
#define VELMORA_EDITOR_PICTUREFILE_H

#include <QImage>
#include <QString>

// Reading the files the editor works on: pictures and the mask files beside them.
namespace PictureFile {

// True for a regular file or a link to one. Anything else (fifo, socket, device, folder) is
// never opened: opening a fifo for reading waits for a writer that may never come, and a
// device can be endless.
bool isRegularFile(const QString &path);

// Decodes the picture at `path`, the format found from the contents. Null when the file is
// missing, not a regular file, or can't be decoded.
QImage read(const QString &path);

} // namespace PictureFile

#endif
