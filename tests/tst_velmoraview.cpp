// The view's own state: modes, sizes, opacity and the 1:1 view.

#include "support/testsupport.h"
#include "support/viewprobe.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestVelmoraView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<EditorMode>();
        QVERIFY(dir.isValid());
        picturePath = dir.filePath(QStringLiteral("picture.png"));
        QVERIFY(TestSupport::makePicture(64, 48).save(picturePath));
    }

    void newViewHasItsDefaults()
    {
        MaskDocument document;
        VelmoraView view(&document);
        QCOMPARE(view.getMode(), EditorMode::Move);
        QCOMPARE(VelmoraViewProbe::previousMode(view), EditorMode::Doodle);
        QCOMPARE(view.getBrushSize(), 20);
        QCOMPARE(view.getEraserSize(), 30);
        QCOMPARE(VelmoraViewProbe::cursorViewPos(view), QPoint(-1, -1));
        QVERIFY(!view.isDrawing());
        QCOMPARE(view.dragMode(), QGraphicsView::ScrollHandDrag);
        QVERIFY(!view.testAttribute(Qt::WA_SetCursor));
        QVERIFY(view.getImagePath().isEmpty());
        QVERIFY(view.exportMask().isNull());
        QVERIFY(static_cast<QGraphicsView &>(view).scene() != nullptr);
        QCOMPARE(view.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(view.transformationAnchor(), QGraphicsView::AnchorUnderMouse);
        QCOMPARE(view.viewportUpdateMode(), QGraphicsView::MinimalViewportUpdate);
        QVERIFY(view.renderHints().testFlag(QPainter::SmoothPixmapTransform));
    }

    void modeSwitchesKeepThePreviousMode_data()
    {
        QTest::addColumn<QList<int>>("modes");
        QTest::addColumn<int>("previous");
        QTest::newRow("move doodle eraser") << QList<int>{1, 2} << 1;
        QTest::newRow("doodle move eraser") << QList<int>{1, 0, 2} << 0;
        QTest::newRow("eraser to doodle keeps it") << QList<int>{2, 1} << 0;
        QTest::newRow("same mode changes nothing") << QList<int>{1, 1} << 0;
    }
    void modeSwitchesKeepThePreviousMode()
    {
        QFETCH(QList<int>, modes);
        QFETCH(int, previous);
        MaskDocument document;
        VelmoraView view(&document);
        for (int m : modes)
            view.setMode(static_cast<EditorMode>(m));
        QCOMPARE(VelmoraViewProbe::previousMode(view), static_cast<EditorMode>(previous));
    }

    void modeSwitchSetsCursorAndReportsInOrder()
    {
        MaskDocument document;
        VelmoraView view(&document);
        QList<QString> order;
        connect(&view, &VelmoraView::modeChanged, this,
                [&](EditorMode m) { order << QStringLiteral("mode %1").arg(int(m)); });
        connect(&view, &VelmoraView::currentDrawingSizeChanged, this,
                [&](int s) { order << QStringLiteral("size %1").arg(s); });

        view.setMode(EditorMode::Doodle);
        QCOMPARE(view.dragMode(), QGraphicsView::NoDrag);
        QCOMPARE(view.cursor().shape(), Qt::CrossCursor);
        view.setMode(EditorMode::Eraser);
        QCOMPARE(view.cursor().shape(), Qt::ForbiddenCursor);
        view.setMode(EditorMode::Move);
        QCOMPARE(view.dragMode(), QGraphicsView::ScrollHandDrag);
        QCOMPARE(view.cursor().shape(), Qt::OpenHandCursor);
        view.setMode(EditorMode::Move);
        QCOMPARE(order, QStringList({"mode 1", "size 20", "mode 2", "size 30", "mode 0"}));
    }

    void sizeSettersReportOnlyForTheToolInUse()
    {
        MaskDocument document;
        VelmoraView view(&document);
        QSignalSpy sizes(&view, &VelmoraView::currentDrawingSizeChanged);
        view.setBrushSize(35);
        view.setEraserSize(36);
        QCOMPARE(sizes.count(), 0);
        QCOMPARE(view.getBrushSize(), 35);
        view.setMode(EditorMode::Doodle);
        QCOMPARE(sizes.takeFirst().first().toInt(), 35);
        view.setBrushSize(35); // unchanged, still reported
        view.setEraserSize(40);
        QCOMPARE(sizes.count(), 1);
        QCOMPARE(sizes.takeFirst().first().toInt(), 35);
        view.setMode(EditorMode::Eraser);
        QCOMPARE(sizes.takeFirst().first().toInt(), 40);
    }

    void opacityAndZoomNeedAPicture()
    {
        MaskDocument document;
        VelmoraView view(&document);
        view.resize(300, 200);
        view.setMaskOpacity(50);
        view.scale(2, 2);
        view.resetZoom(); // no picture: nothing changes
        QCOMPARE(view.transform().m11(), 2.0);

        QVERIFY(view.loadImage(picturePath));
        QCOMPARE(VelmoraViewProbe::maskItem(view)->opacity(), 1.0);
        view.setMaskOpacity(50);
        QCOMPARE(VelmoraViewProbe::maskItem(view)->opacity(), 0.5);
        view.setMaskOpacity(100);
        QCOMPARE(VelmoraViewProbe::maskItem(view)->opacity(), 1.0);

        view.scale(1.15, 1.15);
        view.resetZoom();
        QCOMPARE(view.transform(), QTransform());
        const QPointF centre = view.mapToScene(view.viewport()->rect().center());
        QVERIFY(qAbs(centre.x() - 32) <= 1 && qAbs(centre.y() - 24) <= 1);
    }

private:
    QTemporaryDir dir;
    QString picturePath;
};

QTEST_MAIN(TestVelmoraView)
#include "tst_velmoraview.moc"
