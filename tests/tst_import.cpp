// Importing what other tools wrote: COCO (RLE compressed and not, polygons rasterized as the
// COCO API does, several per object, overlaps, crowds), YOLO, VOC and labelme fixtures with
// holes, parts, empty masks, unknown classes, missing pictures and other sizes; labels.txt
// merged; --replace and its backup; round trips that give back the same bytes.

#include "cli/commandline.h"
#include "cli/importer.h"
#include "document/maskdocument.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "folder/picturefolder.h"
#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QBuffer>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
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
    QString err;
};

Run velmora(const QStringList &arguments)
{
    Run run;
    QString out;
    QTextStream outStream(&out), errStream(&run.err);
    run.status =
        CommandLine::run(QStringList{QStringLiteral("velmora")} + arguments, outStream, errStream);
    return run;
}

// The pixels of a column-major run code, as "x,y" in reading order.
QStringList pixelsOf(const QVector<quint32> &runs, int height, int width)
{
    QImage numbers(width, height, QImage::Format_Grayscale8);
    numbers.fill(0);
    Importer::paintRuns(numbers, runs, 1);
    QStringList pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (numbers.constScanLine(y)[x])
                pixels << QStringLiteral("%1,%2").arg(x).arg(y);
    return pixels;
}

QStringList box(int left, int top, int right, int bottom)
{
    QStringList pixels;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            pixels << QStringLiteral("%1,%2").arg(x).arg(y);
    return pixels;
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestImport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        dir.reset(new QTemporaryDir);
        source.reset(new QTemporaryDir);
        QVERIFY(dir->isValid() && source->isValid());
        for (const char *name : {"a.png", "b.jpg", "c.png"})
            QVERIFY(TestSupport::makePicture(40, 30).save(path(name)));
        QVERIFY(TestSupport::makePicture(50, 30).save(path("wide.png")));
    }

    // Polygons as the COCO API rasterizes them: a pixel is inside when its centre is; checked
    // by hand on boxes with whole and fractional corners, and one reaching out of the picture.
    void polygonsAsTheCocoApi_data()
    {
        QTest::addColumn<QVector<double>>("xy");
        QTest::addColumn<QStringList>("pixels");
        QTest::newRow("whole corners")
            << QVector<double>{0, 0, 10, 0, 10, 10, 0, 10} << box(0, 0, 9, 9);
        QTest::newRow("fractional corners")
            << QVector<double>{2.3, 1.7, 6.6, 1.7, 6.6, 4.2, 2.3, 4.2} << box(2, 2, 6, 3);
        QTest::newRow("turned the other way")
            << QVector<double>{2.3, 4.2, 6.6, 4.2, 6.6, 1.7, 2.3, 1.7} << box(2, 2, 6, 3);
        QTest::newRow("out of the picture")
            << QVector<double>{-5, -5, 5, -5, 5, 5, -5, 5} << box(0, 0, 4, 4);
        QTest::newRow("thinner than a pixel's centre")
            << QVector<double>{3.1, 3.1, 3.4, 3.1, 3.4, 8, 3.1, 8} << QStringList();
    }
    void polygonsAsTheCocoApi()
    {
        QFETCH(QVector<double>, xy);
        QFETCH(QStringList, pixels);
        QCOMPARE(pixelsOf(Importer::polygonRuns(xy, 20, 20), 20, 20), pixels);
    }

    // A COCO file another tool wrote: compressed RLE with a hole, an object in two polygons,
    // uncompressed RLE of a crowd painted over it, a picture with no annotation, an unknown
    // category, a picture missing from the folder and one of another size.
    void coco()
    {
        // a: class "person" as RLE of a 10x10 box with a 2x2 hole, at columns 5..14.
        QVector<int> counts;
        counts << 5 * 30 + 3; // columns 0..4, then 3 rows of column 5
        for (int column = 5; column < 15; ++column) {
            const bool holed = column == 9 || column == 10;
            if (holed)
                counts << 4 << 2 << 4 << 20; // rows 3..6, hole 7..8, rows 9..12, then gap
            else
                counts << 10 << 20;
        }
        counts.last() = 30 * 40 - (14 * 30 + 13); // the rest of the picture
        QJsonArray runs;
        int total = 0;
        for (int count : counts) {
            runs.append(count);
            total += count;
        }
        QCOMPARE(total, 40 * 30);
        const QJsonObject file{
            {"images",
             QJsonArray{
                 QJsonObject{
                     {"id", 1}, {"file_name", "train/a.png"}, {"width", 40}, {"height", 30}},
                 QJsonObject{{"id", 2}, {"file_name", "c.png"}, {"width", 40}, {"height", 30}},
                 QJsonObject{{"id", 3}, {"file_name", "gone.png"}, {"width", 40}, {"height", 30}},
                 QJsonObject{{"id", 4}, {"file_name", "wide.png"}, {"width", 40}, {"height", 30}}}},
            {"categories", QJsonArray{QJsonObject{{"id", 7}, {"name", "person"}},
                                      QJsonObject{{"id", 9}, {"name", "car"}}}},
            {"annotations",
             QJsonArray{
                 QJsonObject{{"image_id", 1},
                             {"category_id", 9},
                             {"segmentation", QJsonArray{QJsonArray{0, 20, 4, 20, 4, 24, 0, 24},
                                                         QJsonArray{30, 0, 34, 0, 34, 4, 30, 4}}}},
                 QJsonObject{
                     {"image_id", 1},
                     {"category_id", 7},
                     {"iscrowd", 1},
                     {"segmentation", QJsonObject{{"size", QJsonArray{30, 40}}, {"counts", runs}}}},
                 QJsonObject{{"image_id", 1},
                             {"category_id", 7},
                             {"segmentation", QJsonArray{QJsonArray{2, 22, 3, 22, 3, 23, 2, 23}}}},
                 QJsonObject{{"image_id", 1}, {"category_id", 5}, {"segmentation", QJsonArray()}},
                 QJsonObject{{"image_id", 4},
                             {"category_id", 7},
                             {"segmentation", QJsonArray{QJsonArray{0, 0, 4, 0, 4, 4}}}}}}};
        write(source->filePath("coco.json"), json(file));
        const Run run =
            velmora({"import", "--format", "coco", source->filePath("coco.json"), dir->path()});
        QCOMPARE(run.status, CommandLine::someFailed);
        QVERIFY2(run.err.contains(QStringLiteral("类别 5 不在 categories 中")),
                 qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("gone.png: 文件夹中没有这张图片")),
                 qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("wide.png: 标注的尺寸 40×30 与图片 50×30 不符")),
                 qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("后面的标注画在前面的标注上: 1 个像素")),
                 qPrintable(run.err));
        QCOMPARE(ClassFiles::readList(path("labels.txt")).names, QStringList({"person", "car"}));
        ClassFiles::MapStatus status;
        const QImage map = ClassFiles::readMap(path("a_labels.png"), QSize(40, 30), &status);
        QCOMPARE(status, ClassFiles::MapStatus::Read);
        const auto at = [&](int x, int y) {
            return int(map.constScanLine(y)[x]);
        };
        QCOMPARE(at(5, 3), 1);   // the crowd's box
        QCOMPARE(at(9, 7), 0);   // its hole
        QCOMPARE(at(14, 12), 1); // its far corner
        QCOMPARE(at(15, 12), 0);
        QCOMPARE(at(1, 21), 2); // both parts of the car
        QCOMPARE(at(31, 1), 2);
        QCOMPARE(at(2, 22), 1); // a person painted over the car
        QCOMPARE(at(1, 22), 2);
        // The mask is 255 wherever a class is; c has no annotation: no files at all.
        QCOMPARE(TestSupport::maskedPixels(MaskFile::readLayer(path("a_mask.png"), QSize(40, 30))),
                 100 - 4 + 16 + 16 - 1 + 1);
        QVERIFY(!QFile::exists(path("c_mask.png")) && !QFile::exists(path("c_labels.png")));
        QVERIFY(!QFile::exists(path("wide_mask.png")));
    }

    // YOLO: normalized polygons, box lines skipped and counted, names from classes.txt or
    // data.yaml; the labels in a subfolder are matched to the pictures by name.
    void yolo_data()
    {
        QTest::addColumn<QString>("namesFile");
        QTest::addColumn<QByteArray>("names");
        QTest::newRow("classes.txt") << "classes.txt" << QByteArray("road\ncar\n");
        QTest::newRow("data.yaml list")
            << "data.yaml" << QByteArray("path: .\nnames: [road, car]\n");
        QTest::newRow("data.yaml map")
            << "data.yaml" << QByteArray("names:\n  0: road\n  1: 'car'\nnc: 2\n");
    }
    void yolo()
    {
        QFETCH(QString, namesFile);
        QFETCH(QByteArray, names);
        write(source->filePath(namesFile), names);
        write(source->filePath("labels/train/a.txt"),
              "1 0.25 0.2 0.5 0.2 0.5 0.6 0.25 0.6\n0 0.1 0.8 0.1 0.1\n");
        const Run run = velmora({"import", "--format", "yolo", source->path(), dir->path()});
        QCOMPARE(run.status, CommandLine::someFailed);
        QVERIFY2(run.err.contains(QStringLiteral("跳过只有框的 YOLO 行: 1 行")),
                 qPrintable(run.err));
        QCOMPARE(ClassFiles::readList(path("labels.txt")).names, QStringList({"road", "car"}));
        ClassFiles::MapStatus status;
        const QImage map = ClassFiles::readMap(path("a_labels.png"), QSize(40, 30), &status);
        QCOMPARE(int(map.constScanLine(10)[15]), 2);
        QCOMPARE(int(map.constScanLine(18)[20]), 2); // the outline's own pixels are inside
        QCOMPARE(int(map.constScanLine(24)[4]), 0);  // the box line drew nothing
    }

    // VOC: the class numbers of palette PNGs, names from labelmap.txt or VOC's own twenty,
    // the border (255) made background and counted.
    void voc()
    {
        QImage map(40, 30, QImage::Format_Indexed8);
        map.setColorTable(ClassFiles::palette());
        map.fill(0);
        for (int x = 0; x < 10; ++x) {
            map.scanLine(5)[x] = 15; // person, the 15th VOC name
            map.scanLine(6)[x] = 255;
        }
        QVERIFY(map.save(source->filePath("SegmentationClass/a.png")) ||
                (QDir().mkpath(source->filePath("SegmentationClass")) &&
                 map.save(source->filePath("SegmentationClass/a.png"))));
        write(path("labels.txt"), "car\n");
        const Run run = velmora({"import", "--format", "voc", source->path(), dir->path()});
        QCOMPARE(run.status, CommandLine::allWell);
        QVERIFY2(run.err.contains(QStringLiteral("(255) 作为背景: 10 个像素")),
                 qPrintable(run.err));
        // car keeps its number; the twenty names follow, car not twice.
        const QStringList names = ClassFiles::readList(path("labels.txt")).names;
        QCOMPARE(names.size(), 20);
        QCOMPARE(names.first(), QStringLiteral("car"));
        ClassFiles::MapStatus status;
        const QImage read = ClassFiles::readMap(path("a_labels.png"), QSize(40, 30), &status);
        QCOMPARE(names.value(read.constScanLine(5)[3] - 1), QStringLiteral("person"));
        QCOMPARE(int(read.constScanLine(6)[3]), 0);
    }

    // labelme: polygons, rectangles, circles and masks; lines and points skipped and counted.
    void labelme()
    {
        QImage bits(4, 3, QImage::Format_Grayscale8);
        bits.fill(255);
        QByteArray png;
        QBuffer buffer(&png);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && bits.save(&buffer, "PNG"));
        const auto shape = [](const QString &label, const QString &type, const QJsonArray &points) {
            return QJsonObject{{"label", label},
                               {"shape_type", type},
                               {"points", points},
                               {"group_id", QJsonValue()}};
        };
        QJsonObject maskShape =
            shape("cat", "mask", QJsonArray{QJsonArray{30, 20}, QJsonArray{33, 22}});
        maskShape.insert("mask", QString::fromLatin1(png.toBase64()));
        const QJsonObject file{
            {"imagePath", "..\\images\\a.png"},
            {"imageWidth", 40},
            {"imageHeight", 30},
            {"shapes",
             QJsonArray{
                 shape("dog", "polygon",
                       QJsonArray{QJsonArray{1, 1}, QJsonArray{6, 1}, QJsonArray{6, 6},
                                  QJsonArray{1, 6}}),
                 shape("cat", "rectangle", QJsonArray{QJsonArray{10, 10}, QJsonArray{14, 12}}),
                 shape("dog", "circle", QJsonArray{QJsonArray{20, 20}, QJsonArray{23, 20}}),
                 maskShape,
                 shape("cat", "line", QJsonArray{QJsonArray{0, 29}, QJsonArray{39, 29}})}}};
        write(source->filePath("sub/a.json"), json(file));
        const Run run = velmora({"import", "--format", "labelme", source->path(), dir->path()});
        QCOMPARE(run.status, CommandLine::someFailed);
        QVERIFY2(run.err.contains(QStringLiteral("（线、点）: 1 个")), qPrintable(run.err));
        QCOMPARE(ClassFiles::readList(path("labels.txt")).names, QStringList({"dog", "cat"}));
        ClassFiles::MapStatus status;
        const QImage map = ClassFiles::readMap(path("a_labels.png"), QSize(40, 30), &status);
        const auto at = [&](int x, int y) {
            return int(map.constScanLine(y)[x]);
        };
        QCOMPARE(at(3, 3), 1);
        QCOMPARE(at(12, 11), 2);
        QCOMPARE(at(22, 20), 1);
        QCOMPARE(at(25, 20), 0);
        QCOMPARE(at(33, 22), 2);
        QCOMPARE(at(34, 22), 0);
        QCOMPARE(at(10, 29), 0);
    }

    // A picture with a mask file is never overwritten unasked; --replace keeps the old files
    // aside first and says where.
    void replaceKeepsTheOldFiles()
    {
        QImage old(40, 30, QImage::Format_Grayscale8);
        old.fill(0);
        old.scanLine(3)[3] = 255;
        QVERIFY(old.save(path("a_mask.png")));
        const QByteArray before = TestSupport::contents(path("a_mask.png"));
        // An object map goes aside too: left, it would give objects to the new classes.
        QImage objects(40, 30, QImage::Format_Grayscale16);
        objects.fill(3);
        QVERIFY(objects.save(path("a_objects.png")));
        const QByteArray objectsBefore = TestSupport::contents(path("a_objects.png"));
        write(source->filePath("classes.txt"), "road\n");
        write(source->filePath("a.txt"), "0 0.1 0.1 0.9 0.1 0.9 0.9\n");
        Run run = velmora({"import", "--format", "yolo", source->path(), dir->path()});
        QCOMPARE(run.status, CommandLine::someFailed);
        QVERIFY2(run.err.contains(QStringLiteral("已有掩膜文件或类别图，没有覆盖")),
                 qPrintable(run.err));
        QCOMPARE(TestSupport::contents(path("a_mask.png")), before);

        run = velmora({"import", "--format", "yolo", source->path(), dir->path(), "--replace"});
        QCOMPARE(run.status, CommandLine::allWell);
        const QStringList backups =
            QDir(path(".velmora-import-backup")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(backups.size(), 1);
        const QString kept = path(".velmora-import-backup/" + backups.first() + "/a_mask.png");
        QCOMPARE(TestSupport::contents(kept), before);
        QCOMPARE(TestSupport::contents(QFileInfo(kept).absolutePath() + "/a_objects.png"),
                 objectsBefore);
        QVERIFY(!QFile::exists(path("a_objects.png")));
        QVERIFY2(run.err.contains(QDir::toNativeSeparators(path(".velmora-import-backup"))),
                 qPrintable(run.err));
        QVERIFY(TestSupport::contents(path("a_mask.png")) != before);
    }

#ifdef Q_OS_LINUX
    // Pictures that can't be written for are skipped and named, never opened or decoded: a
    // fifo under a picture's name, a header declaring 100000 x 100000, and a class map alone,
    // which is work too and is kept unless --replace.
    void oddPicturesAndClassMapsAreLeftAlone()
    {
        QVERIFY(QFile::remove(path("c.png")));
        QCOMPARE(::mkfifo(QFile::encodeName(path("c.png")).constData(), 0600), 0);
        write(path("b.png"), TestSupport::pngAnnouncing(QSize(100000, 100000)));
        QVERIFY(QFile::remove(path("b.jpg")));
        QImage map(40, 30, QImage::Format_Indexed8);
        map.setColorTable(ClassFiles::palette());
        map.fill(2);
        QVERIFY(map.save(path("a_labels.png")));
        const QByteArray before = TestSupport::contents(path("a_labels.png"));
        write(source->filePath("classes.txt"), "road\ncar\n");
        for (const char *name : {"a.txt", "b.txt", "c.txt"})
            write(source->filePath(QLatin1String(name)), "0 0.1 0.1 0.9 0.1 0.9 0.9\n");
        TestSupport::FailIfStuck guard(60);
        const Run run = velmora({"import", "--format", "yolo", source->path(), dir->path()});
        QCOMPARE(run.status, CommandLine::someFailed);
        QVERIFY2(run.err.contains(QStringLiteral("c.txt: 无法读取图片 c.png")),
                 qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("b.txt: 图片有 100000 × 100000 像素")),
                 qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("a.png 已有掩膜文件或类别图")),
                 qPrintable(run.err));
        QCOMPARE(TestSupport::contents(path("a_labels.png")), before);
        QVERIFY(!QFile::exists(path("a_mask.png")) && !QFile::exists(path("b_mask.png")));
    }
