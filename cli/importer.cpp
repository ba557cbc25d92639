#include "cli/importer.h"

#include "files/atomicfile.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "files/picturefile.h"
#include "folder/picturefolder.h"
#include "platform/memory.h"
#include "region/matview.h"

#include <opencv2/imgproc.hpp>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace Importer {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Importer", text);
}

// Bytes a picture pixel takes while it is imported: its class numbers, the same turned on
// their side, and the mask written from them.
constexpr qint64 bytesPerPixel = 3;

// What one item adds to the report beside being imported or not.
struct Counts
{
    qint64 taken = 0;
    qint64 border = 0;
    int boxLines = 0;
    int otherShapes = 0;
};

// Paints one item's annotations into `numbers` (8-bit, the picture's size, all 0), each
// source class as `numberOf[class]`. Returns why it could not, or empty.
using Paint = std::function<QString(QImage &numbers, const QVector<int> &numberOf, Counts &)>;

struct Item
{
    QString label; // how the report names it
    QString key;   // the picture's file name, or its name without suffix (byStem)
    bool byStem = false;
    QSize declared; // the size the source gives the picture; invalid when it gives none
    Paint paint;
};

struct Source
{
    QString fatal;
    QStringList names; // the source's classes, in its order
    QVector<Item> items;
    QStringList skipped;
};

// The annotation's pixels as spans of COCO's column-major order, [start, end).
using Spans = std::vector<std::pair<qint64, qint64>>;

Spans spansOf(const QVector<quint32> &runs)
{
    Spans spans;
    qint64 at = 0;
    for (int i = 0; i < runs.size(); ++i) {
        if (i % 2 && runs.at(i) > 0)
            spans.emplace_back(at, at + runs.at(i));
        at += runs.at(i);
    }
    return spans;
}

// One annotation's polygons are one region: their spans joined, so they do not count as
// painting over each other.
Spans joined(Spans spans)
{
    std::sort(spans.begin(), spans.end());
    Spans out;
    for (const auto &span : spans) {
        if (!out.empty() && span.first <= out.back().second)
            out.back().second = std::max(out.back().second, span.second);
        else
            out.push_back(span);
    }
    return out;
}

// Paints `value` over the spans of `columns`, the picture turned on its side (a row a
// column, so COCO's order is the order of its bytes). Returns the pixels that held a value.
qint64 paintSpans(cv::Mat &columns, const Spans &spans, uchar value)
{
    const qint64 total = qint64(columns.total());
    uchar *bytes = columns.data;
    qint64 taken = 0;
    for (const auto &span : spans) {
        const qint64 from = std::max<qint64>(0, span.first);
        const qint64 to = std::min(span.second, total);
        if (from >= to)
            continue;
        taken += to - from - std::count(bytes + from, bytes + to, uchar(0));
        std::memset(bytes + from, value, size_t(to - from));
    }
    return taken;
}

// pycocotools' rleFrString: the compressed text of a run code.
QVector<quint32> runsFromText(const QByteArray &text)
{
    QVector<quint32> runs;
    int p = 0;
    while (p < text.size()) {
        qint64 x = 0;
        int k = 0;
        bool more = true;
        while (more && p < text.size()) {
            const qint64 c = text.at(p) - 48;
            x |= (c & 0x1f) << (5 * k);
            more = c & 0x20;
            ++p;
            ++k;
            if (!more && (c & 0x10))
                x |= -(qint64(1) << (5 * k));
        }
        if (runs.size() > 2)
            x += runs.at(runs.size() - 2);
        runs.append(quint32(qMax<qint64>(0, x)));
    }
    return runs;
}

QJsonDocument readJson(const QString &path, QString *problem)
{
    QFile file(path);
    if (!PictureFile::isRegularFile(path) || !file.open(QIODevice::ReadOnly)) {
        *problem = tr("无法读取 %1").arg(QDir::toNativeSeparators(path));
        return QJsonDocument();
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        *problem = tr("%1 不是可以读取的 JSON: %2")
                       .arg(QDir::toNativeSeparators(path), error.errorString());
    return document;
}

// Every file under `folder` with one of `suffixes`, in natural order of their paths.
QStringList filesUnder(const QString &folder, const QStringList &suffixes)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (suffixes.contains(it.fileInfo().suffix().toLower()))
            found << it.filePath();
    }
    std::sort(found.begin(), found.end(), PictureFolder::naturalLess);
    return found;
}

