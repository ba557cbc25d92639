// Objects within classes, on the document alone: made, added to, picked, taken over,
// protected, erased, deleted and undone, each checked against maps made by hand. What can go
// wrong is an object that swallows its neighbour, a pixel whose object and class disagree,
// or an undo that does not give both layers back byte for byte.

#include "document/maskdocument.h"
#include "document/maskedit.h"
#include "document/regionwork.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "folder/picturefolder.h"
#include "recovery/recovery.h"
#include "support/scriptedasker.h"
#include "support/testfiles.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using Topic = SessionAsker::Topic;

constexpr int width = 40;
constexpr int height = 30;

// A document of a blank picture with the classes "car" and "tree".
void openBlank(MaskDocument &document)
{
    PictureFile::WithMask read;
    read.picture = TestSupport::makePicture(width, height);
    read.mask = QImage(width, height, MaskFile::layerFormat);
    read.mask.fill(0);
    read.classNames = QStringList{QStringLiteral("car"), QStringLiteral("tree")};
    QVERIFY(document.load(QStringLiteral("blank.png"), std::move(read)));
}

// One stroke covering `area` fully, as the brush (or the eraser) gives it.
void paint(MaskDocument &document, const QRect &area, bool erase = false)
{
    MaskEdit *stroke = document.beginStroke();
    QVERIFY(stroke);
    QVERIFY(stroke->prepare(area).isEmpty());
    QImage cover(area.size(), MaskFile::layerFormat);
    cover.fill(255);
    document.putCoverage(area, cover, erase, false);
    document.endStroke();
}

// Objects 1 and 2 of the first class, 10 x 10 each, side by side from the corner.
void paintTwoObjects(MaskDocument &document)
{
    for (int left : {0, 10}) {
        QVERIFY(document.newObject());
        paint(document, QRect(left, 0, 10, 10));
    }
}

quint16 objectOf(const MaskDocument &document, int x, int y)
{
    return reinterpret_cast<const quint16 *>(document.objects().constScanLine(y))[x];
}

uchar classOf(const MaskDocument &document, int x, int y)
{
    return document.mask().constScanLine(y)[x];
}

// The objects as text, a row a line: '.' for none, else the object's number.
QString objectRows(const MaskDocument &document, QRect area)
{
    QString rows;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            rows += objectOf(document, x, y) ? QChar('0' + objectOf(document, x, y)) : QChar('.');
        rows += QLatin1Char('\n');
    }
    return rows;
}

// Every pixel of an object is of the object's class.
bool objectsAgree(const MaskDocument &document)
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (objectOf(document, x, y) &&
                document.classOfObject(objectOf(document, x, y)) != classOf(document, x, y))
                return false;
    return true;
}

// A picture "street.png" with the classes "car" and "tree", two touching cars painted as
// two objects and saved beside it.
struct SavedStreet
{
    QTemporaryDir dir;
    QString picture;
    TestSupport::ScriptedAsker asker;
    PictureSession session{asker, QStringList{}};

    SavedStreet()
    {
        picture = dir.filePath(QStringLiteral("street.png"));
        QFile list(dir.filePath(QStringLiteral("labels.txt")));
        if (!TestSupport::makePicture(width, height).save(picture) ||
            !list.open(QIODevice::WriteOnly) || list.write("car\ntree\n") != 9)
            return;
        list.close();
        if (!TestSupport::openIn(session, picture))
            return;
        paintTwoObjects(*session.document());
        session.store();
    }
    QString objectsPath() const { return ClassFiles::objectsPathFor(picture); }
};

} // namespace

class TestObjects : public QObject
{
    Q_OBJECT

private slots:
    void aPictureWithoutObjectsHasNoObjectLayer()
    {
        MaskDocument document;
        openBlank(document);
        paint(document, QRect(0, 0, 10, 10));
        QVERIFY(!document.hasObjectLayer());
        QVERIFY(!document.hasObjects());
        QVERIFY(document.exportObjects().isNull());
        QCOMPARE(classOf(document, 5, 5), uchar(1));
    }

