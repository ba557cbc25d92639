#include "cli/commandline.h"

#include "cli/maskanalysis.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "files/picturefile.h"
#include "folder/picturefolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTextStream>
#include <QtConcurrent>

namespace CommandLine {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}

QString usage()
{
    return tr("用法:\n"
              "  velmora export --format coco FOLDER [-o FILE]\n"
              "  velmora export --format yolo FOLDER -o FOLDER\n"
              "  velmora export --format voc FOLDER -o FOLDER\n"
              "  velmora stats FOLDER\n"
              "\n"
              "export 把文件夹中图片的掩膜导出给训练代码：\n"
              "  coco  COCO 实例 JSON（每个 8 连通块一个标注，segmentation 为压缩 RLE），\n"
              "        默认写到标准输出\n"
              "  yolo  每张图片一个 .txt，每块一行：类别序号和外轮廓的归一化坐标，\n"
              "        另有 classes.txt\n"
              "  voc   每张图片一个类别 PNG（调色板，像素值为类别编号）\n"
              "stats 在标准输出写 CSV：图片、宽、高、掩膜像素、占比、块数、类别。\n"
              "类别来自文件夹的 labels.txt；没有时只有一个类别 \"mask\"。\n"
              "退出状态：0 全部成功，1 有图片失败（逐一列出），2 用法错误。\n");
}

struct Options
{
    QString command;
    QString format;
    QString folder;
    QString output;
};

// The options, or a message why they are wrong.
QString parse(const QStringList &arguments, Options &options)
{
    QStringList rest = arguments.mid(1);
    options.command = rest.takeFirst();
    while (!rest.isEmpty()) {
        const QString argument = rest.takeFirst();
        if (argument == QLatin1String("--format") || argument == QLatin1String("-o")) {
            if (rest.isEmpty())
                return tr("%1 后面缺少值").arg(argument);
            (argument == QLatin1String("-o") ? options.output : options.format) = rest.takeFirst();
        } else if (argument.startsWith(QLatin1String("--format="))) {
            options.format = argument.mid(9);
        } else if (argument.startsWith(QLatin1Char('-')) && argument != QLatin1String("-")) {
            return tr("未知选项: %1").arg(argument);
        } else if (options.folder.isEmpty()) {
            options.folder = argument;
        } else {
            return tr("多余的参数: %1").arg(argument);
        }
    }
    if (options.folder.isEmpty())
        return tr("缺少文件夹");
    if (!QFileInfo(options.folder).isDir())
        return tr("不是文件夹: %1").arg(options.folder);
    if (options.command == QLatin1String("export")) {
        static const QStringList formats{QStringLiteral("coco"), QStringLiteral("yolo"),
                                         QStringLiteral("voc")};
        if (!formats.contains(options.format))
            return tr("--format 应为 coco、yolo 或 voc");
        if (options.format != QLatin1String("coco") && options.output.isEmpty())
            return tr("--format %1 需要 -o 输出文件夹").arg(options.format);
    } else if (!options.output.isEmpty() || !options.format.isEmpty()) {
        return tr("stats 没有选项");
    }
    return QString();
}

// The pictures of the folder, in the list's order.
QStringList picturesOf(const QString &folder)
{
    QStringList paths;
    const QDir dir(folder);
    for (const FolderEntry &entry : PictureFolder::read(dir.absolutePath()))
        paths << dir.absoluteFilePath(entry.name);
    return paths;
}

// What is written for each picture on its own (a VOC or YOLO file), beside the analysis.
using Output = std::function<bool(const MaskAnalysis::Picture &)>;

// One picture's analysis, as Qt 5's mapped() wants it. The picture's own file is written
// by the worker that analysed it, and what it alone needed (the class numbers, the outlines)
// is dropped there: a folder's worth of them would not fit in memory.
struct Analyse
{
    using result_type = MaskAnalysis::Picture;
    int needs;
    Output output;
    result_type operator()(const QString &path) const
    {
        MaskAnalysis::Picture picture = MaskAnalysis::analyse(path, needs);
        if (output && picture.problem.isEmpty() && !output(picture))
            picture.problem = tr("无法写入输出");
        picture.numbers = QImage();
        for (MaskAnalysis::Piece &piece : picture.pieces)
            piece.outline.clear();
        return picture;
    }
};

