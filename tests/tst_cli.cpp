// The command line: exports read back exactly (COCO's run-length code decoded, YOLO's
// outlines filled again, VOC's class maps), statistics, exit statuses and messages, and a
// run with no display at all.

#include "cli/commandline.h"
#include "cli/maskanalysis.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "support/testsupport.h"

#include <opencv2/imgproc.hpp>

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#ifdef Q_OS_LINUX
#include <sys/stat.h>
#endif

namespace {

struct Run
{
    int status = -1;
    QString out, err;
};

Run velmora(const QStringList &arguments)
{
    Run run;
    QTextStream out(&run.out), err(&run.err);
    run.status = CommandLine::run(QStringList{QStringLiteral("velmora")} + arguments, out, err);
    return run;
}

// pycocotools' rleFrString, then the runs painted column by column.
cv::Mat decoded(const QByteArray &text, int height, int width)
{
    QVector<qint64> runs;
    for (int p = 0; p < text.size();) {
        qint64 x = 0;
        int k = 0;
        bool more = true;
        while (more) {
            const qint64 c = text.at(p) - 48;
            x |= (c & 0x1f) << (5 * k);
            more = c & 0x20;
            ++p;
            ++k;
            if (!more && (c & 0x10))
                x |= -(qint64(1) << (5 * k)); // the sign, carried up
        }
        if (runs.size() > 2)
            x += runs.at(runs.size() - 2);
        runs.append(x);
    }
    cv::Mat columns(width, height, CV_8U, cv::Scalar(0)); // transposed: a column a row
    qint64 at = 0;
    for (int i = 0; i < runs.size(); ++i) {
        if (i % 2)
            for (qint64 j = at; j < at + runs.at(i); ++j)
                columns.data[j] = 1;
        at += runs.at(i);
    }
    cv::Mat image;
    cv::transpose(columns, image);
    return at == qint64(width) * height ? image : cv::Mat();
}

cv::Mat matFrom(const QImage &gray)
{
    cv::Mat mat(gray.height(), gray.width(), CV_8U);
    for (int y = 0; y < gray.height(); ++y)
        memcpy(mat.ptr(y), gray.constScanLine(y), size_t(gray.width()));
    return mat;
}

// A mask of 60x40 with: a square with a hole, a piece touching the right edge, and a single
// pixel touching the first only by a corner (so it is part of it, 8-connected).
QImage sampleMask()
{
    QImage mask(60, 40, QImage::Format_Grayscale8);
    mask.fill(0);
    for (int y = 5; y < 25; ++y)
        for (int x = 5; x < 25; ++x)
            mask.scanLine(y)[x] = (x >= 12 && x < 16 && y >= 12 && y < 16) ? 0 : 255;
    mask.scanLine(25)[25] = 255;
    for (int y = 0; y < 40; ++y)
        for (int x = 50; x < 60; ++x)
            mask.scanLine(y)[x] = 255;
    return mask;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        outside.reset(new QTemporaryDir);
        QVERIFY(outside->isValid());
        QVERIFY(TestSupport::makePicture(60, 40).save(path("a.png")));
        QVERIFY(sampleMask().save(path("a_mask.png")));
        QVERIFY(TestSupport::makePicture(60, 40).save(path("b.jpg"))); // no mask
        QImage empty(60, 40, QImage::Format_Grayscale8);
        empty.fill(0);
        QVERIFY(TestSupport::makePicture(60, 40).save(path("c.png")));
        QVERIFY(empty.save(path("c_mask.png")));
    }