// ---- COCO ------------------------------------------------------------------------------

Source readCoco(const QString &path)
{
    Source source;
    const QJsonDocument document = readJson(path, &source.fatal);
    if (!source.fatal.isEmpty())
        return source;
    const QJsonObject root = document.object();
    QHash<qint64, int> classOfCategory;
    for (const QJsonValue &value : root.value(QStringLiteral("categories")).toArray()) {
        const QJsonObject category = value.toObject();
        classOfCategory.insert(category.value(QStringLiteral("id")).toVariant().toLongLong(),
                               source.names.size());
        source.names << category.value(QStringLiteral("name")).toString().simplified();
    }
    // Each picture's annotations, in the file's order: later ones are painted over earlier.
    QHash<qint64, QVector<QJsonObject>> annotationsOf;
    int number = 0;
    for (const QJsonValue &value : root.value(QStringLiteral("annotations")).toArray()) {
        ++number;
        QJsonObject annotation = value.toObject();
        const qint64 category =
            annotation.value(QStringLiteral("category_id")).toVariant().toLongLong();
        if (!classOfCategory.contains(category)) {
            source.skipped << tr("标注 %1: 类别 %2 不在 categories 中").arg(number).arg(category);
            continue;
        }
        annotation.insert(QStringLiteral("velmoraClass"), classOfCategory.value(category));
        annotationsOf[annotation.value(QStringLiteral("image_id")).toVariant().toLongLong()].append(
            annotation);
    }
    for (const QJsonValue &value : root.value(QStringLiteral("images")).toArray()) {
        const QJsonObject image = value.toObject();
        Item item;
        const QString fileName = image.value(QStringLiteral("file_name")).toString();
        item.label = fileName;
        // Pictures kept in subfolders by the source are matched by their names.
        item.key =
            QFileInfo(QString(fileName).replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName();
        item.declared = QSize(image.value(QStringLiteral("width")).toInt(),
                              image.value(QStringLiteral("height")).toInt());
        const QVector<QJsonObject> annotations =
            annotationsOf.value(image.value(QStringLiteral("id")).toVariant().toLongLong());
        item.paint = [annotations](QImage &numbers, const QVector<int> &numberOf,
                                   Counts &counts) -> QString {
            const int height = numbers.height();
            const int width = numbers.width();
            cv::Mat columns(width, height, CV_8U, cv::Scalar(0));
            for (const QJsonObject &annotation : annotations) {
                const QJsonValue segmentation = annotation.value(QStringLiteral("segmentation"));
                Spans spans;
                if (segmentation.isObject()) {
                    const QJsonObject rle = segmentation.toObject();
                    const QJsonArray size = rle.value(QStringLiteral("size")).toArray();
                    if (size.at(0).toInt() != height || size.at(1).toInt() != width)
                        return tr("RLE 的尺寸 %1×%2 与图片不符")
                            .arg(size.at(1).toInt())
                            .arg(size.at(0).toInt());
                    const QJsonValue counts = rle.value(QStringLiteral("counts"));
                    QVector<quint32> runs;
                    if (counts.isString()) {
                        runs = runsFromText(counts.toString().toLatin1());
                    } else {
                        for (const QJsonValue &run : counts.toArray())
                            runs << quint32(qMax(0.0, run.toDouble()));
                    }
                    spans = spansOf(runs);
                } else {
                    for (const QJsonValue &polygon : segmentation.toArray()) {
                        QVector<double> xy;
                        for (const QJsonValue &coordinate : polygon.toArray())
                            xy << coordinate.toDouble();
                        const Spans some = spansOf(polygonRuns(xy, height, width));
                        spans.insert(spans.end(), some.begin(), some.end());
                    }
                    spans = joined(std::move(spans));
                }
                const int value =
                    numberOf.value(annotation.value(QStringLiteral("velmoraClass")).toInt());
                counts.taken += paintSpans(columns, spans, uchar(value));
            }
            cv::Mat into = Region::matOf(numbers);
            cv::transpose(columns, into);
            return QString();
        };
        source.items << item;
    }
    return source;
}

// An item of its own file, matched to the picture of the same name without suffix.
Item fileItem(const QString &file)
{
    Item item;
    item.label = QDir::toNativeSeparators(file);
    item.key = QFileInfo(file).completeBaseName();
    item.byStem = true;
    return item;
}

// ---- YOLO ------------------------------------------------------------------------------

// The file named `name` in `folder` or the folder above it, where datasets keep it.
QString besideOrAbove(const QString &folder, const QString &name)
{
    for (const QString &place : {folder, folder + QStringLiteral("/..")}) {
        const QString path = QDir::cleanPath(place + QLatin1Char('/') + name);
        if (PictureFile::isRegularFile(path))
            return path;
    }
    return QString();
}

QStringList textLines(const QString &path)
{
    QFile file(path);
    if (!PictureFile::isRegularFile(path) || !file.open(QIODevice::ReadOnly))
        return QStringList();
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
}

// The names of data.yaml: "names: [a, b]", or a list ("- a") or a map ("0: a") below it.
QStringList yamlNames(const QString &path)
{
    QStringList names;
    bool inNames = false;
    for (const QString &raw : textLines(path)) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1String("names:"))) {
            const QString rest = line.mid(6).trimmed();
            if (rest.startsWith(QLatin1Char('['))) {
                for (QString name : rest.mid(1, rest.lastIndexOf(QLatin1Char(']')) - 1)
                                        .split(QLatin1Char(','), Qt::SkipEmptyParts))
                    names << name.trimmed().remove(QLatin1Char('\'')).remove(QLatin1Char('"'));
                return names;
            }
            inNames = true;
            continue;
        }
        if (!inNames)
            continue;
        if (!raw.startsWith(QLatin1Char(' ')) && !raw.startsWith(QLatin1Char('\t')) &&
            !line.isEmpty())
            break;
        QString name =
            line.startsWith(QLatin1Char('-')) ? line.mid(1) : line.section(QLatin1Char(':'), 1);
        name = name.trimmed().remove(QLatin1Char('\'')).remove(QLatin1Char('"'));
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

