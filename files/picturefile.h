#ifndef VELMORA_FILES_PICTUREFILE_H
#define VELMORA_FILES_PICTUREFILE_H

#include "files/classfiles.h"
#include "files/maskfile.h"

#include <QFile>
#include <QImage>
#include <QSize>
#include <QString>
#include <QVector>

#include <atomic>

// Reading the files the editor works on: pictures and the mask files beside them.
class QImageReader;

namespace PictureFile {

// The picture formats opened, each a name and its suffixes: PNG, JPEG and BMP always, and
// WebP, TIFF, AVIF, HEIF and JPEG XL where an image plugin reads them.
struct Format
{
    QString name;
    QStringList suffixes;
};
const QVector<Format> &formats();

// Every suffix of formats(), lower case.
QStringList pictureSuffixes();

// True for a name with a picture suffix of formats(), in any case.
bool hasPictureSuffix(const QString &name);

// A filter for file dialogs: "NAME (*.a *.b)".
QString filterOf(const QString &name, const QStringList &suffixes);

// True for a regular file or a link to one. Anything else (fifo, socket, device, folder) is
// never opened: opening a fifo for reading waits for a writer that may never come, and a
// device can be endless.
bool isRegularFile(const QString &path);

// A file whose reads fail once `cancelled` is set, so a decoder fed from it stops at its next
// read instead of decoding on to the end. Opened buffered: at most one buffer (16 KB) is
// decoded after the cancel, and the system is asked for bytes in big reads (unbuffered, a
// 64-megapixel PNG took 7% longer to open).
class CancellableFile : public QFile
{
public:
    CancellableFile(const QString &path, const std::atomic_bool *cancelled)
        : QFile(path), cancelled(cancelled)
    {
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (cancelled && cancelled->load())
            return -1;
        return QFile::readData(data, maxSize);
    }

private:
    const std::atomic_bool *cancelled;
};

// True for a picture file (isRegularFile) and for a frame of a video that is there.
bool isPicture(const QString &path);

// The picture's size as its header gives it (a video's for its frames); invalid when it
// can't be told.
QSize sizeOf(const QString &path);

// Whether the file at `path` is shorter than its header says, where a decoder would take it
// anyway: an uncompressed BMP cut short, whose missing rows Qt leaves as the memory
// happened to be. Such a file is never shown or read as a mask.
bool isCutShort(const QString &path);

// Decodes what `reader` reads. A big picture whose size and format the header tells is
// decoded into memory that comes in huge pages where the system offers them: its pages are
// then filled with a fraction of the page faults, which on a big picture can take as long
// as the decoding itself.
QImage readWhole(QImageReader &reader);

// Decodes the picture at `path`, the format found from the contents, or the frame a frame
// path names. Null when the file is
// missing, not a regular file, or can't be decoded.
QImage read(const QString &path);

// A picture and its mask layer, decoded and ready to be shown. Made on any thread.
struct WithMask
{
    QImage picture;                // RGB32, or premultiplied ARGB32 when it has alpha
    QImage mask;                   // MaskFile::layerFormat, the picture's size
    QVector<QImage> maskLevels;    // the mask's reduced copies (Display::Pyramid::reduce)
    MaskFile::Reading maskReading; // what became of the mask file beside it
    // With classes (a labels.txt of two or more names, or a class map beside the picture
    // numbering two or more), the layer holds class numbers; these are their names, with a
    // number for each class the map has beyond the list.
    QStringList classNames;
    ClassFiles::MapStatus mapStatus = ClassFiles::MapStatus::Absent;
    bool classesDisagreed = false; // the class map and the mask file did not match
    // The object numbers read from the object map beside the picture (16-bit grey), or null.
    QImage objects;
    ClassFiles::MapStatus objectStatus = ClassFiles::MapStatus::Absent;
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
    qint64 fileBytes = 0;
    // A file far smaller than any real picture of its size: under a byte for every thousand
    // pixels, for a big picture. Damaged, or made to exhaust the memory of whoever opens it.
    bool isSuspicious() const;
};
Footprint footprintOf(const QString &path);

// Whether decoding a picture of this footprint asks the user first: it would take more
// than a quarter of the `available` bytes (-1: unknown), or its file is suspicious.
bool needsConsent(const Footprint &footprint, qint64 available);

// Decodes the picture and, at the same time on a worker thread, the mask file beside it.
// Null when the picture can't be read or there is no memory for its mask layer; a missing
// or unusable mask file gives an empty layer, and `maskReading` says which. Setting
// `cancelled` stops both decoders at their next read, and gives null.
WithMask readWithMask(const QString &path, const std::atomic_bool *cancelled = nullptr);

} // namespace PictureFile

#endif
