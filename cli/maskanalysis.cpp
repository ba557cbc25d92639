#include "cli/maskanalysis.h"

#include "files/classfiles.h"
#include "files/picturefile.h"
#include "platform/memory.h"
#include "region/matview.h"

#include <opencv2/imgproc.hpp>

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>

#include <array>
#include <cstring>
#include <numeric>
#include <vector>

namespace MaskAnalysis {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MaskAnalysis", text);
}

// Bytes a pixel of the picture takes while its mask is read: the layer, the mask file
// decoded, the class map decoded, and the class numbers kept for an export.
constexpr qint64 bytesPerPixel = 4;

QString problemOf(MaskFile::ReadStatus status)
{
    switch (status) {
    case MaskFile::ReadStatus::OtherSize:
        return tr("掩膜文件与图片尺寸不符");
    case MaskFile::ReadStatus::Undecodable:
        return tr("掩膜文件无法解码");
    case MaskFile::ReadStatus::NoMemory:
        return tr("内存不足，无法读取掩膜文件");
    case MaskFile::ReadStatus::NotRegular:
        return tr("掩膜文件不是普通文件");
    case MaskFile::ReadStatus::Picture:
        return tr("掩膜文件就是图片本身");
    case MaskFile::ReadStatus::Absent:
    case MaskFile::ReadStatus::Read:
        break;
    }
    return QString();
}

// A run of one value down one column of the layer: rows [top, bottom) of column `x`.
struct Run
{
    int x;
    int top;
    int bottom;
    quint32 value; // the class number, and the object's number above its first byte
};

// The layer's runs, column by column and downwards in each: COCO's order. The columns are
// walked in blocks side by side, a row of a block at a time, so the bytes are read in the
// order they lie; a row of a block equal to the one above (most rows of a mask) costs one
// comparison.
// With `objects` (16-bit, or null) a run is of one class and one object.
void findRuns(const QImage &layer, const QImage &objects, std::vector<Run> &runs)
{
    constexpr int block = 64;
    const int width = layer.width();
    const int height = layer.height();
    const qsizetype stride = layer.bytesPerLine();
    const uchar *bits = layer.constBits();
    const bool withObjects = !objects.isNull() && objects.size() == layer.size();
    const qsizetype objectStride = withObjects ? objects.bytesPerLine() : 0;
    const uchar *objectBits = withObjects ? objects.constBits() : nullptr;
    thread_local std::vector<std::vector<Run>> columns;
    columns.resize(size_t(width));
    for (std::vector<Run> &column : columns)
        column.clear();
    const std::array<uchar, block> none{};
    const std::array<quint16, block> noObjects{};
    for (int left = 0; left < width; left += block) {
        const int span = qMin(block, width - left);
        std::array<int, block> top{};
        const uchar *above = none.data();
        const quint16 *objectsAbove = noObjects.data();
        for (int y = 0; y <= height; ++y) {
            const uchar *row = y < height ? bits + y * stride + left : none.data();
            const quint16 *objectRow =
                !withObjects ? noObjects.data()
                : y < height
                    ? reinterpret_cast<const quint16 *>(objectBits + y * objectStride) + left
                    : noObjects.data();
            if (std::memcmp(row, above, size_t(span)) != 0 ||
                (withObjects &&
                 std::memcmp(objectRow, objectsAbove, size_t(span) * sizeof(quint16)) != 0)) {
                for (int i = 0; i < span; ++i) {
                    if (row[i] == above[i] && objectRow[i] == objectsAbove[i])
                        continue;
                    if (above[i] != 0)
                        columns[size_t(left + i)].push_back(
                            {left + i, top[size_t(i)], y,
                             quint32(above[i]) | (quint32(objectsAbove[i]) << 8)});
                    top[size_t(i)] = y;
                }
            }
            above = row;
            objectsAbove = objectRow;
        }
    }
    runs.clear();
    for (const std::vector<Run> &column : columns)
        runs.insert(runs.end(), column.begin(), column.end());
}

int rootOf(std::vector<int> &parent, int run)
{
    while (parent[size_t(run)] != run) {
        parent[size_t(run)] = parent[size_t(parent[size_t(run)])];
        run = parent[size_t(run)];
    }
    return run;
}