Source readYolo(const QString &folder)
{
    Source source;
    const QString classes = besideOrAbove(folder, QStringLiteral("classes.txt"));
    if (!classes.isEmpty()) {
        for (const QString &line : textLines(classes))
            if (!line.trimmed().isEmpty())
                source.names << line.trimmed();
    } else {
        for (const QString &name : {QStringLiteral("data.yaml"), QStringLiteral("dataset.yaml")})
            if (source.names.isEmpty() && !besideOrAbove(folder, name).isEmpty())
                source.names = yamlNames(besideOrAbove(folder, name));
    }
    QStringList files = filesUnder(folder, {QStringLiteral("txt")});
    files.removeAll(classes);
    if (source.names.isEmpty()) {
        // Without names, each class is named by its index.
        int highest = -1;
        for (const QString &file : qAsConst(files))
            for (const QString &line : textLines(file))
                highest = qMax(highest, line.section(QLatin1Char(' '), 0, 0).toInt());
        for (int index = 0; index <= highest; ++index)
            source.names << QString::number(index);
    }
    const int known = source.names.size();
    for (const QString &file : qAsConst(files)) {
        Item item = fileItem(file);
        item.paint = [file, known](QImage &numbers, const QVector<int> &numberOf,
                                   Counts &counts) -> QString {
            const QStringList lines = textLines(file);
            cv::Mat into = Region::matOf(numbers);
            for (int i = 0; i < lines.size(); ++i) {
                const QStringList fields =
                    lines.at(i).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
                if (fields.isEmpty())
                    continue;
                if (fields.size() == 5) {
                    ++counts.boxLines; // a box, not an outline
                    continue;
                }
                bool ok = false;
                const int index = fields.first().toInt(&ok);
                if (!ok || index < 0 || index >= known || fields.size() < 7 ||
                    fields.size() % 2 == 0)
                    return tr("第 %1 行不是类别加至少三个点的多边形").arg(i + 1);
                std::vector<cv::Point> outline;
                for (int f = 1; f + 1 < fields.size(); f += 2)
                    outline.emplace_back(
                        int(std::lround(fields.at(f).toDouble() * numbers.width())),
                        int(std::lround(fields.at(f + 1).toDouble() * numbers.height())));
                cv::fillPoly(into, std::vector<std::vector<cv::Point>>{outline},
                             cv::Scalar(numberOf.value(index)), cv::LINE_8);
            }
            return QString();
        };
        source.items << item;
    }
    return source;
}

