#include "cli/commandline.h"

#include "cli/importer.h"
#include "cli/maskanalysis.h"
#include "files/atomicfile.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "files/picturefile.h"
#include "folder/picturefolder.h"
#include "folder/reviewmarks.h"
#include "platform/console.h"
#include "video/frames.h"
#include "video/videofile.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QImageWriter>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <QtConcurrent>

#include <algorithm>
#include <cstdio>

namespace CommandLine {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}

QString usage()
{
    return tr("用法:\n"
              "  velmora export --format coco FOLDER [-o FILE] [--min-area N]\n"
              "  velmora export --format yolo FOLDER -o FOLDER [--min-area N]\n"
              "  velmora export --format voc FOLDER -o FOLDER\n"
              "  velmora stats FOLDER\n"
              "  velmora import --format coco|yolo|voc|labelme SOURCE FOLDER [--replace]\n"
              "  velmora frames VIDEO -o FOLDER [--masked-only]\n"
              "\n"
              "export 把文件夹中图片的掩膜导出给训练代码：\n"
              "  coco  COCO 实例 JSON（每个对象、以及不属于对象的每个 8 连通块一个标注，\n"
              "        segmentation 为压缩 RLE），\n"
              "        默认写到标准输出\n"
              "  yolo  每张图片一个 .txt，每块一行：类别序号和外轮廓的归一化坐标，\n"
              "        另有 classes.txt\n"
              "  voc   每张图片一个类别 PNG（调色板，像素值为类别编号），另有 labelmap.txt；\n"
              "        有对象的图片另在 SegmentationObject/ 中写对象 PNG（编号 1..n，最多 255）\n"
              "  --min-area N  去掉面积小于 N 像素的块（默认 0：都保留）；\n"
              "        YOLO 不写不足三个点的轮廓\n"
              "stats 在标准输出写 CSV：图片、宽、高、掩膜像素、占比、块数、类别、各类别的对象数。\n"
              "export 和 stats 也接受视频（.mp4 .mkv .mov .avi .webm）代替文件夹：\n"
              "  它的帧和 NAME_masks/ 中的掩膜，帧名为 000001.png …\n"
              "frames 把视频的帧写成 FOLDER 中的 000001.png …；--masked-only 只写有掩膜的帧。\n"
              "import 把其他工具的标注（COCO 的 JSON 文件；YOLO、VOC、labelme 的文件夹）\n"
              "  写成文件夹中图片旁的掩膜和类别图，类别合并进 labels.txt；\n"
              "  已有掩膜的图片不动，--replace 时先把旧文件备份到 .velmora-import-backup/。\n"
              "类别来自文件夹的 labels.txt；没有时只有一个类别 \"mask\"。\n"
              "退出状态：0 全部成功，1 有图片失败（逐一列出），2 用法错误。\n");
}

struct Options
{
    QString command;
    QString format;
    QString folder;
    QString output;
    qint64 minArea = 0;      // pieces smaller than this are left out of COCO and YOLO
    bool maskedOnly = false; // frames: only the frames with a mask
};

// A video given where a folder may be: its frames are the pictures.
bool isVideo(const QString &path)
{
    return Frames::hasVideoSuffix(path) && PictureFile::isRegularFile(path);
}

// The folder the input's files lie in: the folder itself, or a video's masks folder.
QString inputFolderOf(const QString &input)
{
    return isVideo(input) ? Frames::masksFolderOf(input) : input;
}