// The 8-connected pieces of each value, found from the runs: runs of one value in
// neighbouring columns belong together when their rows overlap or touch at a corner. Pieces
// come class by class, each class's in the order their first pixel has in COCO's order.
// Each run's piece goes to `pieceOfRun`.
QVector<Piece> piecesOf(const std::vector<Run> &runs, std::vector<int> &pieceOfRun,
                        bool wholeObjects)
{
    thread_local std::vector<int> parent;
    parent.resize(runs.size());
    for (size_t i = 0; i < runs.size(); ++i)
        parent[i] = int(i);
    // An object's parts apart from each other are still the one object.
    if (wholeObjects) {
        std::unordered_map<quint32, int> firstRun;
        for (size_t i = 0; i < runs.size(); ++i) {
            if (runs[i].value <= 0xff)
                continue;
            const auto found = firstRun.emplace(runs[i].value, int(i));
            if (!found.second) {
                const int one = rootOf(parent, found.first->second);
                const int other = rootOf(parent, int(i));
                parent[size_t(qMax(one, other))] = qMin(one, other);
            }
        }
    }
    // Each run of a column meets the runs of the next column that overlap its rows or touch
    // them at a corner. Runs of a column are in order down it, so the first run of the next
    // column that can still meet a run only moves down; from there every run that starts
    // above the run's end (or right at it: a corner) is looked at, whatever its value, since
    // a run of another class in between does not hide a corner beyond it.
    size_t a = 0;
    while (a < runs.size()) {
        const int x = runs[a].x;
        size_t columnEnd = a;
        while (columnEnd < runs.size() && runs[columnEnd].x == x)
            ++columnEnd;
        size_t nextEnd = columnEnd;
        while (nextEnd < runs.size() && runs[nextEnd].x == x + 1)
            ++nextEnd;
        size_t first = columnEnd;
        for (size_t i = a; i < columnEnd && first < nextEnd; ++i) {
            const Run &left = runs[i];
            while (first < nextEnd && runs[first].bottom < left.top)
                ++first;
            for (size_t b = first; b < nextEnd && runs[b].top <= left.bottom; ++b) {
                if (runs[b].value != left.value)
                    continue;
                const int one = rootOf(parent, int(i));
                const int other = rootOf(parent, int(b));
                parent[size_t(qMax(one, other))] = qMin(one, other);
            }
        }
        a = columnEnd;
    }
    // A root is the piece's first run in COCO's order, so numbering roots as they come
    // keeps that order; a stable sort by class then groups them.
    std::vector<int> pieceOfRoot(runs.size(), -1);
    QVector<Piece> pieces;
    pieceOfRun.resize(runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run &run = runs[i];
        const int root = rootOf(parent, int(i));
        int &piece = pieceOfRoot[size_t(root)];
        if (piece < 0) {
            piece = pieces.size();
            Piece fresh;
            fresh.classNumber = int(run.value & 0xff);
            fresh.object = int(run.value >> 8);
            fresh.box = QRect(run.x, run.top, 1, run.bottom - run.top);
            fresh.seed = QPoint(run.x, run.top);
            pieces.append(fresh);
        }
        Piece &into = pieces[piece];
        into.box |= QRect(run.x, run.top, 1, run.bottom - run.top);
        into.area += run.bottom - run.top;
        pieceOfRun[i] = piece;
    }
    QVector<int> order(pieces.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int one, int other) {
        return pieces.at(one).classNumber < pieces.at(other).classNumber;
    });
    QVector<Piece> sorted;
    QVector<int> placeOf(pieces.size());
    for (int place = 0; place < order.size(); ++place) {
        sorted.append(pieces.at(order.at(place)));
        placeOf[order.at(place)] = place;
    }
    for (int &piece : pieceOfRun)
        piece = placeOf.at(piece);
    return sorted;
}

// Each piece's run code: runs in the picture's column-major order, alternately outside and
// inside the piece, starting outside. Runs that continue from one column's foot to the next
// column's head are one run.
void encodeRuns(const std::vector<Run> &runs, const std::vector<int> &pieceOfRun, int height,
                qint64 total, QVector<Piece> &pieces)
{
    QVector<qint64> ends(pieces.size(), 0);
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run &run = runs[i];
        Piece &piece = pieces[pieceOfRun[i]];
        qint64 &end = ends[pieceOfRun[i]];
        const qint64 start = qint64(run.x) * height + run.top;
        const quint32 length = quint32(run.bottom - run.top);
        if (start == end && !piece.runs.isEmpty()) {
            piece.runs.last() += length;
        } else {
            piece.runs.append(quint32(start - end));
            piece.runs.append(length);
        }
        end = start + length;
    }
    for (int i = 0; i < pieces.size(); ++i)
        if (total > ends[i])
            pieces[i].runs.append(quint32(total - ends[i]));
}

