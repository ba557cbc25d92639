#ifndef VELMORA_CLI_IMPORTER_H
#define VELMORA_CLI_IMPORTER_H

#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>

// Annotations other tools wrote (COCO, YOLO segmentation, PASCAL VOC, labelme), turned into
// the files the editor reads beside each picture: the mask, and with classes the class map
// and the folder's labels.txt. No widgets: the command line and the window both use it.
namespace Importer {

enum class Format { Coco, Yolo, Voc, Labelme };

// "coco", "yolo", "voc", "labelme"; false for another name.
bool formatNamed(const QString &name, Format *format);

struct Options
{
    Format format = Format::Coco;
    QString source; // COCO: the JSON file; the others: a folder (searched with its subfolders)
    QString folder; // the pictures
    bool replace = false; // pictures that have a mask file get new ones; the old are kept aside
};

struct Report
{
    QString fatal;           // why nothing was imported (the source unreadable ...), or empty
    int imported = 0;        // pictures whose files were written
    QStringList skipped;     // "picture or item: why", one for each item left out
    qint64 takenPixels = 0;  // pixels a later annotation painted over an earlier one (COCO)
    qint64 borderPixels = 0; // VOC's 255, made background
    int boxLines = 0;        // YOLO lines of a box alone, not drawn
    int otherShapes = 0;     // labelme shapes that are no area (lines, points), not drawn
    QStringList newClasses;  // added at the end of labels.txt
    QString backupFolder;    // where the replaced files were kept, when any were
};

// What the run did beside the items it skipped, a line each, ending with the pictures
// imported: classes added, pixels painted over, borders, lines and shapes left out, where
// the replaced files went.
QStringList summaryOf(const Report &report);

// Imports as `options` say. `progress` (done, total) is called from the calling thread
// between pictures; setting `cancelled` stops before the next picture (those written stay).
Report run(const Options &options, const std::function<void(int, int)> &progress = {},
           const std::atomic_bool *cancelled = nullptr);

// COCO's run-length code of a polygon (x0, y0, x1, y1, ...) on a picture of `height` x
// `width`, rasterized as the COCO API does: a pixel is inside when its centre is, on a
// boundary walked at a fifth of a pixel. Column by column, starting with a run of 0s.
QVector<quint32> polygonRuns(const QVector<double> &xy, int height, int width);

// Paints `value` into the 8-bit `numbers` wherever the column-major run code has 1s. Returns
// the pixels that held another nonzero value before.
qint64 paintRuns(QImage &numbers, const QVector<quint32> &runs, uchar value);

} // namespace Importer

#endif
