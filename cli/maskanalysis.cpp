#include "cli/maskanalysis.h"

#include "files/classfiles.h"
#include "region/matview.h"

#include <opencv2/imgproc.hpp>

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageReader>

#include <map>

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

// Each labelled pixel's run code, in one pass over the labels column by column.
void encodeRuns(const cv::Mat &labels, QVector<Piece> &pieces)
{
    cv::Mat columns;
    cv::transpose(labels, columns); // column-major order becomes row-major
    const qint64 total = qint64(columns.total());
    QVector<qint64> ends(pieces.size(), 0);
    const int *label = columns.ptr<int>();
    qint64 at = 0;
    while (at < total) {
        const int here = label[at];
        qint64 end = at + 1;
        while (end < total && label[end] == here)
            ++end;
        if (here > 0) {
            Piece &piece = pieces[here - 1];
            piece.runs.append(quint32(at - ends[here - 1]));
            piece.runs.append(quint32(end - at));
            ends[here - 1] = end;
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
        for (int y = 0; y < numbers.height(); ++y)
            for (int x = 0; x < numbers.width(); ++x)
                highest = qMax(highest, int(numbers.constScanLine(y)[x]));
        if (qMax(int(list.names.size()), highest) >= 2) {
            result.classNames = list.names;
            for (int number = list.names.size() + 1; number <= highest; ++number)
                result.classNames.append(QString::number(number));
            ClassFiles::joinMap(layer, numbers);
        }
    }
    if (result.classNames.isEmpty()) // one mask: class 1 wherever the mask is
        for (int y = 0; y < layer.height(); ++y) {
            uchar *row = layer.scanLine(y);
            for (int x = 0; x < layer.width(); ++x)
                row[x] = row[x] ? 1 : 0;
        }

    result.classPixels.fill(0, 256);
    for (int y = 0; y < layer.height(); ++y) {
        const uchar *row = layer.constScanLine(y);
        for (int x = 0; x < layer.width(); ++x)
            ++result.classPixels[row[x]];
    }
    result.maskPixels =
        qint64(result.size.width()) * result.size.height() - result.classPixels.at(0);
    int last = 255;
    while (last > 0 && result.classPixels.at(last) == 0)
        --last;
    result.classPixels.resize(last + 1);
    if (needs & Numbers) {
        // The layer's bytes themselves: converting its format would read them as alpha.
        result.numbers = QImage(layer.size(), QImage::Format_Grayscale8);
        for (int y = 0; y < layer.height() && !result.numbers.isNull(); ++y)
            memcpy(result.numbers.scanLine(y), layer.constScanLine(y), size_t(layer.width()));
        if (result.numbers.isNull())
            result.problem = tr("内存不足");
    }
    if (!(needs & (Pieces | Outlines)))
        return result;

    // Each class's 8-connected pieces, numbered across classes in one image of labels.
    const cv::Mat classes = Region::matOf(layer);
    cv::Mat labels(classes.size(), CV_32S, cv::Scalar(0));
    for (int number = 1; number <= last; ++number) {
        if (result.classPixels.at(number) == 0)
            continue;
        cv::Mat these, stats, centres;
        const int count =
            cv::connectedComponentsWithStats(classes == number, these, stats, centres, 8, CV_32S);
        const int offset = result.pieces.size();
        for (int i = 1; i < count; ++i) {
            Piece piece;
            piece.classNumber = number;
            piece.box =
                QRect(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                      stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
            piece.area = stats.at<int>(i, cv::CC_STAT_AREA);
            result.pieces.append(piece);
        }
        cv::add(labels, these + offset, labels, these > 0);
    }
    if (needs & Pieces)
        encodeRuns(labels, result.pieces);
    if (needs & Outlines) {
        for (int i = 0; i < result.pieces.size(); ++i) {
            Piece &piece = result.pieces[i];
            const cv::Rect box(piece.box.x(), piece.box.y(), piece.box.width(), piece.box.height());
            // A border of one pixel, so the outline of a piece touching the edge is whole.
            cv::Mat alone(box.height + 2, box.width + 2, CV_8U, cv::Scalar(0));
            alone(cv::Rect(1, 1, box.width, box.height)).setTo(255, labels(box) == i + 1);
            std::vector<std::vector<cv::Point>> contours;
            cv::findContours(alone, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
            size_t longest = 0;
            for (size_t c = 1; c < contours.size(); ++c)
                if (contours[c].size() > contours[longest].size())
                    longest = c;
            if (!contours.empty())
                for (const cv::Point &point : contours[longest])
                    piece.outline << QPoint(point.x - 1 + box.x, point.y - 1 + box.y);
        }
    }
    return result;
}

} // namespace MaskAnalysis
