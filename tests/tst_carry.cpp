// Carrying a mask to the next frame: between pictures of the same and of other sizes, as one
// step undo takes back, with classes; fitting on frames whose truth is known exactly, the
// fallback for pieces fitting would lose, and Esc.

#include "document/maskdocument.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "folder/reviewmarks.h"
#include "region/regionops.h"
#include "sequence/fillbetween.h"
#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

// A frame: a background of fine stripes, and a disc of blotches of its own at `centre`.
// `truth` gets the disc as class 1.
QImage frame(QSize size, QPointF centre, double radius, QImage *truth)
{
    QImage picture(size, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < size.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            row[x] = ((x + y) / 3) % 2 ? qRgb(40, 110, 60) : qRgb(70, 140, 80);
    }
    *truth = QImage(size, QImage::Format_Grayscale8);
    truth->fill(0);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const double dx = x + 0.5 - centre.x(), dy = y + 0.5 - centre.y();
            if (dx * dx + dy * dy > radius * radius)
                continue;
            // The object's texture moves with it.
            const int u = int(dx + 1000) / 5, v = int(dy + 1000) / 5;
            picture.setPixel(x, y, (u * 7 + v * 3) % 4 ? qRgb(200, 60, 40) : qRgb(230, 180, 40));
            truth->scanLine(y)[x] = 1;
        }
    return picture;
}

double iou(const QImage &a, const QImage &b)
{
    qint64 both = 0, either = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const bool in = a.constScanLine(y)[x], known = b.constScanLine(y)[x];
            both += in && known;
            either += in || known;
        }
    return either ? double(both) / either : 1.0;
}

// A photo-like scene: blotches of a few sizes in many colours, the same for a seed.
QImage blotches(QSize size, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage scene(size, QImage::Format_RGB32);
    scene.fill(Qt::gray);
    QPainter painter(&scene);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < size.width() * size.height() / 150; ++i) {
        painter.setBrush(QColor::fromRgb(random.generate() | 0xff000000u));
        const double r = 2 + random.bounded(9.0);
        painter.drawEllipse(QPointF(random.bounded(size.width()), random.bounded(size.height())), r,
                            r);
    }
    return scene;
}

// `scene` as a camera at `camera` sees it, `size` big.
QImage shot(const QImage &scene, QSize size, const QTransform &camera)
{
    QImage picture(size, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(camera);
    painter.drawImage(0, 0, scene);
    return picture;
}

// What `draw` covers through `m`, as class `value` over `numbers` (8-bit).
void paintClass(QImage &numbers, uchar value, const QTransform &m,
                const std::function<void(QPainter &)> &draw)
{
    QImage cover(numbers.size(), QImage::Format_ARGB32_Premultiplied);
    cover.fill(Qt::transparent);
    QPainter painter(&cover);
    painter.setTransform(m);
    draw(painter);
    painter.end();
    for (int y = 0; y < numbers.height(); ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(cover.constScanLine(y));
        uchar *to = numbers.scanLine(y);
        for (int x = 0; x < numbers.width(); ++x)
            if (qAlpha(from[x]) >= 128)
                to[x] = value;
    }
}

QImage noClasses(QSize size)
{
    QImage numbers(size, QImage::Format_Grayscale8);
    numbers.fill(0);
    return numbers;
}

// IoU of the pixels of class `value` in `a` and in `b`.
double classIou(const QImage &a, const QImage &b, uchar value)
{
    qint64 both = 0, either = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const bool in = a.constScanLine(y)[x] == value, known = b.constScanLine(y)[x] == value;
            both += in && known;
            either += in || known;
        }
    return either ? double(both) / either : 1.0;
}

// A brush stroke 10 pixels wide across the scene, and a round object.
void drawStroke(QPainter &painter)
{
    QPainterPath path(QPointF(60, 250));
    path.cubicTo(QPointF(150, 180), QPointF(260, 320), QPointF(400, 240));
    painter.strokePath(path, QPen(Qt::white, 10, Qt::SolidLine, Qt::RoundCap));
}

void drawObject(QPainter &painter)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(300, 110), 55, 45);
}