// `path` spelled the one way the system knows it: its longest existing part with links and
// dots resolved, and the rest (not made yet) appended.
QString realPath(const QString &path)
{
    QString existing = QFileInfo(path).absoluteFilePath();
    QString rest;
    while (!QFileInfo::exists(existing) && !QFileInfo(existing).isSymLink()) {
        const QFileInfo info(existing);
        rest = rest.isEmpty() ? info.fileName() : info.fileName() + QLatin1Char('/') + rest;
        const QString parent = info.absolutePath();
        if (parent == existing)
            break;
        existing = parent;
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    const QString base = canonical.isEmpty() ? QDir::cleanPath(existing) : canonical;
    return rest.isEmpty() ? base : QDir::cleanPath(base + QLatin1Char('/') + rest);
}

bool isInside(const QString &path, const QString &folder)
{
    return path == folder ||
           path.startsWith(folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/'));
}

// Whether a file of this name in the input folder is part of the input: a picture, a mask
// or class map (all pictures by their names), the class list or the review file.
bool isInputFileName(const QString &name)
{
    return PictureFile::hasPictureSuffix(name) ||
           name.compare(QStringLiteral("labels.txt"), Qt::CaseInsensitive) == 0 ||
           name.compare(QFileInfo(ReviewMarks::fileFor(QStringLiteral("."))).fileName(),
                        Qt::CaseInsensitive) == 0;
}

// Why the output would be written onto the input, or empty: nothing is written then.
QString touchesInput(const Options &options)
{
    if (options.output.isEmpty())
        return QString();
    const QString input = realPath(inputFolderOf(options.folder));
    if (isVideo(options.folder) &&
        realPath(AtomicFile::targetOf(options.output)) == realPath(options.folder))
        return tr("输出 %1 是输入的视频").arg(QDir::toNativeSeparators(options.output));
    if (options.command != QLatin1String("export") || options.format != QLatin1String("coco")) {
        if (isInside(realPath(options.output), input))
            return tr("输出文件夹 %1 是输入文件夹或在其中，导出会写到图片和掩膜之间")
                .arg(QDir::toNativeSeparators(options.output));
        return QString();
    }
    // Through links too: what is written is the file the last link leads to.
    const QString target = realPath(AtomicFile::targetOf(options.output));
    if (QFileInfo(target).absolutePath() == input && isInputFileName(QFileInfo(target).fileName()))
        return tr("输出文件 %1 是输入文件夹中的图片、掩膜、类别图、labels.txt 或复查记录")
            .arg(QDir::toNativeSeparators(options.output));
    return QString();
}

bool parseArea(const QString &text, Options &options)
{
    bool ok = false;
    options.minArea = text.toLongLong(&ok);
    return ok && options.minArea >= 0;
}

// The options, or a message why they are wrong.
QString parse(const QStringList &arguments, Options &options)
{
    QStringList rest = arguments.mid(1);
    options.command = rest.takeFirst();
    while (!rest.isEmpty()) {
        const QString argument = rest.takeFirst();
        if (argument == QLatin1String("--format") || argument == QLatin1String("-o") ||
            argument == QLatin1String("--min-area")) {
            if (rest.isEmpty())
                return tr("%1 后面缺少值").arg(argument);
            const QString value = rest.takeFirst();
            if (argument == QLatin1String("--min-area") && !parseArea(value, options))
                return tr("--min-area 应为不小于 0 的整数: %1").arg(value);
            if (argument == QLatin1String("-o"))
                options.output = value;
            else if (argument == QLatin1String("--format"))
                options.format = value;
        } else if (argument.startsWith(QLatin1String("--format="))) {
            options.format = argument.mid(9);
        } else if (argument.startsWith(QLatin1String("--min-area="))) {
            if (!parseArea(argument.mid(11), options))
                return tr("--min-area 应为不小于 0 的整数: %1").arg(argument.mid(11));
        } else if (argument == QLatin1String("--masked-only") &&
                   options.command == QLatin1String("frames")) {
            options.maskedOnly = true;
        } else if (argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-")) {
            return tr("未知选项: %1").arg(argument);
        } else if (options.folder.isEmpty()) {
            options.folder = argument;
        } else {
            return tr("多余的参数: %1").arg(argument);
        }
    }
    if (options.command == QLatin1String("frames")) {
        if (options.folder.isEmpty())
            return tr("缺少视频");
        if (!isVideo(options.folder))
            return tr("不是视频: %1").arg(options.folder);
        if (options.output.isEmpty())
            return tr("frames 需要 -o 输出文件夹");
        if (!options.format.isEmpty() || options.minArea > 0)
            return tr("frames 只有 -o 和 --masked-only");
        return touchesInput(options);
    }
    if (options.folder.isEmpty())
        return tr("缺少文件夹");
    if (!QFileInfo(options.folder).isDir() && !isVideo(options.folder))
        return tr("不是文件夹: %1").arg(options.folder);
    if (options.command == QLatin1String("export")) {
        static const QStringList formats{QStringLiteral("coco"), QStringLiteral("yolo"),
                                         QStringLiteral("voc")};
        if (!formats.contains(options.format))
            return tr("--format 应为 coco、yolo 或 voc");
        if (options.format != QLatin1String("coco") && options.output.isEmpty())
            return tr("--format %1 需要 -o 输出文件夹").arg(options.format);
        if (options.minArea > 0 && options.format == QLatin1String("voc"))
            return tr("--min-area 只用于 coco 和 yolo（VOC 的类别图照原样写出）");
    } else if (!options.output.isEmpty() || !options.format.isEmpty() || options.minArea > 0) {
        return tr("stats 没有选项");
    }
    return touchesInput(options);
}

// The pictures of the folder, in the list's order; a video's frames. A video inside a
// folder is not one of its pictures: it is exported on its own.
QStringList picturesOf(const QString &folder)
{
    QStringList paths;
    const QDir dir(inputFolderOf(QFileInfo(folder).absoluteFilePath()));
    for (const FolderEntry &entry : PictureFolder::read(dir.absolutePath()))
        if (!Frames::hasVideoSuffix(entry.name))
            paths << dir.absoluteFilePath(entry.name);
    return paths;
}

// What is written for each picture on its own (a VOC or YOLO file), beside the analysis:
// why it could not be written, or empty.
using Output = std::function<QString(const MaskAnalysis::Picture &)>;

// One picture's analysis, as Qt 5's mapped() wants it. The picture's own file is written
// by the worker that analysed it, and what it alone needed (the class numbers, the outlines)
// is dropped there: a folder's worth of them would not fit in memory.
struct Analyse
{
    using result_type = MaskAnalysis::Picture;
    int needs;
    Output output;
    qint64 minArea;
    result_type operator()(const QString &path) const
    {
        MaskAnalysis::Picture picture = MaskAnalysis::analyse(path, needs);
        // Specks are no training objects, and a YOLO line needs a polygon: three points.
        const bool outlines = (needs & MaskAnalysis::Outlines) == MaskAnalysis::Outlines;
        const int before = picture.pieces.size();
        picture.pieces.erase(std::remove_if(picture.pieces.begin(), picture.pieces.end(),
                                            [&](const MaskAnalysis::Piece &piece) {
                                                return piece.area < minArea ||
                                                       (outlines && piece.outline.size() < 3);
                                            }),
                             picture.pieces.end());
        picture.dropped = before - picture.pieces.size();
        if (output && picture.problem.isEmpty())
            picture.problem = output(picture);
        picture.numbers = QImage();
        picture.objects = QImage();
        for (MaskAnalysis::Piece &piece : picture.pieces)
            piece.outline.clear();
        return picture;
    }
};

// Analyses every picture on a pool of workers, telling the progress on `err` for long runs.
QVector<MaskAnalysis::Picture> analyseAll(const QStringList &paths, int needs, QTextStream &err,
                                          const Output &output = Output(), qint64 minArea = 0)
{
    QFuture<MaskAnalysis::Picture> work =
        QtConcurrent::mapped(paths, Analyse{needs, output, minArea});
    QElapsedTimer shown;
    shown.start();
    while (!work.isFinished()) {
        QThread::msleep(50);
        if (shown.elapsed() >= 1000) {
            err << tr("已处理 %1 / %2").arg(work.progressValue()).arg(paths.size()) << '\n';
            err.flush();
            shown.restart();
        }
    }
    return work.results().toVector();
}

// The classes of the folder: the names the pictures found, the longest list among them.
QStringList classesOf(const QVector<MaskAnalysis::Picture> &pictures)
{
    QStringList names;
    for (const MaskAnalysis::Picture &picture : pictures)
        if (picture.classNames.size() > names.size())
            names = picture.classNames;
    return names.isEmpty() ? QStringList{QStringLiteral("mask")} : names;
}

// A file the export writes for the folder as a whole: no more open to others than the
// folder it comes from, and never executable.
AtomicFile::Failure writeFile(const QString &path, const QByteArray &bytes, const QString &folder)
{
    constexpr QFileDevice::Permissions executable = QFileDevice::ExeOwner | QFileDevice::ExeUser |
                                                    QFileDevice::ExeGroup | QFileDevice::ExeOther;
    return AtomicFile::writeBytes(path, bytes,
                                  {AtomicFile::widestFor(path, folder) & ~executable, QString()});
}

QJsonObject cocoOf(const QVector<MaskAnalysis::Picture> &pictures)
{
    QJsonArray images, annotations, categories;
    const QStringList names = classesOf(pictures);
    for (int i = 0; i < names.size(); ++i)
        categories.append(QJsonObject{{"id", i + 1}, {"name", names.at(i)}});
    int image = 0, annotation = 0;
    for (const MaskAnalysis::Picture &picture : pictures) {
        if (!picture.problem.isEmpty() || picture.maskStatus != MaskFile::ReadStatus::Read)
            continue;
        ++image;
        images.append(QJsonObject{{"id", image},
                                  {"file_name", Frames::exportName(picture.path)},
                                  {"width", picture.size.width()},
                                  {"height", picture.size.height()}});
        for (const MaskAnalysis::Piece &piece : picture.pieces) {
            const QJsonObject rle{
                {"size", QJsonArray{picture.size.height(), picture.size.width()}},
                {"counts", QString::fromLatin1(MaskAnalysis::cocoCounts(piece.runs))}};
            annotations.append(
                QJsonObject{{"id", ++annotation},
                            {"image_id", image},
                            {"category_id", piece.classNumber},
                            {"segmentation", rle},
                            {"area", double(piece.area)},
                            {"bbox", QJsonArray{piece.box.x(), piece.box.y(), piece.box.width(),
                                                piece.box.height()}},
                            {"iscrowd", 0}});
        }
    }
    // Strict loaders (pycocotools' own among them, for some calls) want these too.
    const QJsonObject info{{"description", QStringLiteral("Velmora export")},
                           {"version", QCoreApplication::applicationVersion()},
                           {"year", QDate::currentDate().year()},
                           {"date_created", QDate::currentDate().toString(Qt::ISODate)}};
    return QJsonObject{{"info", info},
                       {"licenses", QJsonArray()},
                       {"images", images},
                       {"annotations", annotations},
                       {"categories", categories}};
}

QByteArray yoloOf(const MaskAnalysis::Picture &picture)
{
    QByteArray text;
    const double width = picture.size.width();
    const double height = picture.size.height();
    for (const MaskAnalysis::Piece &piece : picture.pieces) {
        text += QByteArray::number(piece.classNumber - 1);
        for (const QPoint &point : piece.outline)
            text += ' ' + QByteArray::number(point.x() / width, 'f', 6) + ' ' +
                    QByteArray::number(point.y() / height, 'f', 6);
        text += '\n';
    }
    return text;
}

int reportFailures(const QVector<MaskAnalysis::Picture> &pictures, QTextStream &err)
{
    int failed = 0;
    for (const MaskAnalysis::Picture &picture : pictures)
        if (!picture.problem.isEmpty()) {
            err << tr("失败: %1: %2")
                       .arg(QDir::toNativeSeparators(Frames::shownPath(picture.path)),
                            picture.problem)
                << '\n';
            ++failed;
        }
    err.flush();
    return failed;
}

// The file each picture's own output goes to in `target` (a VOC PNG or a YOLO text).
QString outputOf(const QDir &target, const QString &picturePath, const QString &suffix)
{
    return target.filePath(QFileInfo(Frames::exportName(picturePath)).completeBaseName() + suffix);
}

// Pictures whose outputs would share one file (cat.png and cat.jpg both give cat.txt; and
// in a folder that tells no case apart, Cat.png too), each with why it is not exported. A
// YOLO picture named classes would take the place of the list of classes.
QVector<MaskAnalysis::Picture> sharingOutputs(QStringList &paths, const QDir &target,
                                              const QString &suffix, const QString &reserved)
{
    QHash<QString, QStringList> byOutput;
    for (const QString &path : qAsConst(paths))
        byOutput[outputOf(target, path, suffix).toLower()].append(path);
    QVector<MaskAnalysis::Picture> refused;
    QStringList kept;
    for (const QString &path : qAsConst(paths)) {
        const QString output = outputOf(target, path, suffix);
        const QStringList sharing = byOutput.value(output.toLower());
        MaskAnalysis::Picture picture;
        picture.path = path;
        if (sharing.size() > 1) {
            QStringList names;
            for (const QString &other : sharing)
                names << QFileInfo(other).fileName();
            picture.problem =
                tr("%1 会导出到同一个文件 %2，都没有导出")
                    .arg(names.join(QStringLiteral("、")), QDir::toNativeSeparators(output));
        } else if (!reserved.isEmpty() &&
                   QFileInfo(output).fileName().compare(reserved, Qt::CaseInsensitive) == 0) {
            picture.problem =
                tr("导出文件 %1 与类别列表同名，没有导出").arg(QDir::toNativeSeparators(output));
        }
        if (picture.problem.isEmpty())
            kept << path;
        else
            refused << picture;
    }
    paths = kept;
    return refused;
}

int exportFolder(const Options &options, QTextStream &out, QTextStream &err)
{
    int needs = MaskAnalysis::Counts;
    if (options.format == QLatin1String("coco"))
        needs = MaskAnalysis::Runs | MaskAnalysis::WholeObjects;
    else if (options.format == QLatin1String("yolo"))
        needs = MaskAnalysis::Outlines;
    else
        needs = MaskAnalysis::Numbers;
    // Only pictures with a mask file; one that can't be read is reported, never skipped.
    QStringList withMask;
    for (const QString &path : picturesOf(options.folder))
        if (QFileInfo::exists(MaskFile::pathFor(path)) && !MaskFile::maskNameTaken(path))
            withMask << path;
    const bool coco = options.format == QLatin1String("coco");
    const bool yolo = options.format == QLatin1String("yolo");
    if (!coco && !QDir().mkpath(options.output)) {
        err << tr("无法创建文件夹: %1").arg(options.output) << '\n';
        return someFailed;
    }
    const QDir target(options.output);
    const QString classesFile = QStringLiteral("classes.txt");
    QVector<MaskAnalysis::Picture> refused;
    Output output;
    if (yolo) {
        refused = sharingOutputs(withMask, target, QStringLiteral(".txt"), classesFile);
        output = [target](const MaskAnalysis::Picture &picture) {
            const QString path = outputOf(target, picture.path, QStringLiteral(".txt"));
            const AtomicFile::Failure failure = AtomicFile::writeBytes(
                path, yoloOf(picture), {AtomicFile::widestFor(path, picture.path), QString()});
            return AtomicFile::describe(failure, path);
        };
    } else if (!coco) {
        refused = sharingOutputs(withMask, target, QStringLiteral(".png"), QString());
        output = [target](const MaskAnalysis::Picture &picture) {
            // With objects, SegmentationObject/ gets the picture's instances: each object, and
            // each piece of a class without one, as COCO has them. A palette holds 255.
            QImage instances;
            if (picture.hasObjects) {
                instances = MaskAnalysis::instancesOf(
                    MaskAnalysis::piecesOf(picture.numbers, picture.objects,
                                           MaskAnalysis::Runs | MaskAnalysis::WholeObjects),
                    picture.size);
                if (instances.isNull())
                    return tr("超过 255 个对象，VOC 的对象图放不下，没有导出");
            }
            const QString path = outputOf(target, picture.path, QStringLiteral(".png"));
            AtomicFile::Failure failure = AtomicFile::Failure::None;
            MaskFile::write(picture.numbers, path, {},
                            {AtomicFile::widestFor(path, picture.path), QString()}, &failure);
            if (failure != AtomicFile::Failure::None || instances.isNull())
                return AtomicFile::describe(failure, path);
            const QDir objectsFolder(target.filePath(QStringLiteral("SegmentationObject")));
            const QString objectsPath =
                outputOf(objectsFolder, picture.path, QStringLiteral(".png"));
            if (!QDir().mkpath(objectsFolder.path()))
                return tr("无法创建文件夹: %1").arg(objectsFolder.path());
            MaskFile::write(instances, objectsPath, {},
                            {AtomicFile::widestFor(objectsPath, picture.path), QString()},
                            &failure);
            return AtomicFile::describe(failure, objectsPath);
        };
    }
    QVector<MaskAnalysis::Picture> pictures =
        analyseAll(withMask, needs, err, output, options.minArea);
    int failed = reportFailures(refused + pictures, err);

    if (coco) {
        const QByteArray json = QJsonDocument(cocoOf(pictures)).toJson(QJsonDocument::Compact);
        if (options.output.isEmpty()) {
            out << QString::fromUtf8(json) << '\n';
        } else {
            const AtomicFile::Failure failure =
                writeFile(options.output, json + '\n', options.folder);
            if (failure != AtomicFile::Failure::None) {
                err << AtomicFile::describe(failure, options.output) << '\n';
                return someFailed;
            }
        }
    } else if (!yolo) {
        // The names of the class numbers, as VOC tools (and our import) read them.
        QByteArray labelmap("# label:color_rgb:parts:actions\nbackground:0,0,0::\n");
        const QStringList names = classesOf(pictures);
        const QVector<QRgb> colours = ClassFiles::palette();
        for (int i = 0; i < names.size(); ++i) {
            const QRgb colour = colours.at(i + 1);
            labelmap += names.at(i).toUtf8() + ':' + QByteArray::number(qRed(colour)) + ',' +
                        QByteArray::number(qGreen(colour)) + ',' +
                        QByteArray::number(qBlue(colour)) + "::\n";
        }
        const QString path = target.filePath(QStringLiteral("labelmap.txt"));
        const AtomicFile::Failure failure = writeFile(path, labelmap, options.folder);
        if (failure != AtomicFile::Failure::None) {
            err << AtomicFile::describe(failure, path) << '\n';
            ++failed;
        }
    } else {
        const QString path = target.filePath(classesFile);
        const AtomicFile::Failure failure = writeFile(
            path, (classesOf(pictures).join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8(),
            options.folder);
        if (failure != AtomicFile::Failure::None) {
            err << AtomicFile::describe(failure, path) << '\n';
            ++failed;
        }
    }
    int dropped = 0;
    for (const MaskAnalysis::Picture &picture : qAsConst(pictures))
        dropped += picture.dropped;
    if (dropped > 0 && options.minArea > 0)
        err << tr("去掉了 %1 个块（面积小于 --min-area %2 像素，或轮廓不足三个点）")
                   .arg(dropped)
                   .arg(options.minArea)
            << '\n';
    else if (dropped > 0)
        err << tr("去掉了 %1 个轮廓不足三个点的块（YOLO 的一行至少要三个点）").arg(dropped) << '\n';
    err << tr("已导出 %1 张图片").arg(pictures.size() + refused.size() - failed) << '\n';
    err.flush();
    return failed > 0 ? someFailed : allWell;
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The objects of each class that has any, "car:2;tree:1"; empty without objects.
QString objectsText(const MaskAnalysis::Picture &picture)
{
    QStringList counted;
    for (int number = 1; number < picture.classObjects.size(); ++number)
        if (picture.classObjects.at(number) > 0)
            counted << picture.classNames.value(number - 1, QString::number(number)) +
                           QLatin1Char(':') + QString::number(picture.classObjects.at(number));
    return counted.join(QLatin1Char(';'));
}

int stats(const Options &options, QTextStream &out, QTextStream &err)
{
    const QVector<MaskAnalysis::Picture> pictures =
        analyseAll(picturesOf(options.folder), MaskAnalysis::Pieces, err);
    const int failed = reportFailures(pictures, err);
    out << "picture,width,height,mask_pixels,share,pieces,classes,objects\n";
    for (const MaskAnalysis::Picture &picture : pictures) {
        if (!picture.problem.isEmpty())
            continue;
        const double pixels = double(picture.size.width()) * picture.size.height();
        QStringList present;
        for (int number = 1; number < picture.classPixels.size(); ++number)
            if (picture.classPixels.at(number) > 0)
                present << (picture.classNames.isEmpty() ? QStringLiteral("mask")
                                                         : picture.classNames.value(number - 1));
        out << csvField(Frames::exportName(picture.path)) << ',' << picture.size.width() << ','
            << picture.size.height() << ',' << picture.maskPixels << ','
            << QString::number(pixels > 0 ? picture.maskPixels / pixels : 0.0, 'f', 6) << ','
            << picture.pieces.size() << ',' << csvField(present.join(QLatin1Char(';'))) << ','
            << csvField(objectsText(picture)) << '\n';
    }
    out.flush();
    return failed > 0 ? someFailed : allWell;
}

// velmora frames VIDEO -o FOLDER [--masked-only]: the frames as 000001.png ..., the names
// a frame's masks pair with.
int writeFrames(const Options &options, QTextStream &err)
{
    QString why;
    const auto video = VideoFile::open(options.folder, &why);
    if (!video) {
        err << "velmora: " << tr("无法读取视频 %1: %2").arg(options.folder, why) << '\n';
        err.flush();
        return someFailed;
    }
    if (!QDir().mkpath(options.output)) {
        err << "velmora: " << tr("无法创建输出文件夹 %1").arg(options.output) << '\n';
        err.flush();
        return someFailed;
    }
    const QDir target(options.output);
    const int count = video->frameCount();
    int written = 0, failed = 0;
    QElapsedTimer shown;
    shown.start();
    for (int number = 1; number <= count; ++number) {
        const QString frame = Frames::pathOf(options.folder, number);
        if (options.maskedOnly && !QFileInfo::exists(MaskFile::pathFor(frame)) &&
            !QFileInfo::exists(ClassFiles::mapPathFor(frame)))
            continue;
        const QString path = target.filePath(Frames::exportName(frame));
        const QImage image = video->frame(number);
        AtomicFile::Failure failure = AtomicFile::Failure::None;
        if (!image.isNull()) {
            failure = AtomicFile::write(path,
                                        [&image](QIODevice &device) {
                                            QImageWriter writer(&device, "png");
                                            return writer.write(image);
                                        },
                                        {AtomicFile::widestFor(path, options.folder), QString()});
        }
        if (image.isNull()) {
            err << tr("失败: %1: 无法解码").arg(Frames::shownPath(frame)) << '\n';
            ++failed;
        } else if (failure != AtomicFile::Failure::None) {
            err << tr("失败: %1").arg(AtomicFile::describe(failure, path)) << '\n';
            ++failed;
        } else {
            ++written;
        }
        if (shown.elapsed() >= 1000) {
            err << tr("已处理 %1 / %2").arg(number).arg(count) << '\n';
            err.flush();
            shown.restart();
        }
    }
    err << tr("已写出 %1 帧到 %2").arg(written).arg(QDir::toNativeSeparators(options.output))
        << '\n';
    err.flush();
    return failed > 0 ? someFailed : allWell;
}

// velmora import --format F SOURCE FOLDER [--replace]
int importAnnotations(const QStringList &arguments, QTextStream &err)
{
    Importer::Options options;
    QStringList rest = arguments.mid(2);
    QStringList places;
    QString wrong;
    bool formatGiven = false;
    while (!rest.isEmpty() && wrong.isEmpty()) {
        const QString argument = rest.takeFirst();
        if (argument == QLatin1String("--replace")) {
            options.replace = true;
        } else if (argument == QLatin1String("--format") ||
                   argument.startsWith(QLatin1String("--format="))) {
            const QString value = argument.contains(QLatin1Char('='))
                                      ? argument.section(QLatin1Char('='), 1)
                                      : (rest.isEmpty() ? QString() : rest.takeFirst());
            formatGiven = Importer::formatNamed(value, &options.format);
            if (!formatGiven)
                wrong = tr("--format 应为 coco、yolo、voc 或 labelme");
        } else if (argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-")) {
            wrong = tr("未知选项: %1").arg(argument);
        } else {
            places << argument;
        }
    }
    if (wrong.isEmpty() && !formatGiven)
        wrong = tr("--format 应为 coco、yolo、voc 或 labelme");
    if (wrong.isEmpty() && places.size() != 2)
        wrong = tr("import 需要标注来源和图片文件夹");
    if (wrong.isEmpty()) {
        options.source = places.at(0);
        options.folder = places.at(1);
        if (!QFileInfo(options.folder).isDir())
            wrong = tr("不是文件夹: %1").arg(options.folder);
        else if (options.format == Importer::Format::Coco ? !QFileInfo(options.source).isFile()
                                                          : !QFileInfo(options.source).isDir())
            wrong = (options.format == Importer::Format::Coco ? tr("不是文件: %1")
                                                              : tr("不是文件夹: %1"))
                        .arg(options.source);
    }
    if (!wrong.isEmpty()) {
        err << "velmora: " << wrong << "\n\n" << usage();
        err.flush();
        return wrongUsage;
    }
    QElapsedTimer shown;
    shown.start();
    const Importer::Report report = Importer::run(options, [&](int done, int total) {
        if (shown.elapsed() >= 1000) {
            err << tr("已处理 %1 / %2").arg(done).arg(total) << '\n';
            err.flush();
            shown.restart();
        }
    });
    if (!report.fatal.isEmpty()) {
        err << "velmora: " << report.fatal << '\n';
        err.flush();
        return someFailed;
    }
    for (const QString &skipped : report.skipped)
        err << tr("跳过: %1").arg(skipped) << '\n';
    for (const QString &line : Importer::summaryOf(report))
        err << line << '\n';
    err.flush();
    const bool whole = report.skipped.isEmpty() && report.boxLines == 0 && report.otherShapes == 0;
    return whole ? allWell : someFailed;
}

} // namespace

bool isCommand(const QStringList &arguments)
{
    return arguments.size() > 1 && (arguments.at(1) == QLatin1String("export") ||
                                    arguments.at(1) == QLatin1String("stats") ||
                                    arguments.at(1) == QLatin1String("import") ||
                                    arguments.at(1) == QLatin1String("frames"));
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        out << usage();
        out.flush();
        return allWell;
    }
    if (arguments.value(1) == QLatin1String("import"))
        return importAnnotations(arguments, err);
    Options options;
    const QString wrong = parse(arguments, options);
    if (!wrong.isEmpty()) {
        err << "velmora: " << wrong << "\n\n" << usage();
        err.flush();
        return wrongUsage;
    }
    if (options.command == QLatin1String("frames"))
        return writeFrames(options, err);
    return options.command == QLatin1String("export") ? exportFolder(options, out, err)
                                                      : stats(options, out, err);
}

int runInTerminal(const QStringList &arguments)
{
    int status = allWell;
    {
        QTextStream out(stdout);
        QTextStream err(stderr);
        status = run(arguments, out, err);
    }
    // A pipeline must not take a cut-off CSV or JSON for the whole.
    if (!Platform::standardOutputWritten()) {
        QTextStream err(stderr);
        err << "velmora: " << tr("无法写入标准输出（已关闭或磁盘已满）") << '\n';
        status = qMax(status, someFailed);
    }
    return status;
}

} // namespace CommandLine
