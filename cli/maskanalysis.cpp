#include "cli/maskanalysis.h"

#include "files/classfiles.h"
#include "region/matview.h"

#include <opencv2/imgproc.hpp>

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>

#include <array>

namespace MaskAnalysis {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MaskAnalysis", text);
}

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

// Each piece's run code, in one pass over the classes of the picture on its side (its columns
// as rows, so the bytes are in COCO's column order). A run of one class is all one piece
// (its pixels touch), so a piece's label is looked up once a run.
void encodeRuns(const cv::Mat &columns, const cv::Mat &labels, QVector<Piece> &pieces)
{
    const qint64 total = qint64(columns.total());
    QVector<qint64> ends(pieces.size(), 0);
    const uchar *value = columns.ptr<uchar>();
    const int *label = labels.ptr<int>();
    qint64 at = 0;
    while (at < total) {
        const uchar here = value[at];
        qint64 end = at + 1;
        while (end < total && value[end] == here)
            ++end;
        if (here > 0) {
            const int piece = label[at] - 1;
            pieces[piece].runs.append(quint32(at - ends[piece]));
            pieces[piece].runs.append(quint32(end - at));
            ends[piece] = end;
        }
        at = end;
    }
    for (int i = 0; i < pieces.size(); ++i)
        if (total > ends[i])
            pieces[i].runs.append(quint32(total - ends[i]));
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
    QImageReader header(picturePath);
    result.size = header.size();
    if (!result.size.isValid()) {
        result.problem = tr("无法读取图片");
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
    if (!list.names.isEmpty()) {
        ClassFiles::MapStatus mapStatus;
        const QImage numbers =
            ClassFiles::readMap(ClassFiles::mapPathFor(picturePath), result.size, &mapStatus);
        if (mapStatus == ClassFiles::MapStatus::Unreadable) {
            result.problem = tr("类别图无法读取");
            return result;
        }
        int highest = 0;
        const int numbersWidth = numbers.width(); // not read again for each pixel
        for (int y = 0; y < numbers.height(); ++y) {
            const uchar *row = numbers.constScanLine(y);
            for (int x = 0; x < numbersWidth; ++x)
                highest = qMax(highest, int(row[x]));
        }
        if (qMax(int(list.names.size()), highest) >= 2) {
            result.classNames = list.names;
            for (int number = list.names.size() + 1; number <= highest; ++number)
                result.classNames.append(QString::number(number));
            ClassFiles::joinMap(layer, numbers);
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
        result.numbers = QImage(layer.size(), QImage::Format_Grayscale8);
        for (int y = 0; y < layer.height() && !result.numbers.isNull(); ++y) {
            const uchar *in = layer.constScanLine(y);
            uchar *out = result.numbers.scanLine(y);
            for (int x = 0; x < layerWidth; ++x)
                out[x] = oneMask ? (in[x] ? 1 : 0) : in[x];
        }
        if (result.numbers.isNull())
            result.problem = tr("内存不足");
    }
    if (!(needs & Pieces))
        return result;

    // Each class's 8-connected pieces, numbered across classes in one image of labels. The
    // work is done on the layer turned on its side, where COCO's column order is the order
    // of the bytes: pieces are the same either way.
    // Each worker keeps its buffers from one picture to the next: pictures of a folder are
    // mostly of one size, and fresh memory of that size costs more than the work on it.
    thread_local cv::Mat classes, labels, these, stats, centres;
    cv::transpose(Region::matOf(std::as_const(layer)), classes);
    layer = QImage();
    for (int number = 1; number <= last; ++number) {
        if (counts[size_t(number)] == 0)
            continue;
        const cv::Mat inClass = oneMask ? classes : cv::Mat(classes == number);
        const int count =
            cv::connectedComponentsWithStats(inClass, these, stats, centres, 8, CV_32S);
        const int offset = result.pieces.size();
        for (int i = 1; i < count; ++i) {
            Piece piece;
            piece.classNumber = number;
            // Turned back: the side's rows are the picture's columns.
            piece.box =
                QRect(stats.at<int>(i, cv::CC_STAT_TOP), stats.at<int>(i, cv::CC_STAT_LEFT),
                      stats.at<int>(i, cv::CC_STAT_HEIGHT), stats.at<int>(i, cv::CC_STAT_WIDTH));
            piece.area = stats.at<int>(i, cv::CC_STAT_AREA);
            result.pieces.append(piece);
        }
        if (offset == 0)
            std::swap(labels, these);
        else
            cv::add(labels, these + offset, labels, inClass);
    }
    if ((needs & Runs) == Runs)
        encodeRuns(classes, labels, result.pieces);
    if ((needs & Outlines) == Outlines) {
        for (int i = 0; i < result.pieces.size(); ++i) {
            Piece &piece = result.pieces[i];
            const cv::Rect box(piece.box.y(), piece.box.x(), piece.box.height(),
                               piece.box.width()); // on the side
            // A border of one pixel, so the outline of a piece touching the edge is whole.
            cv::Mat alone(box.height + 2, box.width + 2, CV_8U, cv::Scalar(0));
            alone(cv::Rect(1, 1, box.width, box.height)).setTo(255, labels(box) == i + 1);
            std::vector<std::vector<cv::Point>> contours;
            cv::findContours(alone, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
            size_t longest = 0;
            for (size_t c = 1; c < contours.size(); ++c)
                if (contours[c].size() > contours[longest].size())
                    longest = c;
            // Turned back, and in the picture's own turning order.
            if (!contours.empty())
                for (auto point = contours[longest].rbegin(); point != contours[longest].rend();
                     ++point)
                    piece.outline << QPoint(point->y - 1 + box.y, point->x - 1 + box.x);
        }
    }
    return result;
}

} // namespace MaskAnalysis