// ---- VOC -------------------------------------------------------------------------------

const char *const vocNames[] = {"aeroplane",   "bicycle", "bird",  "boat",      "bottle",
                                "bus",         "car",     "cat",   "chair",     "cow",
                                "diningtable", "dog",     "horse", "motorbike", "person",
                                "pottedplant", "sheep",   "sofa",  "train",     "tvmonitor"};

Source readVoc(const QString &folder)
{
    Source source;
    const QString classFolder = folder + QStringLiteral("/SegmentationClass");
    const QString maps = QFileInfo(classFolder).isDir() ? classFolder : folder;
    // labelmap.txt: "name:r,g,b:parts:actions", background first.
    QString labelmap = besideOrAbove(maps, QStringLiteral("labelmap.txt"));
    if (labelmap.isEmpty())
        labelmap = besideOrAbove(folder, QStringLiteral("labelmap.txt"));
    for (const QString &line : textLines(labelmap)) {
        const QString name = line.section(QLatin1Char(':'), 0, 0).trimmed();
        if (!name.isEmpty() && !name.startsWith(QLatin1Char('#')) &&
            name != QLatin1String("background"))
            source.names << name;
    }
    if (labelmap.isEmpty())
        for (const char *name : vocNames)
            source.names << QString::fromLatin1(name);
    const int known = source.names.size();
    for (const QString &file : filesUnder(maps, {QStringLiteral("png")})) {
        Item item = fileItem(file);
        item.paint = [file, known](QImage &numbers, const QVector<int> &numberOf,
                                   Counts &counts) -> QString {
            QImageReader reader(file, "png");
            if (reader.size() != numbers.size())
                return tr("类别图的尺寸与图片不符");
            const QImage map = reader.read();
            if (map.format() != QImage::Format_Indexed8 &&
                map.format() != QImage::Format_Grayscale8)
                return tr("不是调色板或灰度 PNG，读不出类别编号");
            const int width = numbers.width();
            for (int y = 0; y < numbers.height(); ++y) {
                const uchar *in = map.constScanLine(y);
                uchar *out = numbers.scanLine(y);
                for (int x = 0; x < width; ++x) {
                    if (in[x] == 255)
                        ++counts.border; // VOC's "don't care" border
                    else if (in[x] > known)
                        return tr("类别编号 %1 超出类别列表").arg(in[x]);
                    else if (in[x] > 0)
                        out[x] = uchar(numberOf.value(in[x] - 1));
                }
            }
            return QString();
        };
        source.items << item;
    }
    return source;
}

// ---- labelme ---------------------------------------------------------------------------

QPointF pointOf(const QJsonValue &value)
{
    const QJsonArray pair = value.toArray();
    return QPointF(pair.at(0).toDouble(), pair.at(1).toDouble());
}