QTransform camera(QPointF pan, double zoom, double degrees)
{
    QTransform m;
    m.translate(240, 180);
    m.rotate(degrees);
    m.scale(zoom, zoom);
    m.translate(-240 - pan.x(), -180 - pan.y());
    return m;
}

// Class numbers saved as a mask file: 255 wherever any class is.
bool saveAsMask(const QImage &numbers, const QString &path)
{
    QImage saved = numbers.copy();
    for (int y = 0; y < saved.height(); ++y)
        for (int x = 0; x < saved.width(); ++x)
            saved.scanLine(y)[x] = saved.scanLine(y)[x] ? 255 : 0;
    return saved.save(path);
}

// A disc of class `value` at `centre` over `numbers`.
void paintDisc(QImage &numbers, uchar value, QPointF centre, double radius)
{
    paintClass(numbers, value, QTransform(), [&](QPainter &painter) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(centre, radius, radius);
    });
}

QAction *actionNamed(MainWindow &window, const QString &menu, const QString &text)
{
    for (QAction *action : menuNamed(window, menu)->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

class TestCarry : public QObject
{
    Q_OBJECT

    // Opens a.png and goes to b.png with Shift+D, fitting on.
    void carryFromAToB()
    {
        actionNamed(*window, QStringLiteral("掩膜"), QStringLiteral("带入后贴合"))
            ->setChecked(true);
        window->openPicture(dir->filePath(QStringLiteral("a.png")));
        actionNamed(*window, QStringLiteral("文件"), QStringLiteral("下一张并带入掩膜"))->trigger();
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        QVERIFY(showNewWindow(window, probe));
        actionNamed(*window, QStringLiteral("掩膜"), QStringLiteral("带入后贴合"))
            ->setChecked(false);
    }
    void cleanup()
    {
        probe.reset();
        window.reset();
    }

    // An object that moved and grew a little is followed; the plain copy is not as close.
    void fittingFollowsAMovedObject_data()
    {
        QTest::addColumn<QPointF>("move");
        QTest::addColumn<double>("growth");
        QTest::newRow("moved 8 px") << QPointF(8, 0) << 1.0;
        QTest::newRow("moved diagonally, grown 3%") << QPointF(6, -7) << 1.03;
        QTest::newRow("moved 3 px, shrunk 3%") << QPointF(0, 3) << 0.97;
    }
    void fittingFollowsAMovedObject()
    {
        QFETCH(QPointF, move);
        QFETCH(double, growth);
        const QSize size(400, 300);
        QImage before, after;
        frame(size, QPointF(200, 150), 60, &before);
        const QImage next = frame(size, QPointF(200, 150) + move, 60 * growth, &after);
        const Region::Carried carried = Region::snappedCarry(next, before);
        QCOMPARE(carried.pieces, 1);
        QCOMPARE(carried.unchanged, 0);
        QVERIFY2(iou(carried.numbers, after) >= 0.97,
                 qPrintable(QString::number(iou(carried.numbers, after))));
        QVERIFY(iou(carried.numbers, after) > iou(before, after));
    }

    // Pieces too small to fit go as they were, keeping their class; a cancelled fit gives
    // nothing.
    void smallPiecesAndCancelling()
    {
        QImage truth;
        const QImage picture = frame(QSize(200, 150), QPointF(100, 75), 40, &truth);
        QImage numbers(picture.size(), QImage::Format_Grayscale8);
        numbers.fill(0);
        for (int y = 10; y < 15; ++y)
            for (int x = 10; x < 15; ++x)
                numbers.scanLine(y)[x] = 3;
        const Region::Carried carried = Region::snappedCarry(picture, numbers);
        QCOMPARE(carried.pieces, 1);
        QCOMPARE(carried.unchanged, 1);
        QCOMPARE(carried.numbers, numbers);
        const std::atomic_bool cancelled{true};
        QVERIFY(
            Region::snappedCarry(picture, truth, Region::carriedMove, &cancelled).numbers.isNull());
    }

    // The frame's motion (a pan, a zoom, a turn) and a piece's own are found: a stroke on the
    // background and an object go where the picture under them went, closer than the copy
    // left where it was.
    void motionIsFollowed_data()
    {
        QTest::addColumn<QPointF>("pan");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<double>("degrees");
        QTest::addColumn<QPointF>("ownMove"); // the object's, besides the camera's
        QTest::newRow("pan") << QPointF(7, -5) << 1.0 << 0.0 << QPointF();
        QTest::newRow("zoom") << QPointF(3, 2) << 1.02 << 0.0 << QPointF();
        QTest::newRow("turn") << QPointF(-2, 4) << 1.0 << 0.6 << QPointF();
        QTest::newRow("object moving on its own") << QPointF(4, 3) << 1.0 << 0.0 << QPointF(-9, 7);
    }
    void motionIsFollowed()
    {
        QFETCH(QPointF, pan);
        QFETCH(double, zoom);
        QFETCH(double, degrees);
        QFETCH(QPointF, ownMove);
        const QSize size(480, 360);
        const QImage scene = blotches(QSize(560, 440), 3);
        const QImage objectTexture = blotches(size, 9);
        const QTransform first = camera(QPointF(40, 40), 1.0, 0.0);
        const QTransform second = camera(QPointF(40, 40) + pan, zoom, degrees);
        QImage frames[2] = {shot(scene, size, first), shot(scene, size, second)};
        QImage truths[2] = {noClasses(size), noClasses(size)};
        for (int t = 0; t < 2; ++t) {
            const QTransform m = t ? second : first;
            paintClass(truths[t], 1, m, drawStroke);
            // The object moves on its own when asked, its texture with it; else it is part of
            // the scene.
            const QTransform objectAt =
                ownMove.isNull()
                    ? m
                    : QTransform::fromTranslate(t * ownMove.x() - 40, t * ownMove.y() - 40);
            QImage object = noClasses(size);
            paintClass(object, 2, objectAt, drawObject);
            if (!ownMove.isNull()) {
                QPainter painter(&frames[t]);
                for (int y = 0; y < size.height(); ++y)
                    for (int x = 0; x < size.width(); ++x)
                        if (object.constScanLine(y)[x])
                            frames[t].setPixel(
                                x, y,
                                objectTexture.pixel(
                                    qBound(0, x - int(t * ownMove.x()), size.width() - 1),
                                    qBound(0, y - int(t * ownMove.y()), size.height() - 1)));
            }
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    if (object.constScanLine(y)[x])
                        truths[t].scanLine(y)[x] = 2;
        }
        const Region::Carried carried =
            Region::snappedCarry(Region::motionCopyOf(frames[0]), frames[1], truths[0]);
        QCOMPARE(carried.pieces, 2);
        for (uchar value : {uchar(1), uchar(2)}) {
            const double found = classIou(carried.numbers, truths[1], value);
            const double unmoved = classIou(truths[0], truths[1], value);
            QVERIFY2(
                found >= (value == 1 ? 0.85 : 0.95) && found > unmoved,
                qPrintable(
                    QStringLiteral("class %1: %2, unmoved %3").arg(value).arg(found).arg(unmoved)));
        }
    }

    // A piece too small to fit still goes where the picture went; one class never takes the
    // pixels another carried piece covers, however alike they look.
    void nothingLeftBehindNothingTaken()
    {
        const QSize size(480, 360);
        const QImage scene = blotches(QSize(560, 440), 5);
        const QPoint pan(6, -4);
        const QImage before = shot(scene, size, QTransform::fromTranslate(-40, -40));
        const QImage after =
            shot(scene, size, QTransform::fromTranslate(-40 - pan.x(), -40 - pan.y()));
        QImage numbers = noClasses(size);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x)
                numbers.scanLine(30 + y)[30 + x] = 3;
        // Two halves of one textured square, each its own class: no edge between them.
        for (int y = 150; y < 250; ++y)
            for (int x = 150; x < 330; ++x)
                numbers.scanLine(y)[x] = x < 240 ? 1 : 2;
        const Region::Carried carried =
            Region::snappedCarry(Region::motionCopyOf(before), after, numbers);
        QCOMPARE(carried.pieces, 3);
        QVERIFY(carried.unchanged >= 1);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QPoint from = QPoint(x, y) + pan;
                const bool wasSmall =
                    from.x() >= 30 && from.x() < 36 && from.y() >= 30 && from.y() < 36;
                QCOMPARE(carried.numbers.constScanLine(y)[x] == 3, wasSmall);
            }
        qint64 taken = 0;
        for (int y = 150; y < 250; ++y)
            for (int x = 150; x < 330; ++x) {
                const uchar own = x < 240 ? 1 : 2;
                const uchar found = carried.numbers.constScanLine(y - pan.y())[x - pan.x()];
                taken += found != 0 && found != own;
            }
        QVERIFY2(taken == 0, qPrintable(QString::number(taken)));
    }

    // A stroke carried frame after frame stays on the picture: placing it rounds each time,
    // so it is moved on from where it was painted while it is as it was placed.
    void aStrokeStaysOnAlongASequence()
    {
        const QSize size(480, 360);
        const QImage scene = blotches(QSize(560, 440), 7);
        Region::Carried carried;
        QImage previous, truth;
        for (int t = 0; t < 7; ++t) {
            const QTransform m = camera(QPointF(40, 40) + t * QPointF(2.4, 1.3), 1.0, 0.35 * t);
            const QImage picture = shot(scene, size, m);
            truth = noClasses(size);
            paintClass(truth, 1, m, drawStroke);
            if (t == 0)
                carried.numbers = truth;
            else
                carried = Region::snappedCarry(Region::motionCopyOf(previous), picture,
                                               carried.numbers, carried.trails);
            previous = picture;
        }
        QCOMPARE(carried.trails.size(), size_t(1));
        QVERIFY2(classIou(carried.numbers, truth, 1) >= 0.9,
                 qPrintable(QString::number(classIou(carried.numbers, truth, 1))));
    }

    // Shift+D in the window follows a pan of the camera, fitting on.
    void shiftDFollowsThePicture()
    {
        const QSize size(480, 360);
        const QImage scene = blotches(QSize(560, 440), 11);
        QImage truths[2] = {noClasses(size), noClasses(size)};
        for (int t = 0; t < 2; ++t) {
            const QTransform m = QTransform::fromTranslate(-40 - 9 * t, -40 - 6 * t);
            QVERIFY(shot(scene, size, m).save(dir->filePath(t ? "b.png" : "a.png")));
            paintClass(truths[t], 1, m, drawObject);
            paintClass(truths[t], 1, m, drawStroke);
        }
        QVERIFY(saveAsMask(truths[0], dir->filePath(QStringLiteral("a_mask.png"))));
        VelmoraView *view = probe->view();
        QSignalSpy done(view, &VelmoraView::maskCarried);
        carryFromAToB();
        QVERIFY(done.count() == 1 || done.wait(10000));
        const double found = classIou(view->getDocument()->exportClasses(), truths[1], 1);
        QVERIFY2(found >= 0.95, qPrintable(QString::number(found)));
    }

    // Frames between two keyframes get masks between theirs, following the motion; the
    // keyframes and a frame that has a mask are never touched; a cancelled fill writes
    // nothing; the window marks each filled frame 插值 until it is saved by hand.
    void framesBetweenKeyframesAreFilled()
    {
        const QSize size(480, 360);
        const QImage scene = blotches(QSize(600, 480), 13);
        QStringList pictures;
        QImage truths[6];
        for (int t = 0; t < 6; ++t) {
            const QTransform m = QTransform::fromTranslate(-40 - 5 * t, -40 - 3 * t);
            pictures << dir->filePath(QStringLiteral("f%1.png").arg(t + 1));
            QVERIFY(shot(scene, size, m).save(pictures.last()));
            truths[t] = noClasses(size);
            paintClass(truths[t], 1, m, drawObject);
            paintClass(truths[t], 1, m, drawStroke);
            if (t == 0 || t == 5) {
                QVERIFY(saveAsMask(truths[t], MaskFile::pathFor(pictures.last())));
            }
        }
        const QByteArray keyframe = TestSupport::contents(MaskFile::pathFor(pictures.first()));
        const QVector<FillBetween::Gap> gaps =
            FillBetween::gapsOf({true, false, false, false, false, true});
        QCOMPARE(gaps.size(), 1);
        const std::atomic_bool stop{true};
        QVERIFY(FillBetween::fill(pictures, gaps, {}, &stop).cancelled);
        QVERIFY(!QFileInfo::exists(MaskFile::pathFor(pictures.at(2))));

        // Through the window, as a person does it.
        window->openPicture(pictures.at(2));
        actionNamed(*window, QStringLiteral("掩膜"), QStringLiteral("补全中间帧"))->trigger();
        QCOMPARE(TestSupport::contents(MaskFile::pathFor(pictures.first())), keyframe);
        for (int t = 1; t < 5; ++t) {
            const QImage filled(MaskFile::pathFor(pictures.at(t)));
            QVERIFY2(!filled.isNull(), qPrintable(pictures.at(t)));
            QImage numbers = filled.convertToFormat(QImage::Format_Grayscale8);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    numbers.scanLine(y)[x] = numbers.scanLine(y)[x] ? 1 : 0;
            const double found = classIou(numbers, truths[t], 1);
            QVERIFY2(found >= 0.9, qPrintable(QStringLiteral("frame %1: %2").arg(t).arg(found)));
        }
        QVERIFY(TestSupport::contents(ReviewMarks::fileFor(dir->path())).contains("interpolated"));
        // The frame shown got its mask; saved by hand, it is no longer marked.
        VelmoraView *view = probe->view();
        QVERIFY(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)) > 0);
        view->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*view, QPointF(20, 20), QPointF(60, 40));
        probe->quietSaveAction()->setChecked(true);
        probe->saveMask();
        QTRY_VERIFY(ReviewMarks::read(dir->path()).byName.value(QStringLiteral("f3.png")) ==
                    ReviewMarks::Mark::None);
        QCOMPARE(ReviewMarks::read(dir->path()).byName.value(QStringLiteral("f2.png")),
                 ReviewMarks::Mark::Interpolated);
    }

    // A shape between two that the motion has already brought together: part of the way from
    // one outline to the other; a class missing from either mask, or not asked for, is left
    // out.
    void shapesBetween_data()
    {
        QTest::addColumn<double>("share");
        QTest::addColumn<double>("radius"); // of the disc between
        QTest::addColumn<double>("x");      // its centre's
        QTest::newRow("the first") << 0.0 << 20.0 << 60.0;
        QTest::newRow("a quarter of the way") << 0.25 << 22.5 << 61.0;
        QTest::newRow("halfway") << 0.5 << 25.0 << 62.0;
        QTest::newRow("the last") << 1.0 << 30.0 << 64.0;
    }
    void shapesBetween()
    {
        QFETCH(double, share);
        QFETCH(double, radius);
        QFETCH(double, x);
        const QSize size(160, 100);
        QImage from = noClasses(size), to = noClasses(size), expected = noClasses(size);
        paintDisc(from, 1, QPointF(60, 50), 20); // grows by half and moves 4 pixels
        paintDisc(to, 1, QPointF(64, 50), 30);
        paintDisc(expected, 1, QPointF(x, 50), radius);
        paintDisc(from, 2, QPointF(20, 20), 8); // only in the first
        paintDisc(from, 3, QPointF(140, 80), 8);
        paintDisc(to, 3, QPointF(140, 80), 8); // in both, not asked for
        const QImage between = Region::shapeBetween(from, to, share, {1, 2});
        QVERIFY2(classIou(between, expected, 1) >= 0.95,
                 qPrintable(QString::number(classIou(between, expected, 1))));
        QCOMPARE(classIou(between, from, 2), 0.0);
        QCOMPARE(classIou(between, from, 3), 0.0);
    }

    // The gaps of a sequence: runs of frames without masks between two with them.
    void gapsOfASequence_data()
    {
        QTest::addColumn<QVector<bool>>("hasMask");
        QTest::addColumn<QVector<int>>("ends"); // from, to of each gap
        QTest::newRow("one gap") << QVector<bool>{true, false, false, true} << QVector<int>{0, 3};
        QTest::newRow("keyframes side by side")
            << QVector<bool>{true, true, false} << QVector<int>{};
        QTest::newRow("open ends")
            << QVector<bool>{false, true, false, true, false} << QVector<int>{1, 3};
        QTest::newRow("two gaps") << QVector<bool>{true, false, true, false, false, true}
                                  << QVector<int>{0, 2, 2, 5};
        QTest::newRow("nothing") << QVector<bool>{} << QVector<int>{};
    }
    void gapsOfASequence()
    {
        QFETCH(QVector<bool>, hasMask);
        QFETCH(QVector<int>, ends);
        QVector<int> found;
        for (const FillBetween::Gap &gap : FillBetween::gapsOf(hasMask))
            found << gap.from << gap.to;
        QCOMPARE(found, ends);
    }

    // With classes, the frames between get class maps of the classes both keyframes have; a
    // frame given a mask while the fill runs is left as it is, and named.
    void fillingKeepsClassesAndOthersMasks()
    {
        const QSize size(320, 240);
        const QImage scene = blotches(QSize(400, 320), 17);
        QFile list(dir->filePath(QStringLiteral("labels.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly) && list.write("a\nb\n") > 0);
        list.close();
        QStringList pictures;
        for (int t = 0; t < 5; ++t) {
            pictures << dir->filePath(QStringLiteral("s%1.png").arg(t + 1));
            QVERIFY(shot(scene, size, QTransform::fromTranslate(-30 - 4 * t, -30 - 2 * t))
                        .save(pictures.last()));
        }
        QImage first = noClasses(size), last = noClasses(size);
        paintDisc(first, 1, QPointF(150, 120), 40);
        paintDisc(first, 2, QPointF(50, 50), 20); // the first keyframe's alone
        paintDisc(last, 1, QPointF(150 - 16, 120 - 8), 40);
        QString failed;
        QCOMPARE(ClassFiles::storeNumbers(first, pictures.at(0), true, &failed),
                 AtomicFile::Failure::None);
        QCOMPARE(ClassFiles::storeNumbers(last, pictures.at(4), true, &failed),
                 AtomicFile::Failure::None);
        // Someone saves a mask of the third frame after the gaps were found.
        QVERIFY(saveAsMask(last, MaskFile::pathFor(pictures.at(2))));
        const QByteArray theirs = TestSupport::contents(MaskFile::pathFor(pictures.at(2)));
        const FillBetween::Report report = FillBetween::fill(pictures, {{0, 4}});
        QCOMPARE(report.filled, (QStringList{pictures.at(1), pictures.at(3)}));
        QCOMPARE(report.problems.size(), 1);
        QVERIFY(report.problems.first().contains(QStringLiteral("s3.png")));
        QCOMPARE(TestSupport::contents(MaskFile::pathFor(pictures.at(2))), theirs);
        QVERIFY(!QFileInfo::exists(ClassFiles::mapPathFor(pictures.at(2))));
        for (int t : {1, 3}) {
            ClassFiles::MapStatus status;
            const QImage map =
                ClassFiles::readMap(ClassFiles::mapPathFor(pictures.at(t)), size, &status);
            QCOMPARE(status, ClassFiles::MapStatus::Read);
            QImage expected = noClasses(size);
            paintDisc(expected, 1, QPointF(150 - 4 * t, 120 - 2 * t), 40);
            QVERIFY2(classIou(map, expected, 1) >= 0.95,
                     qPrintable(QString::number(classIou(map, expected, 1))));
            QCOMPARE(classIou(map, first, 2), 0.0);
        }
    }

    // A carry's pieces go on as one step, later pieces over earlier ones; undo and redo give
    // the layer back byte for byte.
    void carriedPiecesAreOneStep()
    {
        QVERIFY(TestSupport::makePicture(80, 60).save(dir->filePath(QStringLiteral("p.png"))));
        QFile list(dir->filePath(QStringLiteral("labels.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly) && list.write("a\nb\n") > 0);
        list.close();
        window->openPicture(dir->filePath(QStringLiteral("p.png")));
        MaskDocument *document = probe->view()->getDocument();
        QVERIFY(document->hasClasses());
        const QImage before = document->exportClasses();
        QImage square(20, 20, QImage::Format_Grayscale8);
        square.fill(255);
        Region::MovedMask placed;
        placed.size = QSize(80, 60);
        placed.pieces.push_back({{square, QPoint(10, 10)}, 1, false, true});
        placed.pieces.push_back({{square, QPoint(20, 20)}, 3, false, true});
        QVERIFY(document->applyClassPieces(placed));
        const QImage after = document->exportClasses();
        QCOMPARE(after.constScanLine(15)[15], uchar(1));
        QCOMPARE(after.constScanLine(25)[25], uchar(3)); // the later piece wins
        QCOMPARE(after.constScanLine(50)[70], uchar(0));
        QCOMPARE(document->classNames().size(), 3); // a class beyond the list is named
        document->undo();
        QCOMPARE(document->exportClasses(), before);
        document->redo();
        QCOMPARE(document->exportClasses(), after);
    }

    // Shift+D brings the mask along as one step; undo takes it back. Other sizes, or nothing
    // to bring, change nothing and say why.
    void carryingBetweenPictures_data()
    {
        QTest::addColumn<QSize>("nextSize");
        QTest::addColumn<bool>("paint");
        QTest::addColumn<bool>("carried");
        QTest::addColumn<QString>("status");
        QTest::newRow("same size")
            << QSize(120, 80) << true << true << QStringLiteral("已从上一张带入掩膜（未贴合）");
        QTest::newRow("other size")
            << QSize(121, 80) << true << false
            << QStringLiteral("a.png 的尺寸（120×80）与这张图片（121×80）不同，掩膜未带入");
        QTest::newRow("nothing painted")
            << QSize(120, 80) << false << false << QStringLiteral("a.png 没有掩膜，没有可带入的");
    }
    void carryingBetweenPictures()
    {
        QFETCH(QSize, nextSize);
        QFETCH(bool, paint);
        QFETCH(bool, carried);
        QFETCH(QString, status);
        QVERIFY(TestSupport::makePicture(120, 80).save(dir->filePath(QStringLiteral("a.png"))));
        QVERIFY(TestSupport::makePicture(nextSize.width(), nextSize.height())
                    .save(dir->filePath(QStringLiteral("b.png"))));
        window->openPicture(dir->filePath(QStringLiteral("a.png")));
        VelmoraView *view = probe->view();
        view->setMode(EditorMode::Doodle);
        if (paint) {
            VelmoraViewProbe::stroke(*view, QPointF(20, 20), QPointF(60, 40));
            probe->quietSaveAction()->setChecked(true);
            probe->saveMask();
        }
        const QImage painted = view->getDocument()->exportMask();
        actionNamed(*window, QStringLiteral("文件"), QStringLiteral("下一张并带入掩膜"))->trigger();
        QCOMPARE(view->getImagePath(), dir->filePath(QStringLiteral("b.png")));
        QCOMPARE(window->statusBar()->currentMessage(), status);
        QCOMPARE(view->isModified(), carried);
        if (!carried)
            return;
        QCOMPARE(view->getDocument()->exportMask(), painted);
        view->undo();
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
        QVERIFY(!view->isModified());
        // 从上一张带入 brings it again, from the picture last shown.
        actionNamed(*window, QStringLiteral("掩膜"), QStringLiteral("从上一张带入"))->trigger();
        QCOMPARE(view->getDocument()->exportMask(), painted);
    }

    // Classes come along as they were.
    void classesComeAlong()
    {
        QFile list(dir->filePath(QStringLiteral("labels.txt")));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write("road\ncar\n");
        list.close();
        for (const char *name : {"a.png", "b.png"})
            QVERIFY(TestSupport::makePicture(120, 80).save(dir->filePath(QLatin1String(name))));
        window->openPicture(dir->filePath(QStringLiteral("a.png")));
        VelmoraView *view = probe->view();
        view->setMode(EditorMode::Doodle);
        probe->classKeys().at(1)->trigger();
        VelmoraViewProbe::stroke(*view, QPointF(20, 20), QPointF(60, 40));
        const QImage classes = view->getDocument()->exportClasses();
        probe->quietSaveAction()->setChecked(true);
        probe->saveMask();
        actionNamed(*window, QStringLiteral("文件"), QStringLiteral("下一张并带入掩膜"))->trigger();
        QCOMPARE(view->getImagePath(), dir->filePath(QStringLiteral("b.png")));
        QCOMPARE(view->getDocument()->exportClasses(), classes);
        QVERIFY(view->getDocument()->classPixels()[2] > 0);
    }

    // With fitting on, the fit runs off the UI thread; Esc meanwhile puts the mask on as it
    // was moved (or as it was, before it is moved), as one step.
    void fittingAndEsc_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("fitted") << false;
        QTest::newRow("Esc") << true;
    }
    void fittingAndEsc()
    {
        QFETCH(bool, escape);
        QImage before, after;
        frame(QSize(400, 300), QPointF(200, 150), 60, &before);
        QVERIFY(frame(QSize(400, 300), QPointF(200, 150), 60, &after)
                    .save(dir->filePath(QStringLiteral("a.png"))));
        QVERIFY(frame(QSize(400, 300), QPointF(208, 150), 60, &after)
                    .save(dir->filePath(QStringLiteral("b.png"))));
        QVERIFY(saveAsMask(before, dir->filePath(QStringLiteral("a_mask.png"))));
        VelmoraView *view = probe->view();
        QSignalSpy done(view, &VelmoraView::maskCarried);
        carryFromAToB();
        QVERIFY(view->isWorking());
        if (escape)
            QTest::keyClick(view->viewport(), Qt::Key_Escape);
        QVERIFY(done.count() == 1 || done.wait(10000));
        QCOMPARE(done.first().at(2).toBool(), !escape);
        QImage shown = view->getDocument()->exportClasses();
        // Esc puts the pieces on moved when the work had moved them, else as they were.
        QVERIFY(escape ? iou(shown, before) > 0.999 || iou(shown, after) > 0.95
                       : iou(shown, after) > 0.97);
        QCOMPARE(view->getDocument()->historyCount(), 1);
        view->undo();
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
    }

    // D, A, Shift+D and Shift+A between frames of one size keep the zoom and the part in
    // view; a frame of another size, and a picture opened otherwise, are fitted as before.
    void theViewStaysOnTheFrame_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("kept");
        QTest::newRow("D") << "D"
                           << "f2.png" << true;
        QTest::newRow("Shift+D") << "Shift+D"
                                 << "f2.png" << true;
        QTest::newRow("A") << "A"
                           << "f0.png" << true;
        QTest::newRow("Shift+A") << "Shift+A"
                                 << "f0.png" << true;
        QTest::newRow("D to another size") << "D"
                                           << "f2.png" << false;
        QTest::newRow("opened") << "open"
                                << "f2.png" << false;
    }
    void theViewStaysOnTheFrame()
    {
        QFETCH(QString, step);
        QFETCH(QString, to);
        QFETCH(bool, kept);
        const bool otherSize = QString::fromLatin1(QTest::currentDataTag()).contains("size");
        for (const char *name : {"f0.png", "f1.png", "f2.png"})
            QVERIFY(
                TestSupport::makePicture(otherSize && name == QByteArray("f2.png") ? 900 : 800, 600)
                    .save(dir->filePath(QLatin1String(name))));
        window->openPicture(dir->filePath("f1.png"));
        VelmoraView *view = probe->view();
        for (int i = 0; i < 6; ++i)
            view->zoomIn();
        view->centerOn(QPointF(600, 150));
        const qreal scale = view->transform().m11();
        const QPointF centre = view->mapToScene(view->viewport()->rect().center());
        if (step == QLatin1String("open"))
            window->openPicture(dir->filePath(to));
        else
            QTest::keySequence(window.get(), QKeySequence(step));
        QCOMPARE(view->getImagePath(), dir->filePath(to));
        const QPointF now = view->mapToScene(view->viewport()->rect().center());
        QCOMPARE(qFuzzyCompare(view->transform().m11(), scale), kept);
        QCOMPARE(QLineF(now, centre).length() < 2, kept);
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
};

QTEST_MAIN(TestCarry)
#include "tst_carry.moc"
