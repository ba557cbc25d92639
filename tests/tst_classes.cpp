// Classes: labels.txt, painting and region changes on the current class, the class map
// beside the mask, what happens when the two files disagree, and recovery copies.

#include "display/pyramid.h"
#include "document/maskdocument.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "folder/picturefolder.h"
#include "recovery/recovery.h"
#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QInputDialog>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

namespace {

// Every value of the layer, in reading order.
QByteArray bytesOf(const QImage &layer)
{
    QByteArray bytes;
    for (int y = 0; y < layer.height(); ++y)
        bytes.append(reinterpret_cast<const char *>(layer.constScanLine(y)), layer.width());
    return bytes;
}

// How many pixels of the layer hold each value: what the document's counts must say.
std::array<qint64, 256> histogramOf(const QImage &layer)
{
    std::array<qint64, 256> counts{};
    for (char value : bytesOf(layer))
        ++counts[uchar(value)];
    return counts;
}

uchar at(const QImage &layer, int x, int y)
{
    return layer.constScanLine(y)[x];
}

// Answers the next text question with `text`.
void answerText(const QString &text)
{
    QTimer::singleShot(50, [text] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialog->setTextValue(text);
        dialog->accept();
    });
}

} // namespace

class TestClasses : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        picture = dir->filePath(QStringLiteral("street.png"));
        QVERIFY(TestSupport::makePicture(120, 80).save(picture));
        QVERIFY(showNewWindow(window, probe));
        probe->classPanel()->protectBox()->setChecked(false);
    }
    void cleanup()
    {
        probe.reset();
        window.reset();
    }

    // The files kept for class numbers: with classes a class map of the numbers and a mask
    // wherever any class is; without, the mask alone, and an old class map goes; neither is
    // more open to others than the picture.
    void classNumbersAreStoredAsTheEditorKeepsThem_data()
    {
        QTest::addColumn<bool>("classes");
        QTest::newRow("with classes") << true;
        QTest::newRow("without classes") << false;
    }
    void classNumbersAreStoredAsTheEditorKeepsThem()
    {
        QFETCH(bool, classes);
        const QString picture = dir->filePath(QStringLiteral("n.png"));
        QVERIFY(TestSupport::makePicture(40, 30).save(picture));
        QVERIFY(QFile::setPermissions(picture, QFile::ReadOwner | QFile::WriteOwner));
        const QString mapPath = ClassFiles::mapPathFor(picture);
        QVERIFY(TestSupport::makePicture(40, 30).save(mapPath)); // an old class map
        QImage numbers(40, 30, QImage::Format_Grayscale8);
        numbers.fill(0);
        for (int x = 0; x < 10; ++x) {
            numbers.scanLine(5)[x] = 1;
            numbers.scanLine(20)[x + 20] = 2;
        }
        QString failed;
        QCOMPARE(ClassFiles::storeNumbers(numbers, picture, classes, &failed),
                 AtomicFile::Failure::None);
        const QImage mask(MaskFile::pathFor(picture));
        QCOMPARE(mask.pixelColor(3, 5).value(), 255);
        QCOMPARE(mask.pixelColor(25, 20).value(), 255);
        QCOMPARE(mask.pixelColor(3, 20).value(), 0);
        QCOMPARE(QFile::permissions(MaskFile::pathFor(picture)) &
                     (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());
        QCOMPARE(QFileInfo::exists(mapPath), classes);
        if (!classes)
            return;
        ClassFiles::MapStatus status;
        QCOMPARE(ClassFiles::readMap(mapPath, numbers.size(), &status), numbers);
    }

    void listParsing_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("plain") << QByteArray("road\ncar\nperson\n")
                               << QStringList{"road", "car", "person"};
        QTest::newRow("labelme header")
            << QByteArray("__ignore__\n_background_\nroad\ncar\n") << QStringList{"road", "car"};
        QTest::newRow("comments, blanks, CRLF, spaces")
            << QByteArray("# classes\r\n\r\n  road \r\n#car\r\nperson\r\n")
            << QStringList{"road", "person"};
        QTest::newRow("UTF-8") << QByteArray("道路\n汽车\npiéton\n")
                               << QStringList{"道路", "汽车", "piéton"};
        QTest::newRow("a later special name is a class")
            << QByteArray("road\n_background_\n") << QStringList{"road", "_background_"};
        QTest::newRow("empty") << QByteArray() << QStringList();
    }
    void listParsing()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, names);
        QCOMPARE(ClassFiles::parseList(text), names);
    }

    // Rewriting the list keeps what is not a class name where it was.
    void listRewriting_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("labelme header, a rename and an addition")
            << QByteArray("__ignore__\n_background_\nroad\ncar\n")
            << QStringList{"road", "truck", "person"}
            << QByteArray("__ignore__\n_background_\nroad\ntruck\nperson\n");
        QTest::newRow("comments and blank lines")
            << QByteArray("# street scenes\nroad\n\n# vehicles\ncar")
            << QStringList{"road", "car", "bus"}
            << QByteArray("# street scenes\nroad\n\n# vehicles\ncar\nbus\n");
        QTest::newRow("no file yet")
            << QByteArray() << QStringList{"road", "car"} << QByteArray("road\ncar\n");
        QTest::newRow("CRLF") << QByteArray("road\r\ncar\r\n") << QStringList{"road", "car", "bus"}
                              << QByteArray("road\r\ncar\r\nbus\r\n");
    }
    void listRewriting()
    {
        QFETCH(QByteArray, original);
        QFETCH(QStringList, names);
        QFETCH(QByteArray, written);
        QCOMPARE(ClassFiles::rewrittenList(original, names), written);
        QCOMPARE(ClassFiles::parseList(written), names);
    }

    void listFileMissingOrNotAFile()
    {
        const ClassFiles::List missing = ClassFiles::readList(dir->filePath("labels.txt"));
        QVERIFY(missing.names.isEmpty() && missing.readable && !missing.stamp.exists);
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("labels.txt")));
        const ClassFiles::List folder = ClassFiles::readList(dir->filePath("labels.txt"));
        QVERIFY(folder.names.isEmpty() && !folder.readable);
    }

    void vocPalette()
    {
        const QVector<QRgb> colours = ClassFiles::palette();
        QCOMPARE(colours.at(0), qRgb(0, 0, 0));
        QCOMPARE(colours.at(1), qRgb(128, 0, 0));
        QCOMPARE(colours.at(2), qRgb(0, 128, 0));
        QCOMPARE(colours.at(3), qRgb(128, 128, 0));
        QCOMPARE(colours.at(4), qRgb(0, 0, 128));
        QCOMPARE(colours.at(8), qRgb(64, 0, 0));
        QCOMPARE(colours.at(255), qRgb(224, 224, 192));
    }

    // Brush, eraser and lasso with and without protection, against the expected classes.
    void paintingOnTheCurrentClass_data()
    {
        QTest::addColumn<bool>("protect");
        QTest::addColumn<int>("overlap");     // the class where class 2 was painted over 1
        QTest::addColumn<int>("lassoErased"); // class 1 after the eraser's lasso (as class 2)
        QTest::newRow("free") << false << 2 << 0;
        QTest::newRow("protected") << true << 1 << 1;
    }
    void paintingOnTheCurrentClass()
    {
        QFETCH(bool, protect);
        QFETCH(int, overlap);
        QFETCH(int, lassoErased);
        openWithClasses("road\ncar\nperson\n");
        probe->classPanel()->protectBox()->setChecked(protect);
        VelmoraView &view = *probe->view();
        const QImage &layer = VelmoraViewProbe::mask(view);
        view.setMode(EditorMode::Doodle);
        view.setBrushSize(10);
        VelmoraViewProbe::stroke(view, QPointF(10, 20), QPointF(50, 20));
        QCOMPARE(at(layer, 30, 20), uchar(1));
        probe->classKeys().at(1)->trigger();
        QCOMPARE(probe->classLabel()->text(), QStringLiteral("类别：car"));
        VelmoraViewProbe::stroke(view, QPointF(30, 5), QPointF(30, 40));
        QCOMPARE(int(at(layer, 30, 20)), overlap);
        QCOMPARE(at(layer, 30, 35), uchar(2));
        QCOMPARE(at(layer, 12, 20), uchar(1));
        // Only the values 0, 1 and 2: no coverage ever shows through as a class.
        for (char value : bytesOf(layer))
            QVERIFY(uchar(value) <= 2);

        // The eraser clears any class; its lasso spares others when they are protected.
        view.setMode(EditorMode::Eraser);
        view.setEraserSize(6);
        VelmoraViewProbe::stroke(view, QPointF(45, 20), QPointF(45, 20.5));
        QCOMPARE(at(layer, 45, 20), uchar(0));
        VelmoraViewProbe::lasso(view,
                                {QPointF(5, 10), QPointF(22, 10), QPointF(22, 30), QPointF(5, 30)});
        QCOMPARE(int(at(layer, 12, 20)), lassoErased);
        QVERIFY(view.getDocument()->classPixels() == histogramOf(layer));
        view.undo();
        QVERIFY(view.getDocument()->classPixels() == histogramOf(layer));
    }

    // Region changes work on the current class; undo and redo give back every byte.
    void regionChangesAndHistory()
    {
        openWithClasses("road\ncar\n");
        VelmoraView &view = *probe->view();
        MaskDocument &document = *view.getDocument();
        const QImage &layer = document.mask();
        QImage first(120, 80, QImage::Format_Grayscale8);
        first.fill(0);
        for (int y = 10; y < 30; ++y)
            for (int x = 10; x < 30; ++x)
                first.scanLine(y)[x] = 255;
        QVERIFY(view.applyMask(first));
        document.setCurrentClass(2);
        QVector<QByteArray> states{bytesOf(layer)};
        Region::Piece piece{QImage(20, 20, QImage::Format_Grayscale8), QPoint(20, 20)};
        piece.mask.fill(255);
        QVERIFY(view.applyPiece(piece, true));
        states << bytesOf(layer);
        QCOMPARE(at(layer, 25, 25), uchar(2)); // class 2 took over class 1 where they met
        QCOMPARE(at(layer, 15, 15), uchar(1));

        // 反选 swaps class 2 and the background, and leaves class 1 alone.
        view.invertMask();
        states << bytesOf(layer);
        QCOMPARE(at(layer, 15, 15), uchar(1));
        QCOMPARE(at(layer, 25, 25), uchar(0));
        QCOMPARE(at(layer, 100, 70), uchar(2));
        view.invertMask();
        QCOMPARE(bytesOf(layer), states.at(1));

        // A change that changes nothing adds no step.
        const int depth = VelmoraViewProbe::undoDepth(view);
        QVERIFY(view.applyPiece(piece, true));
        QCOMPARE(VelmoraViewProbe::undoDepth(view), depth);

        // Grow works on class 2 only; with protection it does not cover class 1.
        probe->classPanel()->protectBox()->setChecked(true);
        view.transformMask([](const QImage &mask) { return Region::grown(mask, 3); });
        QVERIFY(QTest::qWaitFor([&] { return !view.isWorking(); }));
        QCOMPARE(at(layer, 18, 25), uchar(1)); // class 1, next to class 2
        QCOMPARE(at(layer, 41, 41), uchar(2));
        QCOMPARE(at(layer, 5, 5), uchar(0));
        QVERIFY(document.classPixels() == histogramOf(layer));

        for (int i = 0; i < 4; ++i)
            view.undo();
        QCOMPARE(bytesOf(layer), states.at(0));
        view.redo();
        QCOMPARE(bytesOf(layer), states.at(1));
        view.redo();
        QCOMPARE(bytesOf(layer), states.at(2));
        QVERIFY(document.classPixels() == histogramOf(layer));
    }

    // Both files written, read back by a plain reader, and read again on reopening.
    void savedFilesAndReopening()
    {
        openWithClasses("road\ncar\nperson\n");
        VelmoraView &view = *probe->view();
        QImage numbers(120, 80, QImage::Format_Grayscale8);
        numbers.fill(0);
        for (int x = 0; x < 120; ++x) {
            numbers.scanLine(5)[x] = 1;
            numbers.scanLine(40)[x] = 2;
            numbers.scanLine(79)[x] = 3;
        }
        QVERIFY(view.getDocument()->applyClasses(numbers));
        probe->quietSaveAction()->setChecked(true);
        probe->saveMask();
        QVERIFY(!view.isModified());

        const QString mapPath = dir->filePath(QStringLiteral("street_labels.png"));
        const QByteArray png = TestSupport::contents(mapPath);
        QCOMPARE(png.at(24), char(8)); // bit depth
        QCOMPARE(png.at(25), char(3)); // colour type: palette
        const QImage map = QImage(mapPath);
        QCOMPARE(map.format(), QImage::Format_Indexed8);
        QCOMPARE(map.color(1), qRgb(128, 0, 0));
        QCOMPARE(map.pixelIndex(7, 40), 2);
        QCOMPARE(map.pixelIndex(7, 79), 3);
        QCOMPARE(map.pixelIndex(7, 6), 0);
        const QImage mask = QImage(dir->filePath(QStringLiteral("street_mask.png")))
                                .convertToFormat(QImage::Format_Grayscale8);
        QCOMPARE(at(mask, 7, 5), uchar(255));
        QCOMPARE(at(mask, 7, 79), uchar(255));
        QCOMPARE(at(mask, 7, 6), uchar(0));

        // The folder list's row names the classes; reopening brings every class back.
        QVERIFY(showNewWindow(window, probe));
        window->openPicture(picture);
        QCOMPARE(bytesOf(probe->view()->getDocument()->mask()), bytesOf(numbers));
        QCOMPARE(probe->view()->getDocument()->classNames(),
                 QStringList({"road", "car", "person"}));
        const int row = probe->folder()->indexOf(picture);
        QCOMPARE(probe->folder()->entries().at(row).classes,
                 QStringList({"road", "car", "person"}));

        // An empty mask removes both files.
        probe->view()->clearMask();
        probe->quietSaveAction()->setChecked(true);
        probe->saveMask();
        QVERIFY(!QFile::exists(mapPath));
        QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("street_mask.png"))));
    }

    // Another program changed one of the files: no pixel of either is dropped, and numbers
    // beyond the list show as classes of their own.
    void filesThatDisagree()
    {
        writeList("road\ncar\n");
        QImage mask(120, 80, QImage::Format_Grayscale8);
        mask.fill(0);
        QImage numbers = mask;
        for (int x = 0; x < 120; ++x) {
            mask.scanLine(10)[x] = 255;  // in the mask alone
            numbers.scanLine(20)[x] = 2; // in the map alone
            numbers.scanLine(30)[x] = 4; // a number the list has no name for
            mask.scanLine(30)[x] = 255;
        }
        QVERIFY(mask.save(dir->filePath(QStringLiteral("street_mask.png"))));
        QVERIFY(ClassFiles::toIndexed(numbers).save(dir->filePath("street_labels.png")));
        window->openPicture(picture);
        const QImage &layer = probe->view()->getDocument()->mask();
        QCOMPARE(at(layer, 3, 10), uchar(1));
        QCOMPARE(at(layer, 3, 20), uchar(2));
        QCOMPARE(at(layer, 3, 30), uchar(4));
        QCOMPARE(probe->view()->getDocument()->classNames(),
                 QStringList({"road", "car", "3", "4"}));
        QVERIFY(probe->statusLabel()->text().contains(QStringLiteral("不一致")));
        const int row = probe->folder()->indexOf(picture);
        QVERIFY(probe->folder()->entries().at(row).classesDisagreed);
    }

    // A list of one class, or none, leaves the mask as it always was.
    void oneClassChangesNothing()
    {
        writeList("# only one\nroad\n");
        window->openPicture(picture);
        VelmoraView &view = *probe->view();
        QVERIFY(!view.getDocument()->hasClasses());
        QVERIFY(!probe->classLabel()->isVisible());
        view.setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(view, QPointF(10, 20), QPointF(50, 20));
        QCOMPARE(at(VelmoraViewProbe::mask(view), 30, 20), uchar(MaskFile::layerInside));

        // Adding a second class turns classes on: the mask becomes the first class, in the
        // history too, so undo gives back the empty mask.
        answerText(QStringLiteral("car"));
        probe->addClass();
        QVERIFY(view.getDocument()->hasClasses());
        QCOMPARE(ClassFiles::readList(dir->filePath("labels.txt")).names,
                 QStringList({"road", "car"}));
        QCOMPARE(at(VelmoraViewProbe::mask(view), 30, 20), uchar(1));
        QCOMPARE(view.getDocument()->currentClass(), 2);
        view.undo();
        QCOMPARE(at(VelmoraViewProbe::mask(view), 30, 20), uchar(0));
        view.redo();
        QCOMPARE(at(VelmoraViewProbe::mask(view), 30, 20), uchar(1));
    }

    // labels.txt changed by another program is not overwritten unasked.
    void listChangedOnDiskIsNotOverwrittenSilently()
    {
        openWithClasses("road\ncar\n");
        writeList("road\ncar\ntruck\n");
        TestSupport::BoxAnswerer boxes({QMessageBox::Cancel});
        answerText(QStringLiteral("person"));
        probe->addClass();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().title, QStringLiteral("类别列表已被修改"));
        QCOMPARE(ClassFiles::readList(dir->filePath("labels.txt")).names,
                 QStringList({"road", "car", "truck"}));
    }

    // A recovery copy keeps the classes.
    void recoveryCopyKeepsClasses()
    {
        openWithClasses("road\ncar\nperson\n");
        QImage numbers(120, 80, QImage::Format_Grayscale8);
        numbers.fill(0);
        for (int x = 0; x < 60; ++x)
            numbers.scanLine(3)[x] = uchar(1 + x % 3);
        MaskDocument &document = *probe->view()->getDocument();
        QVERIFY(document.applyClasses(numbers));
        const QString copy = dir->filePath(QStringLiteral("copy.png"));
        QVERIFY(MaskFile::write(ClassFiles::toIndexed(document.exportClasses()), copy));
        const QImage kept = Recovery::read(copy);
        QCOMPARE(kept.format(), QImage::Format_Indexed8);
        document.clear();
        QVERIFY(document.applyClasses(kept));
        QCOMPARE(bytesOf(document.mask()), bytesOf(numbers));
    }

    // A class map another program changed since it was read is not overwritten unasked, and
    // without the user's word neither file is written.
    void classMapChangedOnDiskAsksFirst()
    {
        openWithClasses("road\ncar\n");
        VelmoraView &view = *probe->view();
        view.setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(view, QPointF(10, 20), QPointF(50, 20));
        const QString mapPath = dir->filePath(QStringLiteral("street_labels.png"));
        QImage theirs(120, 80, QImage::Format_Grayscale8);
        theirs.fill(2);
        QVERIFY(ClassFiles::toIndexed(theirs).save(mapPath));
        const QByteArray before = TestSupport::contents(mapPath);
        probe->quietSaveAction()->setChecked(true);
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Cancel});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 1);
            QCOMPARE(boxes.seen.first().title, QStringLiteral("类别图已被修改"));
        }
        QCOMPARE(TestSupport::contents(mapPath), before);
        QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("street_mask.png"))));
        QVERIFY(view.isModified());
        TestSupport::BoxAnswerer boxes({QMessageBox::Yes});
        probe->saveMask();
        QVERIFY(!view.isModified());
        QCOMPARE(QImage(mapPath).pixelIndex(30, 20), 1);
    }

    // A class map is no picture of the folder; 导出类别图… writes the map where asked.
    void classMapIsNotListedAndExports()
    {
        openWithClasses("road\ncar\n");
        QImage numbers(120, 80, QImage::Format_Grayscale8);
        numbers.fill(0);
        numbers.scanLine(7)[9] = 2;
        QVERIFY(ClassFiles::toIndexed(numbers).save(dir->filePath("street_labels.png")));
        QVERIFY(TestSupport::makePicture(10, 10).save(dir->filePath("other.png")));
        QCOMPARE(PictureFolder::read(dir->path()).size(), 2);
        QVERIFY(probe->view()->getDocument()->applyClasses(numbers));
        const QString exported = dir->filePath(QStringLiteral("out/classes.png"));
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("out")));
        TestSupport::answerFileDialog(exported);
        QAction *exportAction = nullptr;
        for (QAction *action : menuNamed(*window, QStringLiteral("文件"))->actions())
            if (action->text() == QStringLiteral("导出类别图…"))
                exportAction = action;
        QVERIFY(exportAction && exportAction->isEnabled());
        exportAction->trigger();
        const QImage map(exported);
        QCOMPARE(map.format(), QImage::Format_Indexed8);
        QCOMPARE(map.pixelIndex(9, 7), 2);
        QCOMPARE(map.pixelIndex(10, 7), 0);
    }

    // Zoomed out, a reduced pixel of classes is one of the classes it covers, never a mean
    // that would be another class.
    void reducedCopiesKeepClassNumbers()
    {
        QImage classes(5, 3, QImage::Format_Alpha8);
        const uchar values[3][5] = {{1, 3, 0, 0, 2}, {0, 0, 0, 0, 0}, {0, 0, 2, 0, 1}};
        for (int y = 0; y < 3; ++y)
            memcpy(classes.scanLine(y), values[y], 5);
        QImage reduced(3, 2, QImage::Format_Alpha8);
        Display::reduceInto(classes, reduced, reduced.rect(), Display::Reduction::Highest);
        const uchar expected[2][3] = {{3, 0, 2}, {0, 2, 1}};
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                QCOMPARE(at(reduced, x, y), expected[y][x]);
    }

    // A renamed class keeps its colour; a hidden class shows again once it is painted.
    void renameKeepsColourAndPaintingShowsAHiddenClass()
    {
        openWithClasses("road\ncar\n");
        QTreeWidget *rows = probe->classPanel()->findChild<QTreeWidget *>();
        const QImage swatch = rows->topLevelItem(1)->icon(0).pixmap(14, 14).toImage();
        answerText(QStringLiteral("truck"));
        probe->renameClass(2);
        QCOMPARE(ClassFiles::readList(dir->filePath("labels.txt")).names,
                 QStringList({"road", "truck"}));
        QCOMPARE(rows->topLevelItem(1)->text(0), QStringLiteral("truck"));
        QCOMPARE(rows->topLevelItem(1)->icon(0).pixmap(14, 14).toImage(), swatch);

        rows->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
        probe->classKeys().at(1)->trigger();
        VelmoraView &view = *probe->view();
        view.setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(view, QPointF(10, 20), QPointF(50, 20));
        QCOMPARE(rows->topLevelItem(1)->checkState(0), Qt::Checked);
    }

    // Objects in the window: N starts one, the panel lists them under their class, the status
    // bar names the current one, Alt+click picks one, and the panel's menu deletes one.
    void objectsThroughTheWindow()
    {
        openWithClasses("road\ncar\n");
        QAction *newObject = nullptr;
        for (QAction *action : menuNamed(*window, QStringLiteral("掩膜"))->actions())
            if (action->text() == QStringLiteral("新对象"))
                newObject = action;
        QVERIFY(newObject);
        QCOMPARE(newObject->shortcut(), QKeySequence(Qt::Key_N));
        VelmoraView &view = *probe->view();
        view.setMode(EditorMode::Doodle);
        view.setBrushSize(10);
        newObject->trigger();
        VelmoraViewProbe::stroke(view, QPointF(10, 20), QPointF(50, 20));
        newObject->trigger();
        VelmoraViewProbe::stroke(view, QPointF(30, 5), QPointF(30, 40));
        QCOMPARE(probe->classLabel()->text(), QStringLiteral("类别：road  对象：2"));
        QTreeWidget *rows = probe->classPanel()->findChild<QTreeWidget *>();
        QTreeWidgetItem *road = rows->topLevelItem(0);
        QCOMPARE(road->childCount(), 2);
        QCOMPARE(road->child(0)->text(0), QStringLiteral("对象 1"));
        const MaskDocument *document = view.getDocument();
        QCOMPARE(road->child(1)->text(2), QLocale().toString(document->objectPixels(2)));

        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::AltModifier,
                          view.mapFromScene(QPointF(12.5, 20.5)));
        QCOMPARE(document->currentObject(), 1);
        QCOMPARE(probe->classLabel()->text(), QStringLiteral("类别：road  对象：1"));
        QCOMPARE(at(VelmoraViewProbe::mask(view), 12, 20), uchar(1)); // the click painted nothing

        road->child(0)->setSelected(true);
        const QList<QAction *> menu = rows->actions();
        QCOMPARE(menu.size(), 1);
        menu.first()->trigger();
        QCOMPARE(document->objectNumbers(), QVector<int>{2});
        QCOMPARE(road->childCount(), 1);
        QCOMPARE(at(VelmoraViewProbe::mask(view), 12, 20), uchar(0));
        view.undo();
        QCOMPARE(road->childCount(), 2);
    }

    // A list that is not UTF-8 is shown as read and never rewritten; a NUL byte does not cut
    // the names after it.
    void listsThatAreNotUtf8AreNeverRewritten_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("GBK") << QByteArray("\xb5\xc0\xc2\xb7\n\xc6\xfb\xb3\xb5\n")
                             << QStringList{QString(), QString()};
        QTest::newRow("UTF-16") << QByteArray("\xff\xfer\0o\0a\0d\0\n\0c\0a\0r\0\n\0", 22)
                                << QStringList{QString(), QString(), QString()};
        QTest::newRow("a NUL byte") << QByteArray("road\ncar\0\ntruck\nbus\n", 19)
                                    << QStringList{"road", QString(), "truck", "bus"};
    }
    void listsThatAreNotUtf8AreNeverRewritten()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, shown);
        writeList(text);
        window->openPicture(picture);
        const ClassFiles::List list = ClassFiles::readList(dir->filePath("labels.txt"));
        QVERIFY(!list.rewritable);
        QCOMPARE(list.names.size(), shown.size());
        for (int i = 0; i < shown.size(); ++i)
            if (!shown.at(i).isEmpty())
                QCOMPARE(list.names.at(i), shown.at(i));
        TestSupport::BoxAnswerer boxes({QMessageBox::Ok});
        answerText(QStringLiteral("person"));
        probe->addClass();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().title, QStringLiteral("类别列表未改动"));
        QVERIFY(boxes.seen.first().text.contains(QStringLiteral("UTF-8")));
        QCOMPARE(TestSupport::contents(dir->filePath("labels.txt")), text);
    }

    // labels.txt reordered (or a name taken out) while the picture is open: the classes are
    // matched by name before saving, so each saved number means the class the user saw.
    void aListChangedUnderAnOpenPictureIsMatchedByName_data()
    {
        QTest::addColumn<QByteArray>("changed");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("boxes");
        QTest::newRow("reordered") << QByteArray("# ours\ncar\nperson\nroad\n")
                                   << QStringList{"car", "person", "road"} << 0;
        QTest::newRow("a name gone")
            << QByteArray("car\nperson\n") << QStringList{"car", "person", "road"} << 1;
        QTest::newRow("removed") << QByteArray() << QStringList{"road", "car"} << 1;
    }
    void aListChangedUnderAnOpenPictureIsMatchedByName()
    {
        QFETCH(QByteArray, changed);
        QFETCH(QStringList, after);
        QFETCH(int, boxes);
        openWithClasses("road\ncar\nperson\n");
        VelmoraView &view = *probe->view();
        view.setMode(EditorMode::Doodle);
        probe->classKeys().at(0)->trigger(); // road
        VelmoraViewProbe::stroke(view, QPointF(10, 20), QPointF(50, 20));
        probe->classKeys().at(1)->trigger(); // car
        VelmoraViewProbe::stroke(view, QPointF(10, 60), QPointF(50, 60));
        if (changed.isEmpty())
            QVERIFY(QFile::remove(dir->filePath("labels.txt")));
        else
            writeList(changed);
        probe->quietSaveAction()->setChecked(true);
        TestSupport::BoxAnswerer answers({QMessageBox::Ok});
        probe->saveMask();
        QCOMPARE(answers.seen.size(), boxes);
        if (boxes)
            QVERIFY(answers.seen.first().text.contains(QStringLiteral("road")) ||
                    answers.seen.first().text.contains(QStringLiteral("car")));
        const QStringList list = ClassFiles::readList(dir->filePath("labels.txt")).names;
        QCOMPARE(list, after);
        ClassFiles::MapStatus status;
        const QImage map =
            ClassFiles::readMap(dir->filePath("street_labels.png"), QSize(120, 80), &status);
        QCOMPARE(status, ClassFiles::MapStatus::Read);
        QCOMPARE(list.value(at(map, 30, 20) - 1), QStringLiteral("road"));
        QCOMPARE(list.value(at(map, 30, 60) - 1), QStringLiteral("car"));
        QCOMPARE(view.getDocument()->classNames().mid(0, list.size()), list);
        QVERIFY(!view.isModified());
    }

    // A class map whose labels.txt went away still opens as classes; erasing and saving
    // keeps both files in step, and a mask without classes takes an old class map away.
    void aClassMapNeverGoesStale()
    {
        QImage numbers(120, 80, QImage::Format_Grayscale8);
        numbers.fill(0);
        QImage mask = numbers;
        for (int x = 0; x < 60; ++x) {
            numbers.scanLine(10)[x] = 2;
            numbers.scanLine(40)[x] = 3;
            mask.scanLine(10)[x] = mask.scanLine(40)[x] = 255;
        }
        const QString mapPath = dir->filePath("street_labels.png");
        const QString maskPath = dir->filePath("street_mask.png");
        QVERIFY(ClassFiles::toIndexed(numbers).save(mapPath));
        QVERIFY(mask.save(maskPath));
        window->openPicture(picture);
        VelmoraView &view = *probe->view();
        QVERIFY(view.getDocument()->hasClasses());
        QCOMPARE(at(view.getDocument()->mask(), 5, 40), uchar(3));
        view.setMode(EditorMode::Eraser);
        view.setEraserSize(20);
        VelmoraViewProbe::stroke(view, QPointF(1, 40), QPointF(70, 40));
        probe->quietSaveAction()->setChecked(true);
        probe->saveMask();
        // Both files agree: the erased row is gone from either.
        ClassFiles::MapStatus status;
        const QImage map = ClassFiles::readMap(mapPath, QSize(120, 80), &status);
        QCOMPARE(at(map, 5, 40), uchar(0));
        QCOMPARE(at(map, 5, 10), uchar(2));
        QCOMPARE(at(MaskFile::readLayer(maskPath, QSize(120, 80)), 5, 40), uchar(0));

        // A class map left beside a plain mask (written by another program) goes at the
        // next save, so the erased pixels can't come back.
        numbers.fill(0);
        numbers.scanLine(70)[5] = 1;
        QVERIFY(ClassFiles::toIndexed(numbers).save(mapPath));
        window->openPicture(picture);
        QVERIFY(!view.getDocument()->hasClasses());
        view.setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(view, QPointF(100, 5), QPointF(110, 5));
        probe->saveMask();
        QVERIFY(!QFile::exists(mapPath));
        QCOMPARE(at(MaskFile::readLayer(maskPath, QSize(120, 80)), 5, 70), uchar(0));

        // A folder under the class map's name is no class map: it stays, and the mask saves.
        QVERIFY(QDir().mkdir(mapPath));
        VelmoraViewProbe::stroke(view, QPointF(100, 40), QPointF(110, 40));
        probe->saveMask();
        QVERIFY(!view.isModified());
        QVERIFY(QFileInfo(mapPath).isDir());
        QCOMPARE(at(MaskFile::readLayer(maskPath, QSize(120, 80)), 105, 40),
                 uchar(MaskFile::layerInside));
    }

private:
    void writeList(const QByteArray &text)
    {
        QFile list(dir->filePath(QStringLiteral("labels.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Truncate));
        list.write(text);
    }
    void openWithClasses(const QByteArray &text)
    {
        writeList(text);
        window->openPicture(picture);
        QVERIFY(probe->view()->getDocument()->hasClasses());
    }

    std::unique_ptr<QTemporaryDir> dir;
    QString picture;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
};

QTEST_MAIN(TestClasses)
#include "tst_classes.moc"