Source readLabelme(const QString &folder)
{
    Source source;
    for (const QString &file : filesUnder(folder, {QStringLiteral("json")})) {
        QString problem;
        const QJsonDocument document = readJson(file, &problem);
        const QJsonObject root = document.object();
        if (!problem.isEmpty() || !root.contains(QStringLiteral("shapes"))) {
            source.skipped << tr("%1: 不是 labelme 的标注文件").arg(QDir::toNativeSeparators(file));
            continue;
        }
        for (const QJsonValue &shape : root.value(QStringLiteral("shapes")).toArray()) {
            const QString label = shape.toObject().value(QStringLiteral("label")).toString();
            if (!source.names.contains(label))
                source.names << label;
        }
        Item item;
        item.label = QDir::toNativeSeparators(file);
        const QString imagePath = root.value(QStringLiteral("imagePath")).toString();
        item.key = imagePath.isEmpty()
                       ? QFileInfo(file).completeBaseName()
                       : QFileInfo(QString(imagePath).replace(QLatin1Char('\\'), QLatin1Char('/')))
                             .fileName();
        item.byStem = imagePath.isEmpty();
        item.declared = QSize(root.value(QStringLiteral("imageWidth")).toInt(),
                              root.value(QStringLiteral("imageHeight")).toInt());
        const QStringList names = source.names;
        const QJsonArray shapes = root.value(QStringLiteral("shapes")).toArray();
        item.paint = [shapes, names](QImage &numbers, const QVector<int> &numberOf,
                                     Counts &counts) -> QString {
            cv::Mat into = Region::matOf(numbers);
            for (const QJsonValue &value : shapes) {
                const QJsonObject shape = value.toObject();
                const cv::Scalar number(
                    numberOf.value(names.indexOf(shape.value(QStringLiteral("label")).toString())));
                const QString type =
                    shape.value(QStringLiteral("shape_type")).toString(QStringLiteral("polygon"));
                const QJsonArray points = shape.value(QStringLiteral("points")).toArray();
                std::vector<cv::Point> corners;
                for (const QJsonValue &point : points)
                    corners.emplace_back(qRound(pointOf(point).x()), qRound(pointOf(point).y()));
                if (type == QLatin1String("polygon") && corners.size() >= 3) {
                    cv::fillPoly(into, std::vector<std::vector<cv::Point>>{corners}, number);
                } else if (type == QLatin1String("rectangle") && corners.size() == 2) {
                    cv::rectangle(into, corners[0], corners[1], number, cv::FILLED);
                } else if (type == QLatin1String("circle") && corners.size() == 2) {
                    const QPointF centre = pointOf(points.at(0));
                    const QPointF edge = pointOf(points.at(1));
                    const double radius = std::hypot(edge.x() - centre.x(), edge.y() - centre.y());
                    cv::circle(into, corners[0], int(std::lround(radius)), number, cv::FILLED);
                } else if (type == QLatin1String("mask") && corners.size() == 2) {
                    // A PNG of the box from the first point, in base64.
                    const QImage mask = QImage::fromData(QByteArray::fromBase64(
                        shape.value(QStringLiteral("mask")).toString().toLatin1()));
                    if (mask.isNull())
                        return tr("mask 形状的图片无法解码");
                    const QImage grey = mask.convertToFormat(QImage::Format_Grayscale8);
                    for (int y = 0; y < grey.height(); ++y) {
                        const int row = corners[0].y + y;
                        if (row < 0 || row >= numbers.height())
                            continue;
                        for (int x = 0; x < grey.width(); ++x) {
                            const int column = corners[0].x + x;
                            if (column >= 0 && column < numbers.width() &&
                                grey.constScanLine(y)[x] > 0)
                                numbers.scanLine(row)[column] = uchar(number[0]);
                        }
                    }
                } else {
                    ++counts.otherShapes; // a line, a point: no area to fill
                }
            }
            return QString();
        };
        source.items << item;
    }
    return source;
}

// ---- writing ---------------------------------------------------------------------------

struct Target
{
    const Options *options;
    QHash<QString, QString> byName;     // picture file name -> path
    QHash<QString, QStringList> byStem; // name without suffix -> paths
    QVector<int> numberOf;              // source class -> number in labels.txt
    bool classes = false;               // the folder has classes: class maps are written
    QString backupFolder;
    QMutex backupLock;
    bool backupMade = false;
};

// Keeps the file at `path`, if there is one, in the run's backup folder.
QString keepAside(Target &target, const QString &path)
{
    if (!QFileInfo::exists(path))
        return QString();
    {
        QMutexLocker locker(&target.backupLock);
        if (!target.backupMade && !QDir().mkpath(target.backupFolder))
            return tr("无法创建备份文件夹 %1").arg(QDir::toNativeSeparators(target.backupFolder));
        target.backupMade = true;
    }
    QFile old(path);
    if (!PictureFile::isRegularFile(path) || !old.open(QIODevice::ReadOnly))
        return tr("无法读取 %1，没有替换").arg(QDir::toNativeSeparators(path));
    const QString kept = target.backupFolder + QLatin1Char('/') + QFileInfo(path).fileName();
    const AtomicFile::Failure failure =
        AtomicFile::writeBytes(kept, old.readAll(), {AtomicFile::widestFor(kept, path), QString()});
    return failure == AtomicFile::Failure::None ? QString() : AtomicFile::describe(failure, kept);
}