    void cocoReadsBackExactly()
    {
        const Run run = velmora({"export", "--format", "coco", dir->path()});
        QCOMPARE(run.status, CommandLine::allWell);
        const QJsonObject coco = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(coco.value("categories").toArray().size(), 1);
        QCOMPARE(coco.value("categories").toArray().at(0).toObject().value("name").toString(),
                 QStringLiteral("mask"));
        const QJsonArray images = coco.value("images").toArray();
        QCOMPARE(images.size(), 2); // a and c: the pictures with a mask file
        QCOMPARE(images.at(0).toObject().value("file_name").toString(), QStringLiteral("a.png"));
        QCOMPARE(images.at(0).toObject().value("width").toInt(), 60);
        const QJsonArray annotations = coco.value("annotations").toArray();
        QCOMPARE(annotations.size(), 2); // c's empty mask has none
        cv::Mat together(40, 60, CV_8U, cv::Scalar(0));
        for (const QJsonValue &value : annotations) {
            const QJsonObject annotation = value.toObject();
            const QJsonObject rle = annotation.value("segmentation").toObject();
            QCOMPARE(rle.value("size").toArray(), QJsonArray({40, 60}));
            const cv::Mat piece = decoded(rle.value("counts").toString().toLatin1(), 40, 60);
            QVERIFY(!piece.empty());
            QCOMPARE(annotation.value("area").toInt(), cv::countNonZero(piece));
            const cv::Rect box = cv::boundingRect(piece);
            const QJsonArray bbox = annotation.value("bbox").toArray();
            QCOMPARE(bbox, QJsonArray({box.x, box.y, box.width, box.height}));
            QCOMPARE(cv::countNonZero(piece & together), 0);
            together |= piece;
        }
        QCOMPARE(cv::countNonZero((together > 0) != (matFrom(sampleMask()) > 0)), 0);
    }

    // Outlines filled again give each piece with its holes filled.
    void yoloReadsBackExactly()
    {
        const QString out = output("yolo");
        QCOMPARE(velmora({"export", "--format", "yolo", dir->path(), "-o", out}).status,
                 CommandLine::allWell);
        QFile labels(out + QStringLiteral("/a.txt"));
        QVERIFY(labels.open(QIODevice::ReadOnly));
        cv::Mat filled(40, 60, CV_8U, cv::Scalar(0));
        int lines = 0;
        for (const QByteArray &line : labels.readAll().split('\n')) {
            if (line.isEmpty())
                continue;
            ++lines;
            const QList<QByteArray> fields = line.split(' ');
            QCOMPARE(fields.first(), QByteArray("0"));
            std::vector<cv::Point> polygon;
            for (int i = 1; i + 1 < fields.size(); i += 2)
                polygon.emplace_back(qRound(fields.at(i).toDouble() * 60),
                                     qRound(fields.at(i + 1).toDouble() * 40));
            cv::fillPoly(filled, std::vector<std::vector<cv::Point>>{polygon}, cv::Scalar(1));
        }
        QCOMPARE(lines, 2);
        cv::Mat expected = matFrom(sampleMask()) > 0;
        expected(cv::Rect(12, 12, 4, 4)).setTo(255); // YOLO has no holes
        QCOMPARE(cv::countNonZero((filled > 0) != (expected > 0)), 0);
        QFile names(out + QStringLiteral("/classes.txt"));
        QVERIFY(names.open(QIODevice::ReadOnly));
        QCOMPARE(names.readAll(), QByteArray("mask\n"));
    }