#endif

    // Export, then import into a copy of the pictures: the same bytes through COCO and VOC,
    // and through YOLO for pieces without holes.
    void roundTripsGiveBackTheSameBytes_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("coco") << "coco";
        QTest::newRow("voc") << "voc";
        QTest::newRow("yolo") << "yolo";
    }
    void roundTripsGiveBackTheSameBytes()
    {
        QFETCH(QString, format);
        write(path("labels.txt"), "# ours\nroad\ncar\nperson\n");
        QImage numbers(40, 30, QImage::Format_Grayscale8);
        numbers.fill(0);
        for (int y = 2; y < 20; ++y)
            for (int x = 2; x < 30; ++x)
                numbers.scanLine(y)[x] = x < 12 ? 1 : (y < 10 ? 2 : 3);
        if (format != QLatin1String("yolo"))
            numbers.scanLine(5)[20] = 0; // a hole, which YOLO cannot hold
        for (const QString &name : {QStringLiteral("a.png"), QStringLiteral("b.jpg")}) {
            QVERIFY(MaskFile::write(ClassFiles::toIndexed(numbers),
                                    ClassFiles::mapPathFor(path(name))));
            QImage gray(40, 30, QImage::Format_Grayscale8);
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x)
                    gray.scanLine(y)[x] = numbers.constScanLine(y)[x] ? 255 : 0;
            QVERIFY(MaskFile::write(gray, MaskFile::pathFor(path(name))));
        }
        QTemporaryDir copy;
        for (const QString &name :
             {QStringLiteral("a.png"), QStringLiteral("b.jpg"), QStringLiteral("labels.txt")})
            QVERIFY(QFile::copy(path(name), copy.filePath(name)));
        const QString out = source->filePath(format == QLatin1String("coco") ? "out.json" : "out");
        QCOMPARE(velmora({"export", "--format", format, dir->path(), "-o", out}).status,
                 CommandLine::allWell);
        const Run run = velmora({"import", "--format", format, out, copy.path()});
        QVERIFY2(run.status == CommandLine::allWell, qPrintable(run.err));
        for (const QString &name : {QStringLiteral("a_labels.png"), QStringLiteral("a_mask.png"),
                                    QStringLiteral("b_labels.png"), QStringLiteral("b_mask.jpg"),
                                    QStringLiteral("labels.txt")})
            QVERIFY2(TestSupport::contents(copy.filePath(name)) ==
                         TestSupport::contents(path(name)),
                     qPrintable(name));
    }

    // 文件 > 导入标注… in the window: the format, the source and 替换 asked in one box, the
    // report after it, and the picture shown comes back with its new mask.
    void fromTheWindow()
    {
        write(source->filePath("classes.txt"), "road\ncar\n");
        write(source->filePath("a.txt"), "1 0.1 0.1 0.9 0.1 0.9 0.9\n");
        std::unique_ptr<MainWindow> window;
        std::unique_ptr<MainWindowProbe> probe;
        QVERIFY(showNewWindow(window, probe));
        window->openPicture(path("a.png"));
        QAction *import = nullptr;
        for (QAction *action : menuNamed(*window, QStringLiteral("文件"))->actions())
            if (action->text() == QStringLiteral("导入标注…"))
                import = action;
        QVERIFY(import);
        QTimer answer;
        bool asked = false;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!dialog || qobject_cast<QMessageBox *>(dialog) || asked)
                return;
            asked = true;
            auto *format = dialog->findChild<QComboBox *>();
            format->setCurrentIndex(1); // YOLO
            dialog->findChild<QLineEdit *>()->setText(source->path());
            auto *buttons = dialog->findChild<QDialogButtonBox *>();
            QVERIFY(buttons->button(QDialogButtonBox::Ok)->isEnabled());
            buttons->button(QDialogButtonBox::Ok)->click();
        });
        answer.start(20);
        TestSupport::BoxAnswerer boxes({QMessageBox::Ok});
        import->trigger();
        QVERIFY(asked);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().title, QStringLiteral("导入标注"));
        QVERIFY2(boxes.seen.first().text.contains(QStringLiteral("已导入 1 张图片")),
                 qPrintable(boxes.seen.first().text));
        const MaskDocument *document = probe->view()->getDocument();
        QVERIFY(document->hasClasses());
        QCOMPARE(int(document->mask().constScanLine(15)[20]), 2);
        QVERIFY(probe->folder()->entries().first().hasMask);
    }

private:
    QString path(const QString &name) const
    {
        return dir->filePath(name);
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QTemporaryDir> source;
};

QTEST_MAIN(TestImport)
#include "tst_import.moc"