    void touchingObjectsOfOneClassStayTwo()
    {
        MaskDocument document;
        openBlank(document);
        QVERIFY(document.newObject());
        QCOMPARE(document.currentObject(), 1);
        paint(document, QRect(0, 0, 4, 2));
        // Later gestures add to the object under way.
        paint(document, QRect(0, 2, 2, 1));
        QVERIFY(document.newObject());
        QCOMPARE(document.currentObject(), 2);
        // The second object takes the pixels it covers from the first.
        paint(document, QRect(3, 0, 3, 3));
        QCOMPARE(objectRows(document, QRect(0, 0, 7, 3)), QStringLiteral("111222.\n"
                                                                         "111222.\n"
                                                                         "11.222.\n"));
        QCOMPARE(document.objectPixels(1), qint64(8));
        QCOMPARE(document.objectPixels(2), qint64(9));
        QCOMPARE(document.objectNumbers(1), (QVector<int>{1, 2}));
        QCOMPARE(document.classPixels()[1], qint64(17));
        QVERIFY(objectsAgree(document));

        // Alt+click's pick: the object under the point, and its class becomes current.
        document.setCurrentClass(2);
        QCOMPARE(document.currentObject(), 0);
        QCOMPARE(document.objectAt(QPoint(1, 1)), 1);
        document.setCurrentObject(document.objectAt(QPoint(1, 1)));
        QCOMPARE(document.currentObject(), 1);
        QCOMPARE(document.currentClass(), 1);
        QCOMPARE(document.objectAt(QPoint(30, 20)), 0);

        // What is saved keeps both, numbered as made.
        const QImage saved = document.exportObjects();
        QCOMPARE(saved.format(), QImage::Format_Grayscale16);
        QCOMPARE(reinterpret_cast<const quint16 *>(saved.constScanLine(0))[4], quint16(2));
    }

    void protectionKeepsOtherObjectsAndTheEraserTakesTheCurrentOne()
    {
        MaskDocument document;
        openBlank(document);
        document.newObject();
        paint(document, QRect(0, 0, 10, 10));
        document.newObject();
        document.setProtectOthers(true);
        paint(document, QRect(5, 0, 10, 10));
        // Protected, object 1 keeps its pixels; object 2 has the background only.
        QCOMPARE(document.objectPixels(1), qint64(100));
        QCOMPARE(document.objectPixels(2), qint64(50));
        // The eraser over both takes the current object's pixels alone.
        paint(document, QRect(0, 0, 20, 5), true);
        QCOMPARE(document.objectPixels(1), qint64(100));
        QCOMPARE(document.objectPixels(2), qint64(25));
        QCOMPARE(classOf(document, 12, 2), uchar(0));
        QCOMPARE(objectOf(document, 12, 2), quint16(0));
        // Plain class pixels (another class, no object) over an unprotected object take
        // the pixels from it.
        document.setProtectOthers(false);
        document.setCurrentClass(2);
        paint(document, QRect(0, 0, 2, 2));
        QCOMPARE(document.objectPixels(1), qint64(96));
        QCOMPARE(objectOf(document, 0, 0), quint16(0));
        QVERIFY(objectsAgree(document));
    }

    void undoAndRedoGiveBothLayersBackByteForByte()
    {
        MaskDocument document;
        openBlank(document);
        paint(document, QRect(20, 20, 5, 5)); // before any object: no object layer yet
        document.newObject();
        paint(document, QRect(0, 0, 8, 8));
        document.newObject();
        paint(document, QRect(4, 4, 8, 8));
        const QImage classes = document.mask().copy();
        const QImage objects = document.objects().copy();
        QVERIFY(document.deleteObject(1));
        QCOMPARE(document.objectPixels(1), qint64(0));
        QCOMPARE(classOf(document, 0, 0), uchar(0));
        QCOMPARE(document.currentObject(), 2);
        document.undo();
        QCOMPARE(document.mask(), classes);
        QCOMPARE(document.objects(), objects);
        QCOMPARE(document.objectPixels(1), qint64(64 - 16));
        document.undo();
        document.undo();
        document.undo();
        QCOMPARE(document.objectNumbers(), QVector<int>());
        QCOMPARE(TestSupport::maskedPixels(document.mask()), 0);
        for (int i = 0; i < 3; ++i)
            document.redo();
        QCOMPARE(document.mask(), classes);
        QCOMPARE(document.objects(), objects);
        QCOMPARE(document.objectPixels(2), qint64(64));
        // A new object after undo gets a number no step holds.
        document.undo();
        QVERIFY(document.newObject());
        QCOMPARE(document.currentObject(), 3);
    }

