#ifndef VELMORA_CLI_MASKANALYSIS_H
#define VELMORA_CLI_MASKANALYSIS_H

#include "files/maskfile.h"

#include <QImage>
#include <QPolygon>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

// What the command line needs of a picture's mask, read through the editor's own file code:
// its classes, and each 8-connected piece of each class with its box, area, run-length code
// and outline.
namespace MaskAnalysis {

struct Piece
{
    int classNumber = 1; // 1 is the first class (the only one without classes)
    int object = 0;      // the object it is (part of), 0 for pixels of no object
    QRect box;
    QPoint seed; // one of its pixels: the top of its first column
    qint64 area = 0;
    // COCO's run-length code: column by column, alternating runs of 0 and 1 starting with 0.
    QVector<quint32> runs;
    QPolygon outline; // the outer boundary's pixels, holes left out
};

struct Picture
{
    QString path;
    QSize size;
    MaskFile::ReadStatus maskStatus = MaskFile::ReadStatus::Absent;
    QString problem;        // why the picture or its mask could not be used; empty when fine
    QStringList classNames; // empty without classes
    QImage numbers; // class numbers, as a palette image of classes; kept only when asked for
    QImage objects; // object numbers (16-bit), kept with the class numbers when there are any
    qint64 maskPixels = 0;
    QVector<qint64> classPixels; // by class number, [0] the background
    QVector<int> classObjects;   // objects of each class, by class number; empty without
    bool hasObjects = false;
    QVector<Piece> pieces;
    int dropped = 0; // pieces left out: smaller than asked, or outlines of under three points
};

// What to find beyond the pixel counts: the pieces (boxes and areas), their run codes, their
// outlines, the class numbers themselves.
// With WholeObjects an object is one piece however many parts it has; else each 8-connected
// part of it is a piece of its own.
enum Needs {
    Counts = 0,
    Pieces = 1,
    Runs = 2 | Pieces,
    Outlines = 4 | Pieces,
    Numbers = 8,
    WholeObjects = 16 | Pieces
};

// Reads the picture's header and the mask (and class map) beside it, and finds what `needs`
// asks for. Any thread.
Picture analyse(const QString &picturePath, int needs);

// The 8-connected pieces of each value of an 8-bit layer (0 is the background), class by
// class, with what `needs` asks for; the same search analyse() makes.
QVector<Piece> piecesOf(const QImage &layer, int needs);
// The same with the objects `objects` (16-bit object numbers, or null) over the layer.
QVector<Piece> piecesOf(const QImage &layer, const QImage &objects, int needs);

// The instances of a picture as VOC's SegmentationObject numbers them, from pieces with
// their runs: 1, 2, ... in the pieces' order, 0 elsewhere. Null for more than 255.
QImage instancesOf(const QVector<Piece> &pieces, QSize size);

// COCO's compressed text of `runs` (as pycocotools' rleToString writes it).
QByteArray cocoCounts(const QVector<quint32> &runs);

} // namespace MaskAnalysis

#endif
