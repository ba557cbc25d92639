// The hand's tools: a click's dab, keys for tools, sizes and the view, Space to pan, the
// lasso, and hiding the mask.

#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QActionGroup>
#include <QLabel>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainterPath>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using TestSupport::sendMouse;

// The mask as painting with QPainter straight into a plain layer would leave it.
QImage paintedLike(const QImage &start, EditorMode tool,
                   const std::function<void(QPainter &)> &draw)
{
    QImage layer = start.convertToFormat(QImage::Format_ARGB32);
    QPainter painter(&layer);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    if (tool == EditorMode::Doodle) {
        painter.setBrush(QColor(255, 0, 0, 255));
    } else {
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setBrush(Qt::transparent);
    }
    draw(painter);
    painter.end();
    return layer;
}

} // namespace

class TestTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qRegisterMetaType<EditorMode>();
        QVERIFY(dir.isValid());
        picturePath = dir.filePath(QStringLiteral("p.png"));
        QVERIFY(TestSupport::makePicture(300, 200).save(picturePath));
    }

    void init()
    {
        QVERIFY(showNewWindow(window, probe, true));
        view = probe->view();
    }
    void cleanup()
    {
        probe.reset();
        window.reset();
    }

    void aClickLeavesADisc_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<int>("size");
        QTest::addColumn<qreal>("zoom");
        for (int tool : {1, 2}) {
            for (int size : {1, 2, 20, 120}) {
                for (qreal zoom : {1.0, 1.37}) {
                    QTest::addRow("%s %d at zoom %.2f", tool == 1 ? "doodle" : "eraser", size, zoom)
                        << tool << size << zoom;
                }
            }
        }
    }
    void aClickLeavesADisc()
    {
        QFETCH(int, tool);
        QFETCH(int, size);
        QFETCH(qreal, zoom);
        QVERIFY(view->loadImage(picturePath));
        view->resetZoom();
        view->scale(zoom, zoom);
        const auto mode = static_cast<EditorMode>(tool);
        if (mode == EditorMode::Eraser)
            VelmoraViewProbe::mutableMask(*view).fill(MaskFile::layerInside);
        const QImage before = VelmoraViewProbe::mask(*view).copy();
        view->setMode(mode);
        view->setBrushSize(size);
        view->setEraserSize(size);

        const QPoint at = view->mapFromScene(QPointF(150.3, 100.6));
        const QPointF centre = view->mapToScene(at); // fractional when zoomed
        click(at);
        const QImage expected = paintedLike(before, mode, [&](QPainter &painter) {
            painter.drawEllipse(centre, size / 2.0, size / 2.0);
        });
        QCOMPARE(TestSupport::alphaOf(VelmoraViewProbe::mask(*view)),
                 TestSupport::alphaOf(expected));
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
        view->undo();
        QCOMPARE(VelmoraViewProbe::mask(*view), before);
    }

    void aDabOutsideThePictureIsStillAStep()
    {
        QVERIFY(view->loadImage(picturePath));
        view->setMode(EditorMode::Doodle);
        VelmoraViewProbe::beginStroke(*view, QPointF(-40, -40));
        VelmoraViewProbe::endStroke(*view);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
        QVERIFY(!view->isModified());
    }

    void keysChangeToolsAndSizes()
    {
        // No picture is needed for tools and sizes; nothing is painted.
        QTest::keyClick(window.get(), Qt::Key_B);
        QCOMPARE(view->getMode(), EditorMode::Doodle);
        QVERIFY(probe->doodleRadio()->isChecked());
        QCOMPARE(probe->statusLabel()->text(),
                 QStringLiteral("当前模式：涂鸦 (右键单击切换移动 / 双击切换橡皮擦)"));
        QCOMPARE(view->cursor().shape(), Qt::CrossCursor);
        for (int expected : {24, 29, 35}) {
            QTest::keyClick(window.get(), Qt::Key_BracketRight);
            QCOMPARE(view->getBrushSize(), expected);
        }
        QCOMPARE(probe->brushSpin()->value(), 35);
        QCOMPARE(probe->brushSlider()->value(), 35);
        QTest::keyClick(window.get(), Qt::Key_BracketLeft);
        QCOMPARE(view->getBrushSize(), 28);

        QTest::keyClick(window.get(), Qt::Key_E);
        QCOMPARE(view->getMode(), EditorMode::Eraser);
        QTest::keyClick(window.get(), Qt::Key_BracketRight);
        QCOMPARE(view->getEraserSize(), 36);
        QCOMPARE(view->getBrushSize(), 28);

        QTest::keyClick(window.get(), Qt::Key_V);
        QCOMPARE(view->getMode(), EditorMode::Move);
        QVERIFY(probe->moveRadio()->isChecked());
        QTest::keyClick(window.get(), Qt::Key_BracketRight); // in Move mode: the brush
        QCOMPARE(view->getBrushSize(), 34);
        QCOMPARE(view->getEraserSize(), 36);

        probe->brushSlider()->setValue(119);
        QTest::keyClick(window.get(), Qt::Key_BracketRight);
        QTest::keyClick(window.get(), Qt::Key_BracketRight);
        QCOMPARE(view->getBrushSize(), 120);
        probe->brushSlider()->setValue(2);
        QTest::keyClick(window.get(), Qt::Key_BracketLeft);
        QTest::keyClick(window.get(), Qt::Key_BracketLeft);
        QCOMPARE(view->getBrushSize(), 1);
        QVERIFY(VelmoraViewProbe::mask(*view).isNull());
    }

    void viewKeys()
    {
        QVERIFY(view->loadImage(picturePath));
        view->scale(3, 3);
        QTest::keyClick(window.get(), Qt::Key_0, Qt::ControlModifier); // fit
        const QRectF shown = view->mapToScene(view->viewport()->rect()).boundingRect();
        QVERIFY(shown.contains(QRectF(0, 0, 300, 200)));
        QVERIFY(shown.width() < 310 || shown.height() < 210);

        QTest::keyClick(window.get(), Qt::Key_1, Qt::ControlModifier); // 1:1
        QCOMPARE(view->transform().m11(), 1.0);
        const QPoint middle = view->viewport()->rect().center();
        const QPointF before = view->mapToScene(middle);
        for (const QKeySequence &key : QKeySequence::keyBindings(QKeySequence::ZoomIn).mid(0, 1))
            QTest::keySequence(window.get(), key);
        QVERIFY(qFuzzyCompare(view->transform().m11(), 1.15));
        QVERIFY((view->mapToScene(middle) - before).manhattanLength() < 1.0);
        for (const QKeySequence &key : QKeySequence::keyBindings(QKeySequence::ZoomOut).mid(0, 1))
            QTest::keySequence(window.get(), key);
        QVERIFY(qFuzzyCompare(view->transform().m11(), 1.0));
    }

    void keysWaitForTheStrokeToEnd()
    {
        QVERIFY(view->loadImage(picturePath));
        view->resetZoom();
        view->setMode(EditorMode::Doodle);
        const QPoint at = view->mapFromScene(QPointF(100, 100));
        sendMouse(view->viewport(), QEvent::MouseButtonPress, Qt::LeftButton, at, Qt::LeftButton);
        QVERIFY(view->isDrawing());
        const QTransform zoom = view->transform();
        QTest::keyClick(window.get(), Qt::Key_E);
        QTest::keyClick(window.get(), Qt::Key_V);
        QTest::keyClick(window.get(), Qt::Key_BracketRight);
        QTest::keyClick(window.get(), Qt::Key_BracketLeft);
        QTest::keyClick(window.get(), Qt::Key_H);
        QTest::keyClick(window.get(), Qt::Key_0, Qt::ControlModifier);
        QTest::keyPress(view, Qt::Key_Space);
        QCOMPARE(view->getMode(), EditorMode::Doodle);
        QVERIFY(probe->doodleRadio()->isChecked());
        const QList<QAction *> tools = menuNamed(*window, QStringLiteral("工具"))->actions();
        QVERIFY(tools.at(1)->isChecked() && !tools.at(2)->isChecked());
        QCOMPARE(view->getBrushSize(), 20);
        QVERIFY(!view->isMaskHidden());
        QCOMPARE(view->transform(), zoom);
        QCOMPARE(view->dragMode(), QGraphicsView::NoDrag);
        // The stroke goes on painting.
        sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, at + QPoint(40, 0),
                  Qt::LeftButton);
        sendMouse(view->viewport(), QEvent::MouseButtonRelease, Qt::LeftButton, at + QPoint(40, 0),
                  Qt::NoButton);
        QTest::keyRelease(view, Qt::Key_Space);
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(120, 100), 0xFF000000u);
        QTest::keyClick(window.get(), Qt::Key_E); // now it switches
        QCOMPARE(view->getMode(), EditorMode::Eraser);
    }

    // A pointer move draws again only where the outline was and is, and leaves no trail:
    // the view then looks as a whole redraw makes it.
    void theOutlineMovesWithoutRedrawingTheView()
    {
        QVERIFY(view->loadImage(picturePath));
        // The picture's reduced copies, made after opening, redraw the whole view once.
        QVERIFY(VelmoraViewProbe::waitForReducedPicture(*view));
        view->setMode(EditorMode::Doodle);
        view->setBrushSize(16);
        QWidget *port = view->viewport();
        const QPoint from = port->rect().center();
        const QPoint to = from + QPoint(90, 40);
        sendMouse(port, QEvent::MouseMove, Qt::NoButton, from, Qt::NoButton);
        QApplication::processEvents();

        struct PaintedRegions : QObject
        {
            QRegion painted;
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::Paint)
                    painted += static_cast<QPaintEvent *>(event)->region();
                return false;
            }
        } spy;
        port->installEventFilter(&spy);
        sendMouse(port, QEvent::MouseMove, Qt::NoButton, to, Qt::NoButton);
        QApplication::processEvents();
        port->removeEventFilter(&spy);
        QVERIFY(spy.painted.contains(from) && spy.painted.contains(to));
        QVERIFY(spy.painted.boundingRect().width() < port->width() / 2);

        // What the window shows, as the window system has it.
        const auto shown = [&] {
            return view->screen()->grabWindow(view->window()->winId()).toImage();
        };
        const QImage moved = shown();
        port->update();
        QApplication::processEvents();
        QCOMPARE(moved, shown());
    }

    void spaceHeldPansWithoutChangingTheMode()
    {
        QVERIFY(view->loadImage(picturePath));
        view->resetZoom();
        view->setMode(EditorMode::Eraser);
        probe->statusLabel()->setText(QStringLiteral("unchanged"));
        QSignalSpy modes(view, &VelmoraView::modeChanged);
        const QPoint from = view->viewport()->rect().center();
        const QPointF sceneBefore = view->mapToScene(from);

        QTest::keyPress(view, Qt::Key_Space);
        QTest::keyPress(view, Qt::Key_Space, Qt::NoModifier, -1); // auto-repeat, if it comes
        QCOMPARE(view->viewport()->cursor().shape(), Qt::OpenHandCursor);
        drag(from, from + QPoint(30, 20));
        QTest::keyRelease(view, Qt::Key_Space);
        const QPointF moved = sceneBefore - view->mapToScene(from);
        QVERIFY(qAbs(moved.x() - 30) <= 1 && qAbs(moved.y() - 20) <= 1);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 0);
        QCOMPARE(modes.count(), 0);
        QCOMPARE(view->getMode(), EditorMode::Eraser);
        QCOMPARE(probe->statusLabel()->text(), QStringLiteral("unchanged"));
        QCOMPARE(view->dragMode(), QGraphicsView::NoDrag);
        QCOMPARE(view->cursor().shape(), Qt::ForbiddenCursor);

        // Space let go in the middle of a drag ends the pan there; the drag does nothing more.
        QTest::keyPress(view, Qt::Key_Space);
        sendMouse(view->viewport(), QEvent::MouseButtonPress, Qt::LeftButton, from, Qt::LeftButton);
        sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, from + QPoint(10, 0),
                  Qt::LeftButton);
        QTest::keyRelease(view, Qt::Key_Space);
        const QPointF after = view->mapToScene(from);
        sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, from + QPoint(60, 0),
                  Qt::LeftButton);
        sendMouse(view->viewport(), QEvent::MouseButtonRelease, Qt::LeftButton,
                  from + QPoint(60, 0), Qt::NoButton);
        QCOMPARE(view->mapToScene(from), after);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 0);
        // A later move without a button must not pan either.
        sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, from, Qt::NoButton);
        QCOMPARE(view->mapToScene(from), after);
    }

    void lassoFillsAndErasesItsOutline_data()
    {
        QTest::addColumn<int>("tool");
        QTest::newRow("doodle fills") << 1;
        QTest::newRow("eraser clears") << 2;
    }
    void lassoFillsAndErasesItsOutline()
    {
        QFETCH(int, tool);
        QVERIFY(view->loadImage(picturePath));
        view->resetZoom();
        view->scale(1.37, 1.37);
        const auto mode = static_cast<EditorMode>(tool);
        view->setMode(mode);
        if (mode == EditorMode::Eraser)
            VelmoraViewProbe::mutableMask(*view).fill(MaskFile::layerInside);
        const QImage before = VelmoraViewProbe::mask(*view).copy();

        // A concave outline that crosses itself and runs past the picture's edge.
        const QVector<QPointF> corners = {{40, 30},  {200, 40}, {120, 90}, {290, 170},
                                          {60, 150}, {150, 60}, {-20, 100}};
        QVector<QPoint> points;
        for (const QPointF &corner : corners)
            points << view->mapFromScene(corner);
        QPolygonF outline;
        for (const QPoint &point : points)
            outline << view->mapToScene(point);

        sendMouse(view->viewport(), QEvent::MouseButtonPress, Qt::LeftButton, points.first(),
                  Qt::LeftButton, Qt::ShiftModifier);
        for (const QPoint &point : points.mid(1))
            sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, point, Qt::LeftButton);
        // While drawn, the outline shows in the view.
        const QImage shown = view->viewport()->grab().toImage();
        const QPoint onIt = (points.at(0) + points.at(1)) / 2;
        bool dark = false;
        for (int dy = -1; dy <= 1; ++dy)
            dark |= qGray(shown.pixel(onIt + QPoint(0, dy))) < 60 ||
                    qGray(shown.pixel(onIt + QPoint(0, dy))) > 240;
        QVERIFY(dark);
        sendMouse(view->viewport(), QEvent::MouseButtonRelease, Qt::LeftButton, points.last(),
                  Qt::NoButton);

        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        path.addPolygon(outline);
        path.closeSubpath();
        const QImage expected =
            paintedLike(before, mode, [&](QPainter &painter) { painter.drawPath(path); });
        const QImage after = VelmoraViewProbe::mask(*view).copy();
        QCOMPARE(TestSupport::alphaOf(after), TestSupport::alphaOf(expected));
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
        view->undo();
        QCOMPARE(VelmoraViewProbe::mask(*view), before);
        view->redo();
        QCOMPARE(VelmoraViewProbe::mask(*view), after);
    }

    void lassosThatEncloseNothingChangeNothing_data()
    {
        QTest::addColumn<QVector<QPoint>>("points");
        QTest::newRow("a click") << QVector<QPoint>{{50, 50}};
        QTest::newRow("two points") << QVector<QPoint>{{50, 50}, {90, 70}};
        QTest::newRow("on one line") << QVector<QPoint>{{50, 50}, {70, 60}, {90, 70}, {60, 55}};
        QTest::newRow("outside the picture") << QVector<QPoint>{{-80, -80}, {-20, -70}, {-50, -10}};
    }
    void lassosThatEncloseNothingChangeNothing()
    {
        QFETCH(QVector<QPoint>, points);
        QVERIFY(view->loadImage(picturePath));
        view->resetZoom();
        view->setMode(EditorMode::Doodle);
        const QPoint origin = view->mapFromScene(QPointF(0, 0));
        sendMouse(view->viewport(), QEvent::MouseButtonPress, Qt::LeftButton,
                  origin + points.first(), Qt::LeftButton, Qt::ShiftModifier);
        for (const QPoint &point : points.mid(1))
            sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, origin + point,
                      Qt::LeftButton);
        sendMouse(view->viewport(), QEvent::MouseButtonRelease, Qt::LeftButton,
                  origin + points.last(), Qt::NoButton);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 0);
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
    }

    void escapeDropsTheLasso()
    {
        QVERIFY(view->loadImage(picturePath));
        view->resetZoom();
        view->setMode(EditorMode::Doodle);
        const QPoint o = view->mapFromScene(QPointF(0, 0));
        sendMouse(view->viewport(), QEvent::MouseButtonPress, Qt::LeftButton, o + QPoint(20, 20),
                  Qt::LeftButton, Qt::ShiftModifier);
        sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, o + QPoint(120, 20),
                  Qt::LeftButton);
        sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, o + QPoint(120, 120),
                  Qt::LeftButton);
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(!view->isDrawing());
        sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, o + QPoint(20, 120),
                  Qt::LeftButton);
        sendMouse(view->viewport(), QEvent::MouseButtonRelease, Qt::LeftButton, o + QPoint(20, 120),
                  Qt::NoButton);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 0);
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
    }

    void aHiddenMaskShowsAgainBeforeAnythingPaints()
    {
        QVERIFY(view->loadImage(picturePath));
        view->resetZoom();
        QAction *hide = menuNamed(*window, QStringLiteral("视图"))->actions().at(5);
        QTest::keyClick(window.get(), Qt::Key_H);
        QVERIFY(view->isMaskHidden());
        QVERIFY(hide->isChecked());
        QVERIFY(!VelmoraViewProbe::maskItem(*view)->isVisible());
        QVERIFY(view->loadImage(picturePath)); // stays hidden for the next picture
        QVERIFY(!VelmoraViewProbe::maskItem(*view)->isVisible());

        view->setMode(EditorMode::Doodle);
        click(view->mapFromScene(QPointF(50, 50)));
        QVERIFY(!view->isMaskHidden());
        QVERIFY(!hide->isChecked());
        QVERIFY(VelmoraViewProbe::maskItem(*view)->isVisible());

        QTest::keyClick(window.get(), Qt::Key_H);
        const QPoint o = view->mapFromScene(QPointF(0, 0));
        sendMouse(view->viewport(), QEvent::MouseButtonPress, Qt::LeftButton, o + QPoint(100, 100),
                  Qt::LeftButton, Qt::ShiftModifier);
        for (const QPoint &p : {QPoint(150, 100), QPoint(150, 150), QPoint(100, 150)})
            sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, o + p, Qt::LeftButton);
        sendMouse(view->viewport(), QEvent::MouseButtonRelease, Qt::LeftButton,
                  o + QPoint(100, 150), Qt::NoButton);
        QVERIFY(!view->isMaskHidden());
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(125, 125), 0xFF000000u);
    }

private:
    void click(QPoint at)
    {
        sendMouse(view->viewport(), QEvent::MouseButtonPress, Qt::LeftButton, at, Qt::LeftButton);
        sendMouse(view->viewport(), QEvent::MouseButtonRelease, Qt::LeftButton, at, Qt::NoButton);
    }
    void drag(QPoint from, QPoint to)
    {
        sendMouse(view->viewport(), QEvent::MouseButtonPress, Qt::LeftButton, from, Qt::LeftButton);
        sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, (from + to) / 2,
                  Qt::LeftButton);
        sendMouse(view->viewport(), QEvent::MouseMove, Qt::NoButton, to, Qt::LeftButton);
        sendMouse(view->viewport(), QEvent::MouseButtonRelease, Qt::LeftButton, to, Qt::NoButton);
    }

    QTemporaryDir dir;
    QString picturePath;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
    VelmoraView *view = nullptr;
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