    // With classes: the class map's numbers come through COCO, VOC and the statistics.
    void classesComeThrough()
    {
        QFile list(path("labels.txt"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("__ignore__\n_background_\nroad\ncar\n");
        list.close();
        QImage numbers(60, 40, QImage::Format_Grayscale8);
        numbers.fill(0);
        const QImage mask = sampleMask();
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x)
                if (mask.constScanLine(y)[x])
                    numbers.scanLine(y)[x] = x >= 50 ? 2 : 1;
        QVERIFY(ClassFiles::toIndexed(numbers).save(path("a_labels.png")));

        const Run coco = velmora({"export", "--format", "coco", dir->path()});
        const QJsonObject json = QJsonDocument::fromJson(coco.out.toUtf8()).object();
        QCOMPARE(json.value("categories").toArray().at(1).toObject().value("name").toString(),
                 QStringLiteral("car"));
        QSet<int> categories;
        for (const QJsonValue &value : json.value("annotations").toArray())
            categories << value.toObject().value("category_id").toInt();
        QCOMPARE(categories, QSet<int>({1, 2}));

        const QString out = output("voc");
        QCOMPARE(velmora({"export", "--format", "voc", dir->path(), "-o", out}).status,
                 CommandLine::allWell);
        const QImage map(out + QStringLiteral("/a.png"));
        QCOMPARE(map.format(), QImage::Format_Indexed8);
        QCOMPARE(map.pixelIndex(55, 3), 2);
        QCOMPARE(map.pixelIndex(6, 6), 1);
        QCOMPARE(map.pixelIndex(13, 13), 0);

        const Run stats = velmora({"stats", dir->path()});
        QCOMPARE(stats.status, CommandLine::allWell);
        const QStringList rows = stats.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.first(),
                 QStringLiteral("picture,width,height,mask_pixels,share,pieces,classes,objects"));
        QCOMPARE(rows.at(1), QStringLiteral("a.png,60,40,785,0.327083,2,road;car,"));
        QCOMPARE(rows.at(2), QStringLiteral("b.jpg,60,40,0,0.000000,0,,"));
    }