    void regionChangesWorkOnTheCurrentObject()
    {
        MaskDocument document;
        openBlank(document);
        paintTwoObjects(document);
        // The region changes read the current object alone, and give it back.
        const QImage current = document.exportCurrent();
        QCOMPARE(TestSupport::maskedPixels(current), 100);
        QCOMPARE(current.constScanLine(5)[15], uchar(255));
        QImage grown = TestSupport::maskOfRows(QSize(width, height), 0);
        for (int y = 0; y < 12; ++y)
            for (int x = 8; x < 22; ++x)
                grown.scanLine(y)[x] = 255;
        QVERIFY(document.applyMask(grown));
        // Object 2 grew over part of object 1 (unprotected) and the background.
        QCOMPARE(document.objectPixels(2), qint64(14 * 12));
        QCOMPARE(document.objectPixels(1), qint64(80));
        QVERIFY(objectsAgree(document));
        // Invert swaps the current object and the rest it may take.
        document.setProtectOthers(true);
        QVERIFY(document.invert());
        QCOMPARE(document.objectPixels(2), qint64(width * height - 80 - 14 * 12));
        QCOMPARE(document.objectPixels(1), qint64(80));
        QVERIFY(objectsAgree(document));
        // Without an object chosen, classes put on whole drop the objects they change.
        document.setCurrentObject(0);
        QImage numbers(width, height, QImage::Format_Grayscale8);
        numbers.fill(2);
        QVERIFY(document.applyClasses(numbers));
        QVERIFY(!document.hasObjects());
        QVERIFY(objectsAgree(document));
        document.undo();
        QCOMPARE(document.objectPixels(1), qint64(80));
    }

    void anObjectMapThatDisagreesWithItsClassesIsMended()
    {
        // An object over two classes keeps the class of its first pixel; its pixels in the
        // other class, and object pixels without any class, belong to no object.
        PictureFile::WithMask read;
        read.picture = TestSupport::makePicture(4, 1);
        read.mask = QImage(4, 1, MaskFile::layerFormat);
        const uchar classes[4] = {1, 2, 0, 1};
        std::copy(classes, classes + 4, read.mask.scanLine(0));
        read.classNames = QStringList{QStringLiteral("a"), QStringLiteral("b")};
        read.objects = QImage(4, 1, QImage::Format_Grayscale16);
        const quint16 objects[4] = {7, 7, 7, 9};
        std::copy(objects, objects + 4, reinterpret_cast<quint16 *>(read.objects.scanLine(0)));
        MaskDocument document;
        QVERIFY(document.load(QStringLiteral("odd.png"), std::move(read)));
        QCOMPARE(document.objectNumbers(), (QVector<int>{7, 9}));
        QCOMPARE(document.objectPixels(7), qint64(1));
        QCOMPARE(document.classOfObject(9), 1);
        // New objects are numbered past those read.
        QVERIFY(document.newObject());
        QCOMPARE(document.currentObject(), 10);
    }