// Analyses every picture on a pool of workers, telling the progress on `err` for long runs.
QVector<MaskAnalysis::Picture> analyseAll(const QStringList &paths, int needs, QTextStream &err,
                                          const Output &output = Output())
{
    QFuture<MaskAnalysis::Picture> work = QtConcurrent::mapped(paths, Analyse{needs, output});
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

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
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
                                  {"file_name", QFileInfo(picture.path).fileName()},
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
    return QJsonObject{
        {"images", images}, {"annotations", annotations}, {"categories", categories}};
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
            err << tr("失败: %1: %2").arg(QDir::toNativeSeparators(picture.path), picture.problem)
                << '\n';
            ++failed;
        }
    err.flush();
    return failed;
}

int exportFolder(const Options &options, QTextStream &out, QTextStream &err)
{
    int needs = MaskAnalysis::Counts;
    if (options.format == QLatin1String("coco"))
        needs = MaskAnalysis::Runs;
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
    if (!coco && !QDir().mkpath(options.output)) {
        err << tr("无法创建文件夹: %1").arg(options.output) << '\n';
        return someFailed;
    }
    const QDir target(options.output);
    Output output;
    if (options.format == QLatin1String("yolo"))
        output = [target](const MaskAnalysis::Picture &picture) {
            return writeFile(target.filePath(QFileInfo(picture.path).completeBaseName() +
                                             QStringLiteral(".txt")),
                             yoloOf(picture));
        };
    else if (options.format == QLatin1String("voc"))
        output = [target](const MaskAnalysis::Picture &picture) {
            return MaskFile::write(picture.numbers,
                                   target.filePath(QFileInfo(picture.path).completeBaseName() +
                                                   QStringLiteral(".png")));
        };
    const QVector<MaskAnalysis::Picture> pictures = analyseAll(withMask, needs, err, output);
    int failed = reportFailures(pictures, err);

    if (coco) {
        const QByteArray json = QJsonDocument(cocoOf(pictures)).toJson(QJsonDocument::Compact);
        if (options.output.isEmpty()) {
            out << QString::fromUtf8(json) << '\n';
        } else if (!writeFile(options.output, json + '\n')) {
            err << tr("无法写入: %1").arg(options.output) << '\n';
            return someFailed;
        }
    } else if (options.format == QLatin1String("yolo") &&
               !writeFile(
                   target.filePath(QStringLiteral("classes.txt")),
                   (classesOf(pictures).join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8())) {
        err << tr("无法写入: %1").arg(target.filePath(QStringLiteral("classes.txt"))) << '\n';
        ++failed;
    }
    err << tr("已导出 %1 张图片").arg(pictures.size() - failed) << '\n';
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

int stats(const Options &options, QTextStream &out, QTextStream &err)
{
    const QVector<MaskAnalysis::Picture> pictures =
        analyseAll(picturesOf(options.folder), MaskAnalysis::Pieces, err);
    const int failed = reportFailures(pictures, err);
    out << "picture,width,height,mask_pixels,share,pieces,classes\n";
    for (const MaskAnalysis::Picture &picture : pictures) {
        if (!picture.problem.isEmpty())
            continue;
        const double pixels = double(picture.size.width()) * picture.size.height();
        QStringList present;
        for (int number = 1; number < picture.classPixels.size(); ++number)
            if (picture.classPixels.at(number) > 0)
                present << (picture.classNames.isEmpty() ? QStringLiteral("mask")
                                                         : picture.classNames.value(number - 1));
        out << csvField(QFileInfo(picture.path).fileName()) << ',' << picture.size.width() << ','
            << picture.size.height() << ',' << picture.maskPixels << ','
            << QString::number(pixels > 0 ? picture.maskPixels / pixels : 0.0, 'f', 6) << ','
            << picture.pieces.size() << ',' << csvField(present.join(QLatin1Char(';'))) << '\n';
    }
    out.flush();
    return failed > 0 ? someFailed : allWell;
}

} // namespace

bool isCommand(const QStringList &arguments)
{
    return arguments.size() > 1 && (arguments.at(1) == QLatin1String("export") ||
                                    arguments.at(1) == QLatin1String("stats"));
}

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        out << usage();
        out.flush();
        return allWell;
    }
    Options options;
    const QString wrong = parse(arguments, options);
    if (!wrong.isEmpty()) {
        err << "velmora: " << wrong << "\n\n" << usage();
        err.flush();
        return wrongUsage;
    }
    return options.command == QLatin1String("export") ? exportFolder(options, out, err)
                                                      : stats(options, out, err);
}

} // namespace CommandLine
