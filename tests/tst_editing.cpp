// Opening a picture with its mask, and painting, erasing, panning and zooming with the mouse.

#include "files/maskfile.h"
#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QDir>
#include <QFile>
#include <QGraphicsScene>
#include <QLabel>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A pixel inside the mask, as QImage::pixel() reads the one-byte layer.
constexpr QRgb inside = 0xFF000000u;

void sendMouse(QWidget *target, QEvent::Type type, Qt::MouseButton button, QPoint pos,
               Qt::MouseButtons held)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void press(QGraphicsView &v, QPoint p, Qt::MouseButton b = Qt::LeftButton)
{
    sendMouse(v.viewport(), QEvent::MouseButtonPress, b, p, b);
}
void release(QGraphicsView &v, QPoint p, Qt::MouseButton b = Qt::LeftButton)
{
    sendMouse(v.viewport(), QEvent::MouseButtonRelease, b, p, Qt::NoButton);
}
void moveTo(QGraphicsView &v, QPoint p, Qt::MouseButtons held = Qt::LeftButton)
{
    sendMouse(v.viewport(), QEvent::MouseMove, Qt::NoButton, p, held);
}
// The order the toolkit delivers a double-click in.
void doubleClick(QGraphicsView &v, QPoint p, Qt::MouseButton b)
{
    press(v, p, b);
    release(v, p, b);
    sendMouse(v.viewport(), QEvent::MouseButtonDblClick, b, p, b);
    release(v, p, b);
}
void wheel(QGraphicsView &v, QPoint p, int deltaY)
{
    QWheelEvent event(p, v.viewport()->mapToGlobal(p), QPoint(), QPoint(0, deltaY), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(v.viewport(), &event);
}

} // namespace

class TestEditing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Settings go to the test location, never to the user's own, however this is run.
        QStandardPaths::setTestModeEnabled(true);
        qRegisterMetaType<EditorMode>();
        QVERIFY(dir.isValid());
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

    void loadShowsPictureAndStoredMask()
    {
        const QString path = picture(QStringLiteral("cat.png"), 40, 30);
        QImage stored(40, 30, QImage::Format_Grayscale8);
        stored.fill(0);
        stored.scanLine(5)[7] = 255;
        stored.scanLine(29)[39] = 200;
        QVERIFY(stored.save(dir.filePath(QStringLiteral("cat_mask.png"))));

        view->setMode(EditorMode::Eraser);
        QSignalSpy canUndo(view.get(), &VelmoraView::canUndoChanged);
        QVERIFY(view->loadImage(path));
        QCOMPARE(canUndo.count(), 1); // emitted even though the history was empty
        QVERIFY(!canUndo.first().first().toBool());
        QCOMPARE(view->getImagePath(), path);
        QCOMPARE(view->getMode(), EditorMode::Eraser);
        QCOMPARE(view->cursor().shape(), Qt::ForbiddenCursor);

        const QImage &mask = VelmoraViewProbe::mask(*view);
        QCOMPARE(mask.format(), MaskFile::layerFormat);
        QCOMPARE(mask.size(), QSize(40, 30));
        QCOMPARE(TestSupport::maskedPixels(mask), 2);
        QCOMPARE(mask.pixel(7, 5), inside);
        QCOMPARE(mask.pixel(39, 29), inside);
        QVERIFY(VelmoraViewProbe::showsMaskLayer(*view));

        QGraphicsScene *scene = VelmoraViewProbe::imageItem(*view)->scene();
        QCOMPARE(scene->items().size(), 2);
        QCOMPARE(scene->sceneRect(), QRectF(-50000, -50000, 100000, 100000));
        QCOMPARE(VelmoraViewProbe::imageItem(*view)->pos(), QPointF(0, 0));
        QCOMPARE(VelmoraViewProbe::maskItem(*view)->pos(), QPointF(0, 0));
        QVERIFY(VelmoraViewProbe::maskItem(*view)->zValue() ==
                VelmoraViewProbe::imageItem(*view)->zValue());
        QCOMPARE(scene->items(Qt::AscendingOrder).last(), VelmoraViewProbe::maskItem(*view));
    }

    void smallPicturesAreCentredBigOnesFitted_data()
    {
        QTest::addColumn<int>("dw");
        QTest::addColumn<int>("dh");
        QTest::addColumn<bool>("fitted");
        QTest::newRow("smaller") << -50 << -50 << false;
        QTest::newRow("exactly the viewport") << 0 << 0 << false;
        QTest::newRow("one pixel wider") << 1 << 0 << true;
        QTest::newRow("one pixel taller") << 0 << 1 << true;
    }
    void smallPicturesAreCentredBigOnesFitted()
    {
        QFETCH(int, dw);
        QFETCH(int, dh);
        QFETCH(bool, fitted);
        const QSize port = view->viewport()->size();
        const QString path =
            picture(QStringLiteral("fit.png"), port.width() + dw, port.height() + dh);
        view->scale(3, 3);
        QVERIFY(view->loadImage(path));
        const qreal zoom = view->transform().m11();
        if (fitted) {
            QVERIFY(zoom < 1.0);
            QCOMPARE(view->transform().m22(), zoom); // aspect ratio kept
        } else {
            QCOMPARE(zoom, 1.0);
            const QPointF centre = view->mapToScene(view->viewport()->rect().center());
            QVERIFY(qAbs(centre.x() - (port.width() + dw) / 2.0) <= 1.0);
            QVERIFY(qAbs(centre.y() - (port.height() + dh) / 2.0) <= 1.0);
        }
    }

    void failedLoadLeavesTheDocumentAsItWas_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not an image") << "text";
        QTest::newRow("zero bytes") << "empty";
        QTest::newRow("missing") << "missing";
        QTest::newRow("truncated") << "truncated";
    }
    void failedLoadLeavesTheDocumentAsItWas()
    {
        QFETCH(QString, kind);
        const QString good = picture(QStringLiteral("good.png"), 50, 40);
        QVERIFY(view->loadImage(good));
        view->clearMask();
        VelmoraViewProbe::mutableMask(*view).setPixel(1, 1, inside);
        QGraphicsItem *item = VelmoraViewProbe::imageItem(*view);

        const QString bad = dir.filePath(QStringLiteral("bad.png"));
        QFile::remove(bad);
        if (kind != QLatin1String("missing")) {
            QFile file(bad);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (kind == QLatin1String("text"))
                file.write("hello");
            if (kind == QLatin1String("truncated")) {
                QFile source(good);
                QVERIFY(source.open(QIODevice::ReadOnly));
                file.write(source.readAll().left(60));
            }
        }
        QSignalSpy canUndo(view.get(), &VelmoraView::canUndoChanged);
        QVERIFY(!view->loadImage(bad));
        QCOMPARE(canUndo.count(), 0);
        QCOMPARE(view->getImagePath(), good);
        QCOMPARE(VelmoraViewProbe::imageItem(*view), item);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(1, 1), inside);
    }