    void theObjectMapIsWrittenReadBackAndRemovedWhenNoObjectIsLeft()
    {
        SavedStreet street;
        QVERIFY(QFileInfo::exists(street.objectsPath()));
        // 16-bit grey, read back by Qt's own decoder (not the one that wrote it) exactly.
        QImageReader reader(street.objectsPath());
        QCOMPARE(reader.imageFormat(), QImage::Format_Grayscale16);
        const QImage written = street.session.document()->objects().copy();
        ClassFiles::MapStatus status;
        QCOMPARE(ClassFiles::readObjects(street.objectsPath(), QSize(width, height), &status),
                 written);
        // The mask and class map stay as they are: one class, one mask.
        QCOMPARE(TestSupport::maskedPixels(QImage(MaskFile::pathFor(street.picture))), 200);
        // Reopened, both objects come back with their numbers and class.
        TestSupport::ScriptedAsker asker;
        PictureSession again(asker, QStringList{});
        QVERIFY(TestSupport::openIn(again, street.picture));
        QCOMPARE(again.document()->objects(), written);
        QCOMPARE(again.document()->objectNumbers(1), (QVector<int>{1, 2}));
        QCOMPARE(again.document()->objectPixels(2), qint64(100));
        // The folder lists the picture alone.
        const QVector<FolderEntry> entries = PictureFolder::read(street.dir.path());
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.first().name, QStringLiteral("street.png"));
        // Every object deleted, the object map goes; the class map stays.
        QVERIFY(again.document()->deleteObject(1));
        QVERIFY(again.document()->deleteObject(2));
        paint(*again.document(), QRect(0, 20, 5, 5));
        QVERIFY(again.store().went);
        QVERIFY(!QFileInfo::exists(street.objectsPath()));
        QVERIFY(QFileInfo::exists(ClassFiles::mapPathFor(street.picture)));
        QVERIFY(asker.asked.isEmpty());
    }

    // The object map is guarded as the class map is: one changed behind the session's back,
    // or one that could not be read, is replaced or removed only when the user says so.
    void anObjectMapTheSessionDidNotWriteIsReplacedOnlyWithConsent_data()
    {
        QTest::addColumn<QByteArray>("otherBytes");
        QTest::addColumn<int>("topic");
        QTest::newRow("changed") << QByteArray() << int(Topic::ReplaceChangedObjects);
        QTest::newRow("unreadable") << QByteArray("not a png") << int(Topic::ReplaceUnreadObjects);
    }
    void anObjectMapTheSessionDidNotWriteIsReplacedOnlyWithConsent()
    {
        QFETCH(QByteArray, otherBytes);
        QFETCH(int, topic);
        SavedStreet street;
        if (!otherBytes.isEmpty()) {
            // Damaged before the picture is opened: never shown, never replaced unasked.
            QFile file(street.objectsPath());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(otherBytes);
            file.close();
            QVERIFY(TestSupport::openIn(street.session, street.picture));
            QVERIFY(!street.session.document()->hasObjects());
        } else {
            // Another program writes other objects while the picture is open.
            QImage other(width, height, QImage::Format_Grayscale16);
            other.fill(7);
            QTest::qWait(20);
            QVERIFY(other.save(street.objectsPath()));
        }
        const QByteArray before = TestSupport::contents(street.objectsPath());
        MaskDocument &document = *street.session.document();
        document.newObject();
        paint(document, QRect(0, 20, 5, 5));
        QVERIFY(!street.session.store().went);
        QCOMPARE(street.asker.asked, QList<Topic>{Topic(topic)});
        QCOMPARE(TestSupport::contents(street.objectsPath()), before);
        street.asker.answers[Topic(topic)] = true;
        QVERIFY(street.session.store().went);
        ClassFiles::MapStatus status;
        QCOMPARE(ClassFiles::readObjects(street.objectsPath(), QSize(width, height), &status),
                 document.exportObjects());
    }