struct Outcome
{
    QString problem;
    Counts counts;
};

Outcome importOne(Target &target, const Item &item)
{
    Outcome outcome;
    const Options &options = *target.options;
    QString picture;
    if (item.byStem) {
        const QStringList paths = target.byStem.value(item.key);
        if (paths.size() > 1) {
            QStringList names;
            for (const QString &path : paths)
                names << QFileInfo(path).fileName();
            outcome.problem = tr("有多张同名图片 (%1)，不知道是哪一张").arg(names.join(tr("、")));
            return outcome;
        }
        picture = paths.value(0);
    } else {
        picture = target.byName.value(item.key);
    }
    if (picture.isEmpty()) {
        outcome.problem = tr("文件夹中没有这张图片");
        return outcome;
    }
    // A fifo would wait for a writer forever; a header can declare billions of pixels.
    const QSize size = PictureFile::isRegularFile(picture) ? QImageReader(picture).size() : QSize();
    if (!size.isValid()) {
        outcome.problem = tr("无法读取图片 %1").arg(QFileInfo(picture).fileName());
        return outcome;
    }
    const qint64 needed = qint64(size.width()) * size.height() * bytesPerPixel;
    const qint64 available = Platform::memoryForNewData();
    if (available >= 0 && needed > available / 4) {
        outcome.problem = tr("图片有 %1 × %2 像素，需要的内存超过可用内存的四分之一")
                              .arg(size.width())
                              .arg(size.height());
        return outcome;
    }
    if (item.declared.isValid() && !item.declared.isEmpty() && item.declared != size) {
        outcome.problem = tr("标注的尺寸 %1×%2 与图片 %3×%4 不符，没有拉伸")
                              .arg(item.declared.width())
                              .arg(item.declared.height())
                              .arg(size.width())
                              .arg(size.height());
        return outcome;
    }
    const QString maskPath = MaskFile::pathFor(picture);
    const QString mapPath = ClassFiles::mapPathFor(picture);
    const QString objectsPath = ClassFiles::objectsPathFor(picture);
    // A class map or an object map alone is work too: never written over unasked either.
    if ((QFileInfo::exists(maskPath) || QFileInfo::exists(mapPath) ||
         QFileInfo::exists(objectsPath)) &&
        !options.replace) {
        outcome.problem = tr("%1 已有掩膜文件或类别图，没有覆盖（--replace 可替换）")
                              .arg(QFileInfo(picture).fileName());
        return outcome;
    }
    QImage numbers(size, QImage::Format_Grayscale8);
    if (numbers.isNull()) {
        outcome.problem = tr("内存不足");
        return outcome;
    }
    numbers.fill(0);
    outcome.problem = item.paint(numbers, target.numberOf, outcome.counts);
    if (!outcome.problem.isEmpty())
        return outcome;
    for (const QString &old : {maskPath, mapPath, objectsPath}) {
        if (!options.replace)
            break;
        outcome.problem = keepAside(target, old);
        if (!outcome.problem.isEmpty())
            return outcome;
    }
    // The files the editor writes for this mask, written the way it writes them.
    QString failedPath;
    const AtomicFile::Failure failure =
        ClassFiles::storeNumbers(numbers, picture, target.classes, &failedPath);
    if (failure != AtomicFile::Failure::None)
        outcome.problem = failedPath == mapPath && !target.classes
                              ? tr("无法删除旧的类别图 %1").arg(QDir::toNativeSeparators(mapPath))
                              : AtomicFile::describe(failure, failedPath);
    return outcome;
}

} // namespace

bool formatNamed(const QString &name, Format *format)
{
    static const QHash<QString, Format> names{{QStringLiteral("coco"), Format::Coco},
                                              {QStringLiteral("yolo"), Format::Yolo},
                                              {QStringLiteral("voc"), Format::Voc},
                                              {QStringLiteral("labelme"), Format::Labelme}};
    if (!names.contains(name))
        return false;
    *format = names.value(name);
    return true;
}