#ifdef Q_OS_LINUX
    // A picture or a mask layer that can't be had must not half-open.
    void pictureTooBigForMemoryLeavesTheDocumentAsItWas()
    {
        const QString good = picture(QStringLiteral("small.png"), 50, 40);
        QVERIFY(view->loadImage(good));
        VelmoraViewProbe::mutableMask(*view).setPixel(2, 2, inside);
        // Both are beyond the largest block malloc keeps in its heap after a free (32 MiB),
        // so each really asks the system for memory.
        const QString big = picture(QStringLiteral("big.png"), 4000, 3000);

        // The picture and its mask layer are made on two threads at once, so which of them
        // runs out first is left to chance; with room for neither whole (48 MB each) the
        // load must fail either way.
        bool loaded = true;
        TestSupport::withMemoryLeft(40 * 1024 * 1024, [&] { loaded = view->loadImage(big); });

        QVERIFY(!loaded);
        QCOMPARE(view->getImagePath(), good);
        QCOMPARE(VelmoraViewProbe::mask(*view).size(), QSize(50, 40));
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(2, 2), inside);
        QVERIFY(view->loadImage(big)); // with memory back it opens
    }
#endif

    void oddNamesFindTheirMask_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("maskName");
        QTest::newRow("two dots") << "cat.left.png"
                                  << "cat.left_mask.png";
        QTest::newRow("upper case") << "CAT.PNG"
                                    << "CAT_mask.PNG";
        QTest::newRow("spaces Chinese %1") << "我的 %1 图.png"
                                           << "我的 %1 图_mask.png";
        QTest::newRow("jpeg") << "photo.jpg"
                              << "photo_mask.jpg";
        QTest::newRow("bmp") << "scan.bmp"
                             << "scan_mask.bmp";
    }
    void oddNamesFindTheirMask()
    {
        QFETCH(QString, name);
        QFETCH(QString, maskName);
        QTemporaryDir here;
        const QString path = here.filePath(name);
        QVERIFY(TestSupport::makePicture(24, 16).save(path));
        QImage stored(24, 16, QImage::Format_Grayscale8);
        stored.fill(0);
        for (int y = 4; y < 12; ++y)
            memset(stored.scanLine(y) + 4, 255, 12);
        QVERIFY(stored.save(here.filePath(maskName)));
        // Another picture's mask that the old reading rule would have picked up.
        QImage other(24, 16, QImage::Format_Grayscale8);
        other.fill(255);
        QVERIFY(other.save(here.filePath(QStringLiteral("cat_mask.png"))));

        QVERIFY(view->loadImage(path));
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 8 * 12);
        QCOMPARE(MaskFile::pathFor(path), here.filePath(maskName));
    }

    void strokePaintsOneUndoStepAndEraserErases()
    {
        QVERIFY(view->loadImage(picture(QStringLiteral("p.png"), 200, 150)));
        view->resetZoom();
        view->setMode(EditorMode::Doodle);
        view->setBrushSize(10);
        const QPoint origin = view->mapFromScene(QPointF(0, 0));

        // A click without movement leaves a dab of the brush's size in one undo step.
        press(*view, origin + QPoint(50, 50));
        QVERIFY(view->isDrawing());
        release(*view, origin + QPoint(50, 50));
        QVERIFY(!view->isDrawing());
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(50, 50), inside);
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(50, 56), 0u);
        view->undo();
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);

        // Far-apart moves still give a closed line.
        press(*view, origin + QPoint(20, 40));
        moveTo(*view, origin + QPoint(100, 40));
        moveTo(*view, origin + QPoint(180, 40));
        release(*view, origin + QPoint(180, 40));
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
        const QImage &mask = VelmoraViewProbe::mask(*view);
        for (int x = 20; x <= 180; ++x)
            QCOMPARE(mask.pixel(x, 40), inside);
        QCOMPARE(qAlpha(mask.pixel(100, 47)), 0);
        QVERIFY(VelmoraViewProbe::showsMaskLayer(*view));

        // The Eraser clears the middle, leaving a faint rim that still counts as mask.
        view->setMode(EditorMode::Eraser);
        view->setEraserSize(20);
        press(*view, origin + QPoint(100, 10));
        moveTo(*view, origin + QPoint(100, 70));
        release(*view, origin + QPoint(100, 70));
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 2);
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(100, 40), 0u);
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(60, 40), inside);
        QVERIFY(VelmoraViewProbe::showsMaskLayer(*view));

        view->undo();
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(100, 40), inside);
        view->undo();
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
    }

    void segmentsAreClippedByThePicture()
    {
        QVERIFY(view->loadImage(picture(QStringLiteral("clip.png"), 31, 17)));
        view->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*view, QPointF(-100, -100), QPointF(-50, -40));
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
        VelmoraViewProbe::stroke(*view, QPointF(-20, 8), QPointF(60, 8));
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(0, 8), inside);
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(30, 8), inside);
        QVERIFY(VelmoraViewProbe::showsMaskLayer(*view));
    }

    void noPictureStrokesChangeNothing()
    {
        view->setMode(EditorMode::Doodle);
        QSignalSpy canUndo(view.get(), &VelmoraView::canUndoChanged);
        press(*view, QPoint(10, 10));
        moveTo(*view, QPoint(50, 50));
        release(*view, QPoint(50, 50));
        QCOMPARE(canUndo.count(), 0);
        QVERIFY(VelmoraViewProbe::mask(*view).isNull());
    }

    void rightClicksSwitchModes()
    {
        QSignalSpy modes(view.get(), &VelmoraView::modeChanged);
        press(*view, QPoint(5, 5), Qt::RightButton);
        release(*view, QPoint(5, 5), Qt::RightButton);
        QCOMPARE(view->getMode(), EditorMode::Doodle);
        press(*view, QPoint(5, 5), Qt::RightButton);
        QCOMPARE(view->getMode(), EditorMode::Move);
        view->setMode(EditorMode::Eraser); // entered from Move
        press(*view, QPoint(5, 5), Qt::RightButton);
        QCOMPARE(view->getMode(), EditorMode::Move);
        QCOMPARE(modes.count(), 4);
    }

    void rightDoubleClickSelectsTheEraser_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("previousAfter");
        QTest::newRow("from move") << 0 << 1;
        QTest::newRow("from doodle") << 1 << 0;
    }
    void rightDoubleClickSelectsTheEraser()
    {
        QFETCH(int, before);
        QFETCH(int, previousAfter);
        view->setMode(static_cast<EditorMode>(before));
        doubleClick(*view, QPoint(30, 30), Qt::RightButton);
        QCOMPARE(view->getMode(), EditorMode::Eraser);
        QCOMPARE(VelmoraViewProbe::previousMode(*view), static_cast<EditorMode>(previousAfter));
        press(*view, QPoint(30, 30), Qt::RightButton);
        QCOMPARE(view->getMode(), static_cast<EditorMode>(previousAfter));
    }

    void rightButtonDuringAStroke()
    {
        QVERIFY(view->loadImage(picture(QStringLiteral("s.png"), 200, 150)));
        view->resetZoom();
        view->setMode(EditorMode::Doodle);
        const QPoint o = view->mapFromScene(QPointF(0, 0));
        press(*view, o + QPoint(20, 75));
        moveTo(*view, o + QPoint(100, 75));
        press(*view, o + QPoint(100, 75), Qt::RightButton); // ignored while stroking
        QCOMPARE(view->getMode(), EditorMode::Doodle);
        // A right double-click switches to the Eraser; the stroke goes on erasing.
        sendMouse(view->viewport(), QEvent::MouseButtonDblClick, Qt::RightButton,
                  o + QPoint(100, 75), Qt::LeftButton | Qt::RightButton);
        QCOMPARE(view->getMode(), EditorMode::Eraser);
        moveTo(*view, o + QPoint(40, 75));
        release(*view, o + QPoint(40, 75));
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(70, 75), 0u);
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(20, 75), inside);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
    }

    void leftDoubleClickStartsNoSecondStroke()
    {
        QVERIFY(view->loadImage(picture(QStringLiteral("d.png"), 200, 150)));
        view->resetZoom();
        view->setMode(EditorMode::Doodle);
        const QPoint o = view->mapFromScene(QPointF(0, 0));
        press(*view, o + QPoint(50, 50));
        release(*view, o + QPoint(50, 50));
        const QImage dab = VelmoraViewProbe::mask(*view).copy();
        sendMouse(view->viewport(), QEvent::MouseButtonDblClick, Qt::LeftButton, o + QPoint(50, 50),
                  Qt::LeftButton);
        QVERIFY(!view->isDrawing());
        moveTo(*view, o + QPoint(120, 50));
        release(*view, o + QPoint(120, 50));
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 1);
        QCOMPARE(VelmoraViewProbe::mask(*view), dab); // the first click's dab, nothing more
    }

    void wheelZoomsInFixedSteps()
    {
        QVERIFY(view->loadImage(picture(QStringLiteral("w.png"), 100, 80)));
        QCOMPARE(view->transform().m11(), 1.0);
        wheel(*view, QPoint(50, 50), 480); // a big delta is still one step
        QCOMPARE(view->transform().m11(), 1.15);
        wheel(*view, QPoint(50, 50), -120);
        QVERIFY(qFuzzyCompare(view->transform().m11(), 1.0));
        wheel(*view, QPoint(50, 50), 0); // a horizontal wheel zooms out
        QVERIFY(qFuzzyCompare(view->transform().m11(), 1.0 / 1.15));
        view->setMode(EditorMode::Doodle);
        for (int i = 0; i < 40; ++i)
            wheel(*view, QPoint(50, 50), 120);
        QVERIFY(view->transform().m11() > 200);
    }

    void pointerPositionIsTrackedAndForgottenOnLeave()
    {
        moveTo(*view, QPoint(33, 44), Qt::NoButton);
        QCOMPARE(VelmoraViewProbe::cursorViewPos(*view), QPoint(33, 44));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(view.get(), &leave);
        QCOMPARE(VelmoraViewProbe::cursorViewPos(*view), QPoint(-1, -1));
    }

    // The status bar tells the picture pixel under the pointer and the zoom.
    void statusBarShowsThePixelUnderThePointerAndTheZoom()
    {
        MainWindow window;
        MainWindowProbe probe(window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString path = dir.filePath(QStringLiteral("where.png"));
        QVERIFY(TestSupport::makePicture(100, 80).save(path));
        window.openPicture(path);
        VelmoraView &shown = *probe.view();
        QLabel *position = probe.positionLabel();
        QCOMPARE(position->text(), QStringLiteral("100%"));

        // The picture pixel under a viewport point, as the status bar should name it.
        const auto pixelText = [&](QPointF scenePoint, const char *zoom) {
            const QPoint at = shown.mapFromScene(scenePoint);
            moveTo(shown, at, Qt::NoButton);
            const QPointF under = shown.mapToScene(at);
            return QStringLiteral("(%1, %2)   %3")
                .arg(qFloor(under.x()))
                .arg(qFloor(under.y()))
                .arg(QLatin1String(zoom));
        };
        QString expected = pixelText(QPointF(10.5, 20.5), "100%");
        QCOMPARE(position->text(), expected);
        QVERIFY(expected.startsWith(QStringLiteral("(1"))); // near (10, 20)
        QCOMPARE(position->text(), pixelText(QPointF(98.5, 78.5), "100%"));
        moveTo(shown, shown.mapFromScene(QPointF(103, 79)), Qt::NoButton); // off the picture
        QCOMPARE(position->text(), QStringLiteral("100%"));
        shown.zoomIn();
        QCOMPARE(position->text(), QStringLiteral("115%"));
        QCOMPARE(position->text(), pixelText(QPointF(50.5, 40.5), "115%"));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&shown, &leave);
        QCOMPARE(position->text(), QStringLiteral("115%"));
    }

    void leftDragInMovePans()
    {
        QVERIFY(view->loadImage(picture(QStringLiteral("pan.png"), 100, 80)));
        const QPointF before = view->mapToScene(QPoint(200, 150));
        press(*view, QPoint(200, 150));
        moveTo(*view, QPoint(230, 170));
        moveTo(*view, QPoint(260, 190));
        release(*view, QPoint(260, 190));
        const QPointF after = view->mapToScene(QPoint(200, 150));
        QVERIFY(qAbs(before.x() - after.x() - 60) <= 1);
        QVERIFY(qAbs(before.y() - after.y() - 40) <= 1);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 0);
    }

    void openingThroughTheWindow()
    {
        MainWindow window;
        MainWindowProbe probe(window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSettings settings(QStringLiteral("Ostrenza"), QStringLiteral("Velmora"));
        settings.remove(QStringLiteral("LastOpenDir"));
        QVERIFY(settings.fileName().contains(QLatin1String("/.qttest/")));

        // Cancelling changes nothing and stores nothing.
        TestSupport::answerFileDialog(QString());
        probe.openImage();
        QCOMPARE(probe.statusLabel()->text(), QStringLiteral("请打开图片"));
        settings.sync();
        QVERIFY(!settings.contains(QStringLiteral("LastOpenDir")));

        QTemporaryDir here;
        const QString path = here.filePath(QStringLiteral("猫 %1.png"));
        QVERIFY(TestSupport::makePicture(30, 20).save(path));
        QString caption;
        QStringList filters;
        TestSupport::answerFileDialog(path, nullptr, &caption, &filters);
        // The wait cursor shows while the picture loads, never while the dialog waits.
        bool busyWhileLoading = false;
        const QMetaObject::Connection watch =
            connect(probe.view(), &VelmoraView::canUndoChanged, this,
                    [&] { busyWhileLoading = QApplication::overrideCursor() != nullptr; });
        probe.openImage();
        disconnect(watch);
        QVERIFY(busyWhileLoading);
        QVERIFY(!TestSupport::waitCursorSeenInDialog());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(caption, QStringLiteral("选择图片"));
        // Every format first, then the four of old together.
        QVERIFY(filters.first().startsWith(QStringLiteral("所有图片 (*.png *.jpg *.jpeg *.bmp")));
        QCOMPARE(filters.at(1), QStringLiteral("Images (*.png *.jpg *.jpeg *.bmp)"));
        QCOMPARE(probe.view()->getImagePath(), path);
        QCOMPARE(probe.statusLabel()->text(), QStringLiteral("已加载: ") + path);
        QCOMPARE(VelmoraViewProbe::maskItem(*probe.view())->opacity(), 0.5);
        settings.sync();
        QCOMPARE(settings.value(QStringLiteral("LastOpenDir")).toString(),
                 QFileInfo(path).absolutePath());

        // A file that is no picture is reported as such; the folder is still remembered.
        QTemporaryDir other;
        const QString bad = other.filePath(QStringLiteral("broken.png"));
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        probe.opacitySlider()->setValue(80);
        QString startedIn;
        TestSupport::answerFileDialog(bad, &startedIn);
        probe.openImage();
        QCOMPARE(startedIn, QFileInfo(path).absolutePath());
        QCOMPARE(probe.statusLabel()->text(), QStringLiteral("无法加载: ") + bad);
        QCOMPARE(probe.view()->getImagePath(), path);
        settings.sync();
        QCOMPARE(settings.value(QStringLiteral("LastOpenDir")).toString(), other.path());
        QCOMPARE(VelmoraViewProbe::maskItem(*probe.view())->opacity(), 0.8);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

private:
    QString picture(const QString &name, int width, int height)
    {
        const QString path = dir.filePath(name);
        if (!TestSupport::makePicture(width, height).save(path))
            return QString();
        return path;
    }

    QTemporaryDir dir;
    std::unique_ptr<MaskDocument> document; // outlives the view
    std::unique_ptr<VelmoraView> view;
};

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