// The outer boundary of each piece, traced on the piece alone drawn from its runs. It is
// drawn on its side, where a run is a row's span, and turned back after tracing.
void traceOutlines(const std::vector<Run> &runs, const std::vector<int> &pieceOfRun,
                   QVector<Piece> &pieces)
{
    std::vector<cv::Mat> alone(size_t(pieces.size()));
    for (int i = 0; i < pieces.size(); ++i) {
        // A border of one pixel, so the outline of a piece touching the edge is whole.
        const QRect box = pieces.at(i).box;
        alone[size_t(i)] = cv::Mat(box.width() + 2, box.height() + 2, CV_8U, cv::Scalar(0));
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run &run = runs[i];
        const QRect box = pieces.at(pieceOfRun[i]).box;
        uchar *row = alone[size_t(pieceOfRun[i])].ptr<uchar>(run.x - box.x() + 1);
        std::memset(row + run.top - box.y() + 1, 255, size_t(run.bottom - run.top));
    }
    for (int i = 0; i < pieces.size(); ++i) {
        Piece &piece = pieces[i];
        std::vector<std::vector<cv::Point>> contours;
        cv::findContours(alone[size_t(i)], contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
        size_t longest = 0;
        for (size_t c = 1; c < contours.size(); ++c)
            if (contours[c].size() > contours[longest].size())
                longest = c;
        // Turned back, and in the picture's own turning order.
        if (!contours.empty())
            for (auto point = contours[longest].rbegin(); point != contours[longest].rend();
                 ++point)
                piece.outline << QPoint(point->y - 1 + piece.box.x(), point->x - 1 + piece.box.y());
    }
}

// The pieces of the runs, with their run codes and outlines when `needs` asks for them.
QVector<Piece> piecesFromRuns(const std::vector<Run> &runs, QSize size, int needs)
{
    thread_local std::vector<int> pieceOfRun;
    QVector<Piece> pieces = piecesOf(runs, pieceOfRun, (needs & WholeObjects) == WholeObjects);
    if ((needs & Runs) == Runs)
        encodeRuns(runs, pieceOfRun, size.height(), qint64(size.width()) * size.height(), pieces);
    if ((needs & Outlines) == Outlines)
        traceOutlines(runs, pieceOfRun, pieces);
    return pieces;
}

} // namespace

QByteArray cocoCounts(const QVector<quint32> &runs)
{
    QByteArray text;
    for (int i = 0; i < runs.size(); ++i) {
        qint64 x = runs.at(i);
        if (i > 2)
            x -= runs.at(i - 2);
        bool more = true;
        while (more) {
            char c = char(x & 0x1f);
            x >>= 5; // arithmetic: the sign stays
            more = (c & 0x10) ? x != -1 : x != 0;
            if (more)
                c |= 0x20;
            text.append(char(c + 48));
        }
    }
    return text;
}