QVector<quint32> polygonRuns(const QVector<double> &xy, int height, int width)
{
    // pycocotools' rleFrPoly: the outline upsampled five times and walked densely; where
    // it crosses a pixel column's centre, the column enters or leaves the polygon.
    const int k = xy.size() / 2;
    if (k < 1 || height <= 0 || width <= 0)
        return {quint32(qint64(height) * width)};
    constexpr double scale = 5;
    std::vector<int> x(size_t(k) + 1), y(size_t(k) + 1);
    for (int j = 0; j < k; ++j) {
        x[size_t(j)] = int(scale * xy[2 * j] + .5);
        y[size_t(j)] = int(scale * xy[2 * j + 1] + .5);
    }
    x[size_t(k)] = x[0];
    y[size_t(k)] = y[0];
    std::vector<int> u, v;
    for (int j = 0; j < k; ++j) {
        int xs = x[size_t(j)], xe = x[size_t(j) + 1], ys = y[size_t(j)], ye = y[size_t(j) + 1];
        const int dx = std::abs(xe - xs);
        const int dy = std::abs(ys - ye);
        const bool flip = (dx >= dy && xs > xe) || (dx < dy && ys > ye);
        if (flip) {
            std::swap(xs, xe);
            std::swap(ys, ye);
        }
        const double s = dx >= dy ? double(ye - ys) / dx : double(xe - xs) / dy;
        if (dx >= dy) {
            for (int d = 0; d <= dx; ++d) {
                const int t = flip ? dx - d : d;
                u.push_back(t + xs);
                v.push_back(int(ys + s * t + .5));
            }
        } else {
            for (int d = 0; d <= dy; ++d) {
                const int t = flip ? dy - d : d;
                v.push_back(t + ys);
                u.push_back(int(xs + s * t + .5));
            }
        }
    }
    // The points on column boundaries, brought back to the picture's scale.
    std::vector<quint32> starts;
    for (size_t j = 1; j < u.size(); ++j) {
        if (u[j] == u[j - 1])
            continue;
        double xd = u[j] < u[j - 1] ? u[j] : u[j] - 1;
        xd = (xd + .5) / scale - .5;
        if (std::floor(xd) != xd || xd < 0 || xd > width - 1)
            continue;
        double yd = v[j] < v[j - 1] ? v[j] : v[j - 1];
        yd = (yd + .5) / scale - .5;
        yd = yd < 0 ? 0 : (yd > height ? height : yd);
        yd = std::ceil(yd);
        starts.push_back(quint32(int(xd) * height + int(yd)));
    }
    starts.push_back(quint32(qint64(height) * width));
    std::sort(starts.begin(), starts.end());
    quint32 previous = 0;
    for (quint32 &start : starts) {
        const quint32 at = start;
        start -= previous;
        previous = at;
    }
    // Runs of 0 length join their neighbours.
    QVector<quint32> runs;
    size_t j = 0;
    runs.append(starts[j++]);
    while (j < starts.size()) {
        if (starts[j] > 0) {
            runs.append(starts[j++]);
        } else {
            ++j;
            if (j < starts.size())
                runs.last() += starts[j++];
        }
    }
    return runs;
}

QStringList summaryOf(const Report &report)
{
    QStringList lines;
    if (!report.newClasses.isEmpty())
        lines << tr("新类别已加到 labels.txt 末尾: %1").arg(report.newClasses.join(tr("、")));
    if (report.takenPixels > 0)
        lines << tr("后面的标注画在前面的标注上: %1 个像素").arg(report.takenPixels);
    if (report.borderPixels > 0)
        lines << tr("VOC 的边界 (255) 作为背景: %1 个像素").arg(report.borderPixels);
    if (report.boxLines > 0)
        lines << tr("跳过只有框的 YOLO 行: %1 行").arg(report.boxLines);
    if (report.otherShapes > 0)
        lines << tr("跳过不是区域的 labelme 形状（线、点）: %1 个").arg(report.otherShapes);
    if (!report.backupFolder.isEmpty())
        lines << tr("被替换的文件保存在 %1").arg(QDir::toNativeSeparators(report.backupFolder));
    lines << tr("已导入 %1 张图片").arg(report.imported);
    return lines;
}

qint64 paintRuns(QImage &numbers, const QVector<quint32> &runs, uchar value)
{
    cv::Mat columns;
    cv::transpose(Region::matOf(std::as_const(numbers)), columns);
    const qint64 taken = paintSpans(columns, spansOf(runs), value);
    cv::Mat into = Region::matOf(numbers);
    cv::transpose(columns, into);
    return taken;
}

