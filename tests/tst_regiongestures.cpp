// The region gestures in the real view: the colour wand, the snapping lasso and changes of
// the whole mask, each one step of the history that undoes and redoes byte for byte.

#include "support/testsupport.h"
#include "support/viewprobe.h"

#include "editor/velmoraview.h"
#include "region/regionops.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {

using TestSupport::sendMouse;

// A textured disc (the object, radius 60 at (150, 110)) on a textured background of
// another colour, with a soft one-pixel edge; the same every run.
QImage objectPicture()
{
    QImage picture(320, 240, QImage::Format_RGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < picture.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const double d = std::hypot(x + 0.5 - 150, y + 0.5 - 110) - 60;
            const double inside = qBound(0.0, 0.5 - d, 1.0);
            const int noise = random.bounded(-25, 26);
            const int r = qBound(0, int(200 * inside + 60 * (1 - inside)) + noise, 255);
            const int g = qBound(0, int(40 * inside + 150 * (1 - inside)) + noise, 255);
            const int b = qBound(0, int(30 * inside + 70 * (1 - inside)) + noise, 255);
            row[x] = qRgb(r, g, b);
        }
    }
    return picture;
}

int setPixels(const QImage &gray)
{
    int count = 0;
    for (int y = 0; y < gray.height(); ++y)
        count += int(std::count_if(gray.constScanLine(y), gray.constScanLine(y) + gray.width(),
                                   [](uchar value) { return value != 0; }));
    return count;
}

bool inObject(int x, int y)
{
    return std::hypot(x + 0.5 - 150, y + 0.5 - 110) <= 60;
}

QVector<QPointF> circle(QPointF centre, double radius, int points)
{
    QVector<QPointF> outline;
    for (int i = 0; i <= points; ++i)
        outline << centre + radius * QPointF(std::cos(2 * M_PI * i / points),
                                             std::sin(2 * M_PI * i / points));
    return outline;
}

} // namespace

