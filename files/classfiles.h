#ifndef VELMORA_FILES_CLASSFILES_H
#define VELMORA_FILES_CLASSFILES_H

#include "files/atomicfile.h"
#include "files/filestamp.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <vector>

// The files of classes: the list of class names a folder shares (labels.txt), and the map
// of class numbers beside each picture (NAME_labels.png), next to the binary mask file.
namespace ClassFiles {

// The list's place in the folder of the picture at `picturePath`.
QString listPathFor(const QString &picturePath);

// One class name a line, in order: UTF-8, blank lines and lines starting with '#' skipped,
// the two first lines labelme writes ("__ignore__", "_background_") skipped too.
QStringList parseList(const QByteArray &text);

struct List
{
    QStringList names;
    QByteArray text; // the file as read
    FileStamp stamp; // taken before reading: a change made meanwhile shows as a change
    bool readable = true;
    // False for a list that is not plain UTF-8 text (another encoding, a NUL byte): it is
    // shown as read, but rewriting it would lose the names decoding could not give back.
    bool rewritable = true;
};

// Whether `text` is UTF-8 without NUL bytes, so its lines come back as they were.
bool isPlainText(const QByteArray &text);

// The list at `path`; no names when there is none or it can't be read (`readable` false).
List readList(const QString &path);

// `original` (a list's text) with its class names replaced by `names`, in order: comments,
// blank lines and labelme's first lines stay where they were, names beyond the old ones
// follow at the end.
QByteArray rewrittenList(const QByteArray &original, const QStringList &names);

// Writes `text` through the program's one writer.
AtomicFile::Failure writeList(const QString &path, const QByteArray &text);

// The one rule for whether a picture has classes, used wherever masks are read: it has them
// when the list names two or more, or its class map (or layer) holds a number of 2 or
// more; a map without a list still gives classes, named by their numbers. Returns the
// class names, the list's first and a number for each class beyond it; empty without
// classes.
QStringList classNames(const QStringList &list, int highest);

// The highest value of an 8-bit image; 0 for a null one.
int highestOf(const QImage &numbers);

// cat.jpg -> <folder>/cat_labels.png: always PNG, a lossless format whatever the picture's.
QString mapPathFor(const QString &picturePath);

// cat.jpg -> <folder>/cat_objects.png: the object numbers, 16-bit grey, 0 where no object.
QString objectsPathFor(const QString &picturePath);

// PASCAL VOC's colours: class 1 (128, 0, 0), 2 (0, 128, 0), 3 (128, 128, 0), ... and 0
// black, so programs that show the map show each class in its own colour.
QVector<QRgb> palette();

// The class map `numbers` (8-bit, one class number a pixel) as an 8-bit palette image.
QImage toIndexed(const QImage &numbers);

enum class MapStatus { Absent, Read, Unreadable };

// The class numbers in the map file at `path`, as Format_Grayscale8 of `size`: the pixel
// values of a palette PNG, or the grey levels of a grey one. Null when there is no file, it
// can't be read or has another size (`status` says which).
QImage readMap(const QString &path, QSize size, MapStatus *status,
               const std::atomic_bool *cancelled = nullptr);

// The object numbers in the object map at `path`, as Format_Grayscale16 of `size`: a 16-bit
// grey PNG, or an 8-bit grey or palette one for up to 255 objects. Null, with `status`
// saying why, as readMap().
QImage readObjects(const QString &path, QSize size, MapStatus *status,
                   const std::atomic_bool *cancelled = nullptr);

// The class of each object number of `objects` (16-bit) over the class numbers `classes`
// (8-bit, the same size), 0 for numbers not in use: each object takes the class of its
// first pixel. Pixels of an object in another class, or in none, are set to no object in
// place, so every object lies in one class as files written by hand or by others may not.
std::vector<uchar> mendObjects(const QImage &classes, QImage &objects);

// Joins the class map read beside a picture with the layer read from its binary mask, in
// place in `layer`: each pixel takes the map's class; a pixel of the mask without one takes
// the first class, so no pixel of either file is dropped. Returns whether the two files
// disagreed.
bool joinMap(QImage &layer, const QImage &numbers);

// Writes the files the editor keeps for the class numbers `numbers` (8-bit) of `picture`: with
// `classes`, its class map and its mask (255 wherever any class is); without, its mask alone,
// taking away an old class map; an old object map goes either way. Each through the program's one
// writer, no more open to others than the picture. On failure, `failedPath` names the file and the
// result says why (CannotCreate also for a class map that could not be removed).
AtomicFile::Failure storeNumbers(const QImage &numbers, const QString &picture, bool classes,
                                 QString *failedPath);

} // namespace ClassFiles

#endif