Report run(const Options &options, const std::function<void(int, int)> &progress,
           const std::atomic_bool *cancelled)
{
    Report report;
    Source source;
    switch (options.format) {
    case Format::Coco:
        source = readCoco(options.source);
        break;
    case Format::Yolo:
        source = readYolo(options.source);
        break;
    case Format::Voc:
        source = readVoc(options.source);
        break;
    case Format::Labelme:
        source = readLabelme(options.source);
        break;
    }
    report.skipped = source.skipped;
    if (!source.fatal.isEmpty()) {
        report.fatal = source.fatal;
        return report;
    }

    // The source's classes merged into the folder's list: names already there keep their
    // numbers, new ones go at the end.
    const QString listPath = ClassFiles::listPathFor(options.folder + QStringLiteral("/x"));
    const ClassFiles::List list = ClassFiles::readList(listPath);
    if (!list.readable) {
        report.fatal = tr("无法读取 %1").arg(QDir::toNativeSeparators(listPath));
        return report;
    }
    QStringList names = list.names;
    Target target;
    target.options = &options;
    for (const QString &name : qAsConst(source.names)) {
        if (!names.contains(name)) {
            names << name;
            report.newClasses << name;
        }
        target.numberOf << names.indexOf(name) + 1;
    }
    if (names.size() > 255) {
        report.fatal = tr("合并后有 %1 个类别，最多 255 个").arg(names.size());
        return report;
    }
    // The editor's rule: two names or more make the pictures' numbers classes.
    target.classes = !ClassFiles::classNames(names, 0).isEmpty();
    // A list of one name where there was none is not worth a file: one class is a mask.
    if (!report.newClasses.isEmpty() && (list.stamp.exists || target.classes)) {
        if (!list.rewritable) {
            report.fatal =
                tr("%1 不是 UTF-8 文本，无法加入新类别").arg(QDir::toNativeSeparators(listPath));
            return report;
        }
        const AtomicFile::Failure failure =
            ClassFiles::writeList(listPath, ClassFiles::rewrittenList(list.text, names));
        if (failure != AtomicFile::Failure::None) {
            report.fatal = AtomicFile::describe(failure, listPath);
            return report;
        }
    }

    const QDir folder(options.folder);
    for (const FolderEntry &entry : PictureFolder::read(folder.absolutePath())) {
        const QString path = folder.absoluteFilePath(entry.name);
        target.byName.insert(entry.name, path);
        target.byStem[QFileInfo(entry.name).completeBaseName()].append(path);
    }
    target.backupFolder = folder.absoluteFilePath(
        QStringLiteral(".velmora-import-backup/") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));

    // Pictures side by side on a pool of the run's own (the caller may itself be a worker
    // of the global pool); the report keeps the source's order.
    QVector<Outcome> outcomes(source.items.size());
    std::atomic_int next{0};
    std::atomic_int done{0};
    QThreadPool pool;
    const int workers = qMax(1, QThread::idealThreadCount());
    pool.setMaxThreadCount(workers);
    QVector<QFuture<void>> work;
    for (int w = 0; w < workers; ++w)
        work << QtConcurrent::run(&pool, [&] {
            for (int index = next++; index < outcomes.size(); index = next++) {
                if (cancelled && cancelled->load())
                    outcomes[index].problem = tr("已取消");
                else
                    outcomes[index] = importOne(target, source.items.at(index));
                ++done;
            }
        });
    while (!pool.waitForDone(50))
        if (progress)
            progress(done.load(), source.items.size());
    for (int i = 0; i < outcomes.size(); ++i) {
        const Outcome &outcome = outcomes.at(i);
        report.takenPixels += outcome.counts.taken;
        report.borderPixels += outcome.counts.border;
        report.boxLines += outcome.counts.boxLines;
        report.otherShapes += outcome.counts.otherShapes;
        if (outcome.problem.isEmpty())
            ++report.imported;
        else
            report.skipped << tr("%1: %2").arg(source.items.at(i).label, outcome.problem);
    }
    if (target.backupMade)
        report.backupFolder = target.backupFolder;
    return report;
}

} // namespace Importer