class TestRegionGestures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        objectPath = dir.filePath(QStringLiteral("object.png"));
        QVERIFY(objectPicture().save(objectPath));
        flatPath = dir.filePath(QStringLiteral("flat.png"));
        QImage flat(60, 40, QImage::Format_RGB32);
        flat.fill(qRgb(10, 10, 10));
        QPainter(&flat).fillRect(10, 10, 20, 15, QColor(100, 100, 100));
        QPainter(&flat).fillRect(30, 10, 10, 15, QColor(130, 100, 100));
        QVERIFY(flat.save(flatPath));
    }
    void init()
    {
        view.reset();
        document.reset(new MaskDocument);
        view.reset(new VelmoraView(document.get()));
        view->resize(400, 300);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }

    // Press, drag and release with Ctrl in Doodle, Eraser or Move; the drag changes the
    // tolerance for this gesture only, and Esc drops it.
    void wandAddsOrRemovesTheRegion_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<int>("drag");
        QTest::addColumn<bool>("escape");
        QTest::addColumn<int>("expected");
        // A screen pixel of drag is worth a quarter of a unit of tolerance.
        QTest::newRow("doodle, click") << 1 << 0 << false << 20 * 15;
        QTest::newRow("doodle, dragged right") << 1 << 48 << false << 30 * 15;
        QTest::newRow("doodle, dragged a little") << 1 << 12 << false << 20 * 15;
        QTest::newRow("eraser, click") << 2 << 0 << false << 60 * 40 - 20 * 15;
        QTest::newRow("move, click: adds as in doodle") << 0 << 0 << false << 20 * 15;
        QTest::newRow("escape") << 1 << 48 << true << 0;
    }
    void wandAddsOrRemovesTheRegion()
    {
        QFETCH(int, tool);
        QFETCH(int, drag);
        QFETCH(bool, escape);
        QFETCH(int, expected);
        QVERIFY(view->loadImage(flatPath));
        view->resetZoom();
        view->setMode(static_cast<EditorMode>(tool));
        view->setWandTolerance(20);
        if (tool == 2)
            VelmoraViewProbe::mutableMask(*view).fill(MaskFile::layerInside);
        const QImage before = VelmoraViewProbe::mask(*view).copy();
        const QPoint at = view->mapFromScene(QPointF(15.5, 15.5));
        QWidget *port = view->viewport();
        sendMouse(port, QEvent::MouseButtonPress, Qt::LeftButton, at, Qt::LeftButton,
                  Qt::ControlModifier);
        sendMouse(port, QEvent::MouseMove, Qt::NoButton, at + QPoint(drag, 0), Qt::LeftButton,
                  Qt::ControlModifier);
        if (escape)
            QTest::keyClick(view.get(), Qt::Key_Escape);
        sendMouse(port, QEvent::MouseButtonRelease, Qt::LeftButton, at + QPoint(drag, 0),
                  Qt::NoButton, Qt::ControlModifier);
        QTRY_VERIFY(!view->isWorking());
        const QImage after = VelmoraViewProbe::mask(*view).copy();
        QCOMPARE(TestSupport::maskedPixels(after), expected);
        QCOMPARE(view->getWandTolerance(), 20);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), escape ? 0 : 1);
        if (escape)
            return;
        view->undo();
        QCOMPARE(VelmoraViewProbe::mask(*view), before);
        view->redo();
        QCOMPARE(VelmoraViewProbe::mask(*view), after);
    }

    // Drawn 5 to 25 pixels outside a textured object, the outline snaps to it; nothing
    // outside the outline changes, and every pixel is fully in or out.
    void snappingLassoFindsTheObject()
    {
        QVERIFY(view->loadImage(objectPath));
        view->resetZoom();
        view->setMode(EditorMode::Doodle);
        QVector<QPointF> outline = circle(QPointF(150, 110), 72, 40);
        outline[10] += QPointF(10, 0); // up to 22 px off
        QWidget *port = view->viewport();
        sendMouse(port, QEvent::MouseButtonPress, Qt::LeftButton,
                  view->mapFromScene(outline.first()), Qt::LeftButton,
                  Qt::ControlModifier | Qt::ShiftModifier);
        for (const QPointF &point : outline.mid(1))
            sendMouse(port, QEvent::MouseMove, Qt::NoButton, view->mapFromScene(point),
                      Qt::LeftButton, Qt::ControlModifier | Qt::ShiftModifier);
        sendMouse(port, QEvent::MouseButtonRelease, Qt::LeftButton,
                  view->mapFromScene(outline.last()), Qt::NoButton);
        QVERIFY(view->isDrawing()); // the region is computed off the UI thread
        QTRY_VERIFY_WITH_TIMEOUT(!view->isWorking(), 10000);

        const QImage mask = VelmoraViewProbe::mask(*view);
        const QPolygonF drawn(outline);
        int both = 0, either = 0;
        for (int y = 0; y < mask.height(); ++y)
            for (int x = 0; x < mask.width(); ++x) {
                const QRgb pixel = mask.pixel(x, y);
                QVERIFY(qAlpha(pixel) == 0 || qAlpha(pixel) == 255);
                const bool in = qAlpha(pixel) != 0;
                if (in)
                    QVERIFY(drawn.containsPoint(QPointF(x + 0.5, y + 0.5), Qt::WindingFill));
                both += in && inObject(x, y);
                either += in || inObject(x, y);
            }
        QVERIFY2(double(both) / either >= 0.97, qPrintable(QString::number(double(both) / either)));
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
    }

    // An outline around a flat patch finds no object: the plain outline is filled, and the
    // window is told. In Move the gesture adds as in Doodle instead of panning.
    void snappingLassoFallsBackToThePlainFill_data()
    {
        QTest::addColumn<int>("tool");
        QTest::newRow("doodle") << int(EditorMode::Doodle);
        QTest::newRow("move") << int(EditorMode::Move);
    }
    void snappingLassoFallsBackToThePlainFill()
    {
        QFETCH(int, tool);
        QVERIFY(view->loadImage(flatPath));
        view->resetZoom();
        view->setMode(static_cast<EditorMode>(tool));
        QSignalSpy fellBack(view.get(), &VelmoraView::snapFellBack);
        const QPolygonF outline(circle(QPointF(20, 17), 4, 12));
        QPolygonF seen; // the outline as the view's pixels give it back
        for (const QPointF &point : outline)
            seen << view->mapToScene(view->mapFromScene(point));
        const Region::Piece plain = Region::filledOutline(seen, QSize(60, 40));
        QWidget *port = view->viewport();
        const auto keys = Qt::ControlModifier | Qt::ShiftModifier;
        sendMouse(port, QEvent::MouseButtonPress, Qt::LeftButton,
                  view->mapFromScene(outline.first()), Qt::LeftButton, keys);
        for (const QPointF &point : outline.mid(1))
            sendMouse(port, QEvent::MouseMove, Qt::NoButton, view->mapFromScene(point),
                      Qt::LeftButton, keys);
        sendMouse(port, QEvent::MouseButtonRelease, Qt::LeftButton,
                  view->mapFromScene(outline.last()), Qt::NoButton);
        QTRY_VERIFY(!view->isWorking());
        QCOMPARE(fellBack.count(), 1);
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), setPixels(plain.mask));
    }

    // The pointer shows the busy cursor while region work runs, and the tool's cursor again
    // after every end of it.
    void theToolsCursorComesBackAfterRegionWork_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("finished") << "finished";
        QTest::newRow("Esc") << "escape";
        QTest::newRow("another picture") << "picture";
        QTest::newRow("反选") << "invert";
    }
    void theToolsCursorComesBackAfterRegionWork()
    {
        QFETCH(QString, end);
        QVERIFY(view->loadImage(flatPath));
        view->setMode(EditorMode::Doodle);
        if (end == QLatin1String("invert")) {
            view->invertMask();
        } else {
            view->transformMask([](const QImage &mask) {
                QThread::msleep(100);
                return Region::grown(mask, 1);
            });
            QCOMPARE(view->viewport()->cursor().shape(), Qt::BusyCursor);
            if (end == QLatin1String("escape"))
                QTest::keyClick(view.get(), Qt::Key_Escape);
            else if (end == QLatin1String("picture"))
                QVERIFY(view->loadImage(objectPath));
            QTRY_VERIFY(!view->isWorking());
        }
        QCOMPARE(view->viewport()->cursor().shape(), Qt::CrossCursor);
    }

    // Changes of the whole mask: one step each, undone and redone byte for byte; a change
    // that changes nothing adds no step.
    void wholeMaskChangesAreOneStep()
    {
        QVERIFY(view->loadImage(flatPath));
        QImage &layer = VelmoraViewProbe::mutableMask(*view);
        QPainter(&layer).fillRect(5, 5, 30, 20, QColor(255, 0, 0));
        const QImage before = layer.copy();
        const int expected = setPixels(Region::grown(view->exportMask(), 3));
        view->transformMask([](const QImage &mask) { return Region::grown(mask, 3); });
        QVERIFY(view->isWorking());
        QTRY_VERIFY(!view->isWorking());
        const QImage grown = VelmoraViewProbe::mask(*view).copy();
        QCOMPARE(TestSupport::maskedPixels(grown), expected);
        QVERIFY(expected > 30 * 20);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
        view->transformMask(&Region::holesFilled); // no holes
        QTRY_VERIFY(!view->isWorking());
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
        view->undo();
        QCOMPARE(VelmoraViewProbe::mask(*view), before);
        view->redo();
        QCOMPARE(VelmoraViewProbe::mask(*view), grown);
    }

private:
    QTemporaryDir dir;
    QString objectPath;
    QString flatPath;
    std::unique_ptr<MaskDocument> document; // outlives the view
    std::unique_ptr<VelmoraView> view;
};

QTEST_MAIN(TestRegionGestures)
#include "tst_regiongestures.moc"