#ifdef Q_OS_LINUX
    // A full disk while the object map is written: the old one stays whole, and so does the
    // mask file written after it; the work stays unsaved.
    void aFullDiskLeavesTheObjectMapWhole()
    {
        SavedStreet street;
        const QByteArray objectsBefore = TestSupport::contents(street.objectsPath());
        const QByteArray maskBefore = TestSupport::contents(MaskFile::pathFor(street.picture));
        MaskDocument &document = *street.session.document();
        // Objects of one pixel each, numbered in a scrambled order, so the map can't compress
        // below the limit; the class map can.
        for (int i = 0; i < 600; ++i) {
            QVERIFY(document.newObject());
            const int at = i * 37 % 600;
            paint(document, QRect(at % 40, 10 + at / 40, 1, 1));
        }
        PictureSession::Stored stored;
        TestSupport::withFileSizeLimit(800, [&] { stored = street.session.store(); });
        QVERIFY(stored.went);
        QCOMPARE(stored.outcome, MaskFile::StoreOutcome::WriteFailed);
        QCOMPARE(TestSupport::contents(street.objectsPath()), objectsBefore);
        QCOMPARE(TestSupport::contents(MaskFile::pathFor(street.picture)), maskBefore);
        QVERIFY(document.isModified());
        // With room again, the next save writes all, asking nothing.
        QVERIFY(street.session.store().went);
        QVERIFY(street.asker.asked.isEmpty());
        ClassFiles::MapStatus status;
        QCOMPARE(ClassFiles::readObjects(street.objectsPath(), QSize(width, height), &status),
                 document.exportObjects());
    }
#endif

    void theRecoveryCopyKeepsObjects()
    {
        MaskDocument document;
        openBlank(document);
        paintTwoObjects(document);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("copy.png"));
        const QImage copy =
            Recovery::withObjects(document.exportClasses(), document.exportObjects());
        QVERIFY(MaskFile::write(copy, file, {{QStringLiteral("Picture"), QStringLiteral("x")}}));
        QImage classes;
        QImage objects;
        QVERIFY(Recovery::splitObjects(Recovery::read(file), &classes, &objects));
        QCOMPARE(classes, document.exportClasses());
        QCOMPARE(objects, document.exportObjects());
        // Put back on a picture without objects, as one step.
        MaskDocument restored;
        openBlank(restored);
        QVERIFY(restored.applyClasses(classes, objects));
        QCOMPARE(restored.objects(), document.objects());
        QCOMPARE(restored.objectNumbers(), (QVector<int>{1, 2}));
        restored.undo();
        QVERIFY(!restored.hasObjects());
    }

    // Shift+D carries each object as a piece of its own: two touching objects arrive as two,
    // with their numbers, fitted or not.
    void carriedObjectsStayApart_data()
    {
        QTest::addColumn<bool>("snap");
        QTest::newRow("as they were") << false;
        QTest::newRow("fitted") << true;
    }
    void carriedObjectsStayApart()
    {
        QFETCH(bool, snap);
        SavedStreet street;
        const QString next = street.dir.filePath(QStringLiteral("street2.png"));
        QVERIFY(QFile::copy(street.picture, next));
        QVERIFY(TestSupport::openIn(street.session, next));
        MaskDocument &document = *street.session.document();
        QVERIFY(!document.hasObjects());
        QSignalSpy carried(&document.regions(), &RegionWork::carried);
        QCOMPARE(street.session.carryFromLast(snap), PictureSession::Carry::Started);
        QVERIFY(carried.count() == 1 || carried.wait(20000));
        QCOMPARE(document.objectNumbers(1), (QVector<int>{1, 2}));
        QVERIFY(objectsAgree(document));
        QCOMPARE(document.objectAt(QPoint(5, 5)), 1);
        QCOMPARE(document.objectAt(QPoint(15, 5)), 2);
        if (!snap) {
            QCOMPARE(document.objectPixels(1), qint64(100));
            QCOMPARE(document.objectPixels(2), qint64(100));
        }
        // One step takes both back.
        document.undo();
        QVERIFY(!document.hasObjects());
    }

    void objectsNeedClasses()
    {
        MaskDocument document;
        PictureFile::WithMask read;
        read.picture = TestSupport::makePicture(8, 8);
        read.mask = QImage(8, 8, MaskFile::layerFormat);
        read.mask.fill(0);
        QVERIFY(document.load(QStringLiteral("plain.png"), std::move(read)));
        QVERIFY(!document.newObject());
        QVERIFY(!document.hasObjectLayer());
    }
};

QTEST_GUILESS_MAIN(TestObjects)
#include "tst_objects.moc"
