#ifndef VELMORA_FILES_MASKFILE_H
#define VELMORA_FILES_MASKFILE_H

#include "files/atomicfile.h"
#include "files/filestamp.h"

#include <QFileDevice>
#include <QImage>
#include <QMap>
#include <QString>

#include <atomic>

// The mask file beside a picture: its name, how it is read into the red mask layer, how the
// layer becomes the 8-bit file image, and how that image is written without risking the
// mask already on disk.
namespace MaskFile {

// The format of the mask layer in memory: one byte a pixel, how much of it the brush
// covered, above 0 inside the mask. The colour is only drawn, never stored per pixel.
constexpr QImage::Format layerFormat = QImage::Format_Alpha8;
// A pixel inside the mask, as the file reader sets it.
constexpr uchar layerInside = 255;

// cat.png -> <folder of cat.png>/cat_mask.png; cat.left.png -> cat.left_mask.png; cat.jpg and
// cat.bmp keep their format; cat.heic, cat.webp, cat.tif ... -> cat_mask.png.
// Reading and saving both use this, so a saved mask is always found again.
QString pathFor(const QString &imagePath);

// The picture whose mask pathFor(imagePath) names: imagePath itself, except for a format
// with no mask of its own: cat.heic's mask name cat_mask.png is the mask of cat.png. So
// where that picture exists, cat.heic has no mask file, and never takes cat.png's.
QString ownerOf(const QString &imagePath);
bool maskNameTaken(const QString &imagePath);

// What became of the mask file when a picture was opened. Every status but Absent and Read
// means a file is there that the mask does not show; such a file is never replaced or
// removed without asking.
// Picture: the mask file is the picture itself (a link or a hard link to it), never read.
enum class ReadStatus { Absent, Read, OtherSize, Undecodable, NoMemory, NotRegular, Picture };

inline bool isUnread(ReadStatus status)
{
    return status != ReadStatus::Absent && status != ReadStatus::Read;
}

// The mask file as it was read or last written: its status and its stamp, taken before it
// was read, so a change made during the read shows as a change.
struct Reading
{
    ReadStatus status = ReadStatus::Absent;
    FileStamp stamp;
};

// The stamp by which the mask file beside a picture is told to have changed.
FileStamp stampOf(const QString &maskPath);

// Fills `mask` (a layer already of the picture's size) from the file at `maskPath`: inside
// where the file's grey level is above 128, outside elsewhere. A missing,
// undecodable or differently sized file leaves the whole mask transparent; the result says
// which.
Reading readInto(const QString &maskPath, QImage &mask);

// An empty mask layer of `size`; null when the memory can't be had.
QImage newLayer(QSize size);

// A new layer of `size` read from the file at `maskPath` as readInto() reads it; null only
// when the memory for the layer can't be had. `reading`, when given, receives what became
// of the file.
// Setting `cancelled` stops the decoder at its next read.
QImage readLayer(const QString &maskPath, QSize size, Reading *reading = nullptr,
                 const std::atomic_bool *cancelled = nullptr);

// The layer of the mask file beside the picture at `picturePath`, as readLayer() reads it,
// except that a mask file that is the picture itself is not read (status Picture).
QImage readLayerBeside(const QString &picturePath, QSize size, Reading *reading = nullptr,
                       const std::atomic_bool *cancelled = nullptr);

// 255 where the layer is above 0, else 0, as Format_Grayscale8. Null in, null out.
QImage toGray(const QImage &mask);

// True when the 8-bit mask holds no byte other than 0.
bool isEmpty(const QImage &gray);

// Encodes `gray` in the format the path's suffix names and replaces the file only once the
// complete file is written. Returns false, leaving any earlier file untouched, on failure,
// and for a null image. JPEG is written at its best quality, so the grey levels between 0
// and 255 that its compression adds stay few and close to the mask's edges.
// `texts` go into the file's text chunks where the format has them (PNG). Written through
// the program's one writer (AtomicFile) with `options`; `why`, when given, receives why a
// write failed.
bool write(const QImage &gray, const QString &maskPath,
           const QMap<QString, QString> &texts = QMap<QString, QString>(),
           const AtomicFile::Options &options = AtomicFile::Options(),
           AtomicFile::Failure *why = nullptr);

enum class StoreOutcome { Written, WriteFailed, Removed, RemoveFailed, NothingToRemove };

// Brings the file at `maskPath` in line with the 8-bit mask: writes it, or, for an empty
// mask, removes an older file, since it would be outdated. Only the outcomes Written,
// Removed and NothingToRemove leave the file matching the mask. A null image is a mask that
// could not be exported, never an empty one: it fails and touches nothing.
StoreOutcome store(const QImage &gray, const QString &maskPath,
                   const AtomicFile::Options &options = AtomicFile::Options(),
                   AtomicFile::Failure *why = nullptr);

// Why a mask file beside a picture is not shown, as the status bar and the picture list say
// it; empty for a file that was read or is absent.
QString unreadText(ReadStatus status);

} // namespace MaskFile

#endif