    // Objects: two touching objects of one class stay two in every export. An object in
    // two parts is one COCO annotation and two YOLO lines; class pixels of no object stay
    // pieces of their own.
    void objectsComeThroughEveryExport()
    {
        QFile list(path("labels.txt"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("road\ncar\n");
        list.close();
        QImage numbers(60, 40, QImage::Format_Grayscale8);
        numbers.fill(0);
        QImage objects(60, 40, QImage::Format_Grayscale16);
        objects.fill(0);
        const QImage mask = sampleMask();
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x) {
                if (!mask.constScanLine(y)[x])
                    continue;
                numbers.scanLine(y)[x] = x >= 50 ? 2 : 1;
                // The strip on the right: object 1 above, object 2 below it (apart from
                // rows 30-34, car pixels of no object).
                if (x >= 50)
                    reinterpret_cast<quint16 *>(objects.scanLine(y))[x] = y < 20                ? 1
                                                                          : (y < 30 || y >= 35) ? 2
                                                                                                : 0;
            }
        QVERIFY(ClassFiles::toIndexed(numbers).save(path("a_labels.png")));
        QVERIFY(objects.save(path("a_objects.png")));
        // A picture of 256 one-pixel objects: more than a VOC palette holds.
        QImage many(60, 40, QImage::Format_Grayscale16);
        many.fill(0);
        QImage manyNumbers(60, 40, QImage::Format_Grayscale8);
        manyNumbers.fill(0);
        for (int i = 0; i < 256; ++i) {
            reinterpret_cast<quint16 *>(many.scanLine(i / 30 * 2))[i % 30 * 2] = quint16(i + 1);
            manyNumbers.scanLine(i / 30 * 2)[i % 30 * 2] = 1;
        }
        QVERIFY(TestSupport::makePicture(60, 40).save(path("d.png")));
        QVERIFY(ClassFiles::toIndexed(manyNumbers).save(path("d_labels.png")));
        QVERIFY(many.save(path("d_objects.png")));
        QVERIFY(manyNumbers.convertToFormat(QImage::Format_Grayscale8).save(path("d_mask.png")));

        const Run coco = velmora({"export", "--format", "coco", dir->path()});
        QCOMPARE(coco.status, CommandLine::allWell);
        QMap<int, qint64> areas; // by the pixel each annotation's mask has at (55, y)
        int annotations = 0;
        for (const QJsonValue &value :
             QJsonDocument::fromJson(coco.out.toUtf8()).object().value("annotations").toArray()) {
            const QJsonObject annotation = value.toObject();
            if (annotation.value("image_id").toInt() != 1)
                continue;
            ++annotations;
            const cv::Mat shape = decoded(
                annotation.value("segmentation").toObject().value("counts").toString().toLatin1(),
                40, 60);
            for (int y : {3, 25, 32, 37})
                if (shape.at<uchar>(y, 55))
                    areas[y] = cv::countNonZero(shape);
        }
        QCOMPARE(annotations, 4);
        QCOMPARE(areas.value(3), qint64(200));  // object 1
        QCOMPARE(areas.value(25), qint64(150)); // object 2, both parts
        QCOMPARE(areas.value(37), qint64(150));
        QCOMPARE(areas.value(32), qint64(50)); // car pixels of no object

        const QString yolo = output("yolo");
        QCOMPARE(velmora({"export", "--format", "yolo", dir->path(), "-o", yolo}).status,
                 CommandLine::allWell);
        QFile lines(yolo + QStringLiteral("/a.txt"));
        QVERIFY(lines.open(QIODevice::ReadOnly));
        QCOMPARE(lines.readAll().count('\n'), 5);

        const QString voc = output("voc");
        const Run vocRun = velmora({"export", "--format", "voc", dir->path(), "-o", voc});
        QCOMPARE(vocRun.status, CommandLine::someFailed);
        QVERIFY2(vocRun.err.contains(QStringLiteral("d.png")), qPrintable(vocRun.err));
        const QImage instances(voc + QStringLiteral("/SegmentationObject/a.png"));
        QCOMPARE(instances.format(), QImage::Format_Indexed8);
        const QVector<QPair<QPoint, int>> expected{{{6, 6}, 1},   {{13, 13}, 0}, {{55, 3}, 2},
                                                   {{55, 25}, 3}, {{55, 37}, 3}, {{55, 32}, 4}};
        for (const auto &point : expected)
            QCOMPARE(instances.pixelIndex(point.first), point.second);
        QVERIFY(!QFileInfo::exists(voc + QStringLiteral("/SegmentationObject/d.png")));
        QVERIFY(!QFileInfo::exists(voc + QStringLiteral("/SegmentationObject/c.png")));

        const QStringList rows = velmora({"stats", dir->path()}).out.split('\n');
        QVERIFY(rows.at(1).startsWith(QStringLiteral("a.png,")));
        QVERIFY2(rows.at(1).endsWith(QStringLiteral(",road;car,car:2")), qPrintable(rows.at(1)));
    }

    // Without classes, VOC's map holds the mask as class 1.
    void vocWithoutClasses()
    {
        const QString out = output("voc");
        QCOMPARE(velmora({"export", "--format", "voc", dir->path(), "-o", out}).status,
                 CommandLine::allWell);
        const QImage map(out + QStringLiteral("/a.png"));
        QCOMPARE(map.pixelIndex(55, 3), 1);
        QCOMPARE(map.pixelIndex(13, 13), 0);
        QCOMPARE(map.color(1), qRgb(128, 0, 0));
    }

    void statusesAndMessages_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("help") << QStringList{"export", "--help"} << 0 << QString();
        QTest::newRow("no folder") << QStringList{"stats"} << 2 << QStringLiteral("缺少文件夹");
        QTest::newRow("unknown format") << QStringList{"export", "--format", "tiff", "@"} << 2
                                        << QStringLiteral("--format 应为 coco、yolo 或 voc");
        QTest::newRow("yolo without -o")
            << QStringList{"export", "--format", "yolo", "@"} << 2 << QStringLiteral("需要 -o");
        QTest::newRow("unknown option")
            << QStringList{"stats", "--fast", "@"} << 2 << QStringLiteral("未知选项: --fast");
        QTest::newRow("not a folder")
            << QStringList{"stats", "@/a.png"} << 2 << QStringLiteral("不是文件夹");
        QTest::newRow("an unreadable mask")
            << QStringList{"stats", "@", "!"} << 1 << QStringLiteral("失败: ");
    }
    void statusesAndMessages()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, message);
        if (arguments.removeAll(QStringLiteral("!"))) {
            QImage other(7, 7, QImage::Format_Grayscale8);
            other.fill(255);
            QVERIFY(other.save(path("b_mask.jpg"))); // another size than its picture
        }
        arguments.replaceInStrings(QStringLiteral("@"), dir->path());
        const Run run = velmora(arguments);
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        if (status == 1) {
            QVERIFY(run.err.contains(QStringLiteral("b.jpg: 掩膜文件与图片尺寸不符")));
            QVERIFY(run.out.contains(QStringLiteral("a.png,60,40")));
        }
    }

    // The real program, with no display to talk to: it never needs one for a command.
    void runsWithoutADisplay()
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VELMORA_BINARY), {"stats", dir->path()});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(program.readAllStandardOutput().contains("a.png,60,40,785,0.327083,2,mask"));
    }

    // Nothing of the input is ever written: outputs in or on it are refused before anything
    // is written, with status 2 and the output named.
    void neverWritesOntoItsInput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::newRow("VOC into the folder") << QStringList{"--format", "voc", "@", "-o", "@"} << 2;
        QTest::newRow("YOLO inside the folder")
            << QStringList{"--format", "yolo", "@", "-o", "@/yolo"} << 2;
        QTest::newRow("YOLO through a spelling with ..")
            << QStringList{"--format", "yolo", "@", "-o", "@/yolo/../."} << 2;
        QTest::newRow("COCO onto a picture")
            << QStringList{"--format", "coco", "@", "-o", "@/a.png"} << 2;
        QTest::newRow("COCO onto a mask")
            << QStringList{"--format", "coco", "@", "-o", "@/a_mask.png"} << 2;
        QTest::newRow("COCO onto labels.txt")
            << QStringList{"--format", "coco", "@", "-o", "@/labels.txt"} << 2;
        QTest::newRow("COCO onto the review file")
            << QStringList{"--format", "coco", "@", "-o", "@/.velmora-review.json"} << 2;
        QTest::newRow("COCO through a link to a mask")
            << QStringList{"--format", "coco", "@", "-o", "link"} << 2;
        QTest::newRow("COCO beside the pictures")
            << QStringList{"--format", "coco", "@", "-o", "@/street.json"} << 0;
    }
    void neverWritesOntoItsInput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QVERIFY(QFile::link(path("a_mask.png"), output("link")));
        QFile list(path("labels.txt"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("mask\n");
        list.close();
        QHash<QString, QByteArray> before;
        for (const QString &name : QDir(dir->path()).entryList(QDir::Files | QDir::Hidden))
            before.insert(name, TestSupport::contents(path(name)));
        arguments.replaceInStrings(QStringLiteral("@"), dir->path());
        arguments.replaceInStrings(QStringLiteral("link"), output("link"));
        const Run run = velmora(QStringList{"export"} + arguments);
        QCOMPARE(run.status, status);
        if (status == CommandLine::wrongUsage)
            QVERIFY2(run.err.contains(QDir::toNativeSeparators(arguments.last())),
                     qPrintable(run.err));
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(TestSupport::contents(path(it.key())), it.value());
        QCOMPARE(QFileInfo::exists(path("yolo")), false);
    }

    // Pictures whose outputs would share a file are named and left out; the others go on.
    void outputsSharingANameAreErrors_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("clash");
        QTest::newRow("VOC, two formats") << "voc"
                                          << "a.jpg"
                                          << "a.jpg、a.png";
        QTest::newRow("YOLO, two formats") << "yolo"
                                           << "a.bmp"
                                           << "a.bmp、a.png";
        QTest::newRow("YOLO, the list's name") << "yolo"
                                               << "classes.png"
                                               << "classes.txt";
    }
    void outputsSharingANameAreErrors()
    {
        QFETCH(QString, format);
        QFETCH(QString, picture);
        QFETCH(QString, clash);
        QVERIFY(TestSupport::makePicture(60, 40).save(path(picture)));
        QVERIFY(sampleMask().save(MaskFile::pathFor(path(picture))));
        const QString out = output(format);
        const Run run = velmora({"export", "--format", format, dir->path(), "-o", out});
        QCOMPARE(run.status, CommandLine::someFailed);
        QVERIFY2(run.err.contains(clash), qPrintable(run.err));
        const QString suffix = format == QLatin1String("voc") ? ".png" : ".txt";
        // c is exported; a (or classes) is not, and nothing took its place.
        QVERIFY(QFileInfo::exists(out + "/c" + suffix));
        if (picture != QLatin1String("classes.png"))
            QVERIFY(!QFileInfo::exists(out + "/a" + suffix));
    }

    // Pieces are 8-connected in every direction: every arrangement of three values (two
    // classes and the background) on 2x2 and 3x3 pixels gives the pieces a plain flood fill
    // finds, pixel for pixel.
    void piecesAreEightConnectedEverywhere()
    {
        for (const int side : {2, 3}) {
            const int cells = side * side;
            int arrangements = 1;
            for (int i = 0; i < cells; ++i)
                arrangements *= 3;
            for (int code = 0; code < arrangements; ++code) {
                QImage layer(side, side, QImage::Format_Grayscale8);
                for (int i = 0, rest = code; i < cells; ++i, rest /= 3)
                    layer.scanLine(i / side)[i % side] = uchar(rest % 3);
                QVERIFY2(samePieces(layer), qPrintable(QString::number(code)));
            }
        }
    }

    // --min-area leaves specks out of COCO and YOLO and says how many; YOLO never writes a
    // line of under three points; COCO carries info and licenses.
    void smallPiecesAndStrictLoaders()
    {
        QImage mask = sampleMask();
        mask.scanLine(38)[2] = 255; // a lone pixel: an outline of one point
        QVERIFY(mask.save(path("a_mask.png")));
        Run run = velmora({"export", "--format", "coco", dir->path()});
        QCOMPARE(run.status, CommandLine::allWell);
        QJsonObject coco = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QVERIFY(coco.value("info").isObject() && coco.value("licenses").isArray());
        QCOMPARE(coco.value("annotations").toArray().size(), 3);
        run = velmora({"export", "--format", "coco", dir->path(), "--min-area", "390"});
        coco = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(coco.value("annotations").toArray().size(), 1);
        QVERIFY2(run.err.contains(QStringLiteral("去掉了 2 个块")), qPrintable(run.err));

        const QString out = output("yolo");
        run = velmora({"export", "--format", "yolo", dir->path(), "-o", out});
        QCOMPARE(run.status, CommandLine::allWell);
        for (const QByteArray &line : TestSupport::contents(out + "/a.txt").split('\n')) {
            if (line.isEmpty())
                continue;
            QVERIFY2(line.split(' ').size() >= 7, line.constData()); // a class and 3 points
        }
        QVERIFY2(run.err.contains(QStringLiteral("去掉了 1 个轮廓不足三个点的块")),
                 qPrintable(run.err));
        QCOMPARE(velmora({"export", "--format", "coco", dir->path(), "--min-area", "-3"}).status,
                 CommandLine::wrongUsage);
    }