Picture analyse(const QString &picturePath, int needs)
{
    Picture result;
    result.path = picturePath;
    // A fifo would wait for a writer forever, a device would never end.
    if (!PictureFile::isPicture(picturePath)) {
        result.problem = tr("图片不是普通文件（可能是管道或设备），没有打开");
        return result;
    }
    result.size = PictureFile::sizeOf(picturePath);
    if (!result.size.isValid()) {
        result.problem = tr("无法读取图片");
        return result;
    }
    // A small file can declare billions of pixels; its mask would take them all. Several
    // pictures are read side by side, so one may take a quarter of what is left.
    // An object map takes two bytes a pixel more.
    const qint64 needed =
        qint64(result.size.width()) * result.size.height() *
        (bytesPerPixel + (QFileInfo::exists(ClassFiles::objectsPathFor(picturePath)) ? 2 : 0));
    const qint64 available = Platform::memoryForNewData();
    if (available >= 0 && needed > available / 4) {
        const QLocale locale;
        result.problem =
            tr("图片有 %1 × %2 像素，读取掩膜需要约 %3 内存，超过可用内存 %4 的四分之一")
                .arg(result.size.width())
                .arg(result.size.height())
                .arg(locale.formattedDataSize(needed), locale.formattedDataSize(available));
        return result;
    }
    MaskFile::Reading reading;
    QImage layer = MaskFile::readLayerBeside(picturePath, result.size, &reading);
    result.maskStatus = reading.status;
    result.problem = problemOf(reading.status);
    if (layer.isNull() && result.problem.isEmpty())
        result.problem = tr("内存不足，无法读取掩膜文件");
    if (!result.problem.isEmpty())
        return result;

    // Classes as the editor reads them: the folder's list, joined with the class map.
    const ClassFiles::List list = ClassFiles::readList(ClassFiles::listPathFor(picturePath));
    ClassFiles::MapStatus mapStatus;
    const QImage numbers =
        ClassFiles::readMap(ClassFiles::mapPathFor(picturePath), result.size, &mapStatus);
    if (mapStatus == ClassFiles::MapStatus::Unreadable && !list.names.isEmpty()) {
        result.problem = tr("类别图无法读取");
        return result;
    }
    result.classNames = ClassFiles::classNames(list.names, ClassFiles::highestOf(numbers));
    if (!result.classNames.isEmpty())
        ClassFiles::joinMap(layer, numbers);
    // Objects as the editor reads them: beside a class map that was read.
    QImage objects;
    if (!result.classNames.isEmpty() && mapStatus == ClassFiles::MapStatus::Read) {
        ClassFiles::MapStatus objectStatus;
        objects = ClassFiles::readObjects(ClassFiles::objectsPathFor(picturePath), result.size,
                                          &objectStatus);
        if (objectStatus == ClassFiles::MapStatus::Unreadable) {
            result.problem = tr("对象图无法读取");
            return result;
        }
        const std::vector<uchar> classOf = ClassFiles::mendObjects(layer, objects);
        if (!objects.isNull()) {
            // Objects counted by class: each number in use is one object of its class.
            std::vector<bool> seen(65536, false);
            for (int y = 0; y < objects.height(); ++y) {
                const auto *row = reinterpret_cast<const quint16 *>(objects.constScanLine(y));
                for (int x = 0; x < objects.width(); ++x)
                    seen[row[x]] = true;
            }
            result.classObjects.fill(0, 256);
            for (size_t number = 1; number < seen.size(); ++number)
                if (seen[number]) {
                    ++result.classObjects[classOf[number]];
                    result.hasObjects = true;
                }
        }
    }
    // Pixels of each class: without classes every byte above 0 is class 1, counted at once.
    const bool oneMask = result.classNames.isEmpty();
    const int layerWidth = layer.width(); // not read again for each pixel
    std::array<qint64, 256> counts{};
    const qint64 total = qint64(result.size.width()) * result.size.height();
    if (oneMask) {
        counts[1] = cv::countNonZero(Region::matOf(std::as_const(layer)));
        counts[0] = total - counts[1];
    } else {
        for (int y = 0; y < layer.height(); ++y) {
            const uchar *row = layer.constScanLine(y);
            for (int x = 0; x < layerWidth; ++x)
                ++counts[row[x]];
        }
    }
    int last = 255;
    while (last > 0 && counts[size_t(last)] == 0)
        --last;
    for (int number = 0; number <= last; ++number)
        result.classPixels.append(counts[size_t(number)]);
    result.maskPixels = total - counts[0];
    if (needs & Numbers) {
        // The layer's bytes themselves: converting its format would read them as alpha.
        result.numbers = QImage(layer.size(), QImage::Format_Indexed8);
        result.numbers.setColorTable(ClassFiles::palette());
        if (!result.numbers.isNull()) {
            cv::Mat into = Region::matOf(result.numbers);
            if (oneMask) // coverage 255 is class 1
                cv::min(Region::matOf(std::as_const(layer)), 1, into);
            else
                Region::matOf(std::as_const(layer)).copyTo(into);
        }
        if (result.numbers.isNull())
            result.problem = tr("内存不足");
        if (result.hasObjects)
            result.objects = objects;
    }
    if (!(needs & Pieces))
        return result;

    // The pieces come from the layer's runs down its columns rather than from labelling
    // every pixel: a mask is mostly long runs, COCO's code is made of runs in that order, and
    // a 12-megapixel mask is read once without being turned on its side.
    thread_local std::vector<Run> runs;
    findRuns(layer, objects, runs);
    layer = QImage();
    objects = QImage();
    result.pieces = piecesFromRuns(runs, result.size, needs);
    if (oneMask)
        for (Piece &piece : result.pieces)
            piece.classNumber = 1; // the layer's bytes are coverage, not class numbers
    return result;
}

QVector<Piece> piecesOf(const QImage &layer, int needs)
{
    return piecesOf(layer, QImage(), needs);
}

QVector<Piece> piecesOf(const QImage &layer, const QImage &objects, int needs)
{
    std::vector<Run> runs;
    findRuns(layer, objects, runs);
    return piecesFromRuns(runs, layer.size(), needs);
}

QImage instancesOf(const QVector<Piece> &pieces, QSize size)
{
    if (pieces.size() > 255)
        return QImage();
    QImage numbers(size, QImage::Format_Indexed8);
    if (numbers.isNull())
        return QImage();
    numbers.setColorTable(ClassFiles::palette());
    numbers.fill(0);
    const qint64 height = size.height();
    for (int i = 0; i < pieces.size(); ++i) {
        // The runs alternate outside and inside, column by column.
        qint64 at = 0;
        const QVector<quint32> &runs = pieces.at(i).runs;
        for (int r = 0; r < runs.size(); ++r) {
            if (r % 2 == 1)
                for (qint64 p = at; p < at + runs.at(r); ++p)
                    numbers.scanLine(int(p % height))[p / height] = uchar(i + 1);
            at += runs.at(r);
        }
    }
    return numbers;
}

} // namespace MaskAnalysis
