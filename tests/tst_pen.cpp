// Pen tablets: pressure sets the size of the brush and the eraser, the eraser end erases
// whatever the tool, the setting turns pressure off, and the mouse's gestures stay the mouse's.

#include "support/testsupport.h"
#include "support/viewprobe.h"

#include <QTabletEvent>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void pen(VelmoraView &view, QEvent::Type type, QPointF scenePos, qreal pressure,
         QTabletEvent::PointerType end = QTabletEvent::Pen,
         Qt::KeyboardModifiers keys = Qt::NoModifier)
{
    const QPointF at = view.mapFromScene(scenePos);
    const bool down = type != QEvent::TabletRelease;
    QTabletEvent event(type, at, view.viewport()->mapToGlobal(at.toPoint()), QTabletEvent::Stylus,
                       end, pressure, 0, 0, 0, 0, 0, keys, 1, Qt::LeftButton,
                       down ? Qt::LeftButton : Qt::NoButton);
    QApplication::sendEvent(view.viewport(), &event);
}

// A dab at `centre` with `pressure`, then the width the mask has across its middle.
int dabWidth(VelmoraView &view, QPointF centre, qreal pressure,
             QTabletEvent::PointerType end = QTabletEvent::Pen)
{
    pen(view, QEvent::TabletPress, centre, pressure, end);
    pen(view, QEvent::TabletRelease, centre, pressure, end);
    const QImage &mask = VelmoraViewProbe::mask(view);
    int width = 0;
    for (int x = 0; x < mask.width(); ++x)
        width += mask.constScanLine(int(centre.y()))[x] > 0 ? 1 : 0;
    return width;
}

} // namespace

class TestPen : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        const QString picture = dir.filePath(QStringLiteral("leaf.png"));
        QVERIFY(TestSupport::makePicture(200, 100).save(picture));
        view.reset();
        document.reset(new MaskDocument);
        view.reset(new VelmoraView(document.get()));
        view->resize(400, 300);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        QVERIFY(view->loadImage(picture));
        view->setBrushSize(40);
        view->setEraserSize(20);
    }

    void pressureSetsTheSize_data()
    {
        QTest::addColumn<qreal>("pressure");
        QTest::addColumn<bool>("pressureOn");
        QTest::addColumn<int>("width");                // of a brush of 40
        QTest::newRow("lightest") << 0.1 << true << 8; // 40 x (0.1 + 0.9 x 0.1) = 7.6
        QTest::newRow("half") << 0.5 << true << 23;    // 40 x 0.55 = 22
        QTest::newRow("firmest") << 1.0 << true << 41;
        QTest::newRow("no pressure sent") << 0.0 << true << 41;
        QTest::newRow("pressure turned off") << 0.1 << false << 41;
    }
    void pressureSetsTheSize()
    {
        QFETCH(qreal, pressure);
        QFETCH(bool, pressureOn);
        QFETCH(int, width);
        view->setPenPressure(pressureOn);
        view->setMode(EditorMode::Doodle);
        QVERIFY(qAbs(dabWidth(*view, QPointF(100, 50), pressure) - width) <= 1);
        QVERIFY(!view->isDrawing());
        view->undo(); // one stroke, one step
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
    }

    // A stroke gets thinner where the pen is pressed lighter.
    void aStrokeFollowsThePressure()
    {
        view->setMode(EditorMode::Doodle);
        pen(*view, QEvent::TabletPress, QPointF(20, 50), 1.0);
        for (int x = 30; x <= 180; x += 10)
            pen(*view, QEvent::TabletMove, QPointF(x, 50), x < 100 ? 1.0 : 0.1);
        pen(*view, QEvent::TabletRelease, QPointF(180, 50), 0.1);
        const QImage &mask = VelmoraViewProbe::mask(*view);
        const auto height = [&](int x) {
            int rows = 0;
            for (int y = 0; y < mask.height(); ++y)
                rows += mask.constScanLine(y)[x] > 0 ? 1 : 0;
            return rows;
        };
        QVERIFY(height(60) >= 39);
        QVERIFY(height(150) <= 9);
    }

    // The eraser end erases at the eraser's size, in Doodle and in Move alike.
    void theEraserEndErases_data()
    {
        QTest::addColumn<EditorMode>("mode");
        QTest::newRow("doodle") << EditorMode::Doodle;
        QTest::newRow("move") << EditorMode::Move;
    }
    void theEraserEndErases()
    {
        QFETCH(EditorMode, mode);
        view->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*view, {QPointF(10, 50), QPointF(190, 50)});
        const int painted = TestSupport::maskedPixels(VelmoraViewProbe::mask(*view));
        view->setMode(mode);
        pen(*view, QEvent::TabletPress, QPointF(100, 50), 1.0, QTabletEvent::Eraser);
        pen(*view, QEvent::TabletRelease, QPointF(100, 50), 1.0, QTabletEvent::Eraser);
        const QImage &mask = VelmoraViewProbe::mask(*view);
        QCOMPARE(mask.constScanLine(50)[100], uchar(0));
        QCOMPARE(mask.constScanLine(50)[85], uchar(255)); // beyond the eraser's 20
        QVERIFY(TestSupport::maskedPixels(mask) < painted);
        QCOMPARE(view->getMode(), mode);
    }

    // An eraser-end stroke cut short by another picture leaves no eraser behind: the mouse
    // paints next, at the brush's whole size.
    void aStrokeCutShortLeavesNoPenState()
    {
        view->setMode(EditorMode::Doodle);
        pen(*view, QEvent::TabletPress, QPointF(100, 50), 0.1, QTabletEvent::Eraser);
        const QString other = dir.filePath(QStringLiteral("other.png"));
        QVERIFY(TestSupport::makePicture(200, 100).save(other));
        QVERIFY(view->loadImage(other));
        VelmoraViewProbe::stroke(*view, {QPointF(100, 50), QPointF(100.5, 50)});
        const QImage &mask = VelmoraViewProbe::mask(*view);
        QCOMPARE(mask.constScanLine(50)[100], uchar(255));
        QCOMPARE(mask.constScanLine(50)[119], uchar(255)); // the brush's 40, not a tenth
    }

    // In Move the pen tip pans, with Shift or Ctrl it draws the mouse's lassos and wand: the
    // view leaves those events to become mouse events.
    void otherGesturesAreTheMouses()
    {
        view->setMode(EditorMode::Move);
        pen(*view, QEvent::TabletPress, QPointF(100, 50), 1.0);
        QVERIFY(!view->isDrawing());
        view->setMode(EditorMode::Doodle);
        pen(*view, QEvent::TabletPress, QPointF(100, 50), 1.0, QTabletEvent::Pen,
            Qt::ShiftModifier);
        QVERIFY(!view->isDrawing());
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
    }

private:
    QTemporaryDir dir;
    std::unique_ptr<MaskDocument> document; // outlives the view
    std::unique_ptr<VelmoraView> view;
};

QTEST_MAIN(TestPen)
#include "tst_pen.moc"