#ifdef Q_OS_LINUX
    // Files that can't be read as pictures are named and skipped, never opened or decoded:
    // a fifo (which would wait forever) and a small file that declares 100000 x 100000.
    void oddPicturesAreSkipped()
    {
        QCOMPARE(::mkfifo(QFile::encodeName(path("x.png")).constData(), 0600), 0);
        QFile huge(path("huge.png"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        huge.write(TestSupport::pngAnnouncing(QSize(100000, 100000)));
        huge.close();
        TestSupport::FailIfStuck guard(60);
        const Run run = velmora({"stats", dir->path()});
        QCOMPARE(run.status, CommandLine::someFailed);
        QVERIFY2(run.err.contains(QStringLiteral("x.png: 图片不是普通文件")), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("huge.png: 图片有 100000 × 100000 像素")),
                 qPrintable(run.err));
        QVERIFY(run.out.contains(QStringLiteral("a.png,60,40,785")));
    }

    // A full disk or an output that is no file leaves what was there, with status 1.
    void failedWritesKeepTheOldFile()
    {
        const QString json = output("street.json");
        QFile old(json);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("{\"older\": \"export\"}");
        old.close();
        const QByteArray before = TestSupport::contents(json);
        Run run;
        TestSupport::withFileSizeLimit(16, [&] {
            run = velmora({"export", "--format", "coco", dir->path(), "-o", json});
        });
        QCOMPARE(run.status, CommandLine::someFailed);
        QVERIFY2(run.err.contains(QStringLiteral("磁盘可能已满")), qPrintable(run.err));
        QCOMPARE(TestSupport::contents(json), before);

        const QString fifo = output("pipe.json");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        TestSupport::FailIfStuck guard(60);
        run = velmora({"export", "--format", "coco", dir->path(), "-o", fifo});
        QCOMPARE(run.status, CommandLine::someFailed);
        QVERIFY(QFileInfo::exists(fifo) && !QFileInfo(fifo).isFile());
    }

    // Output that never reached standard output is a failure, not a cut-off file taken for
    // the whole.
    void standardOutputThatFailsGivesStatusOne_data()
    {
        QTest::addColumn<QString>("redirect");
        QTest::newRow("a full device") << ">/dev/full";
        QTest::newRow("closed") << ">&-";
        QTest::newRow("a file") << ">/dev/null";
    }
    void standardOutputThatFailsGivesStatusOne()
    {
        QFETCH(QString, redirect);
        QProcess shell;
        shell.start(QStringLiteral("sh"),
                    {QStringLiteral("-c"),
                     QStringLiteral("exec %1; exec \"$0\" stats \"$1\"").arg(redirect),
                     QStringLiteral(VELMORA_BINARY), dir->path()});
        QVERIFY(shell.waitForFinished(30000));
        const bool fine = redirect == QLatin1String(">/dev/null");
        QCOMPARE(shell.exitCode(), fine ? 0 : 1);
        QCOMPARE(shell.readAllStandardError().contains("标准输出"), !fine);
    }
#endif

private:
    // Whether the pieces found from runs are those a flood fill finds: the same pixels,
    // classes, areas and boxes.
    static bool samePieces(const QImage &layer)
    {
        const int width = layer.width(), height = layer.height();
        QVector<int> label(width * height, -1);
        QSet<QByteArray> expected;
        for (int start = 0; start < width * height; ++start) {
            const uchar value = layer.constScanLine(start / width)[start % width];
            if (value == 0 || label[start] >= 0)
                continue;
            QByteArray pixels(width * height, '0');
            QVector<int> todo{start};
            label[start] = start;
            while (!todo.isEmpty()) {
                const int at = todo.takeLast();
                pixels[at] = '1';
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int x = at % width + dx, y = at / width + dy;
                        if (x < 0 || y < 0 || x >= width || y >= height)
                            continue;
                        if (layer.constScanLine(y)[x] == value && label[y * width + x] < 0) {
                            label[y * width + x] = start;
                            todo.append(y * width + x);
                        }
                    }
            }
            expected.insert(QByteArray::number(value) + ':' + pixels);
        }
        const QVector<MaskAnalysis::Piece> pieces =
            MaskAnalysis::piecesOf(layer, MaskAnalysis::Runs);
        QSet<QByteArray> found;
        for (const MaskAnalysis::Piece &piece : pieces) {
            // The piece's pixels, from its run code (column by column).
            QByteArray pixels(width * height, '0');
            qint64 at = 0;
            for (int i = 0; i < piece.runs.size(); ++i) {
                if (i % 2)
                    for (qint64 j = at; j < at + piece.runs.at(i); ++j)
                        pixels[int((j % height) * width + j / height)] = '1';
                at += piece.runs.at(i);
            }
            if (pixels.count('1') != piece.area)
                return false;
            found.insert(QByteArray::number(piece.classNumber) + ':' + pixels);
        }
        return found == expected && pieces.size() == expected.size();
    }

    QString path(const QString &name) const
    {
        return dir->filePath(name);
    }
    // Outputs go outside the folder exported: the command refuses to write among its input.
    QString output(const QString &name) const
    {
        return outside->filePath(name);
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QTemporaryDir> outside;
};

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
