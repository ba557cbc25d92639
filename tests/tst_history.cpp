// The mask's history: undo, redo and clear restore exact pixels, the history keeps 21 steps,
// the view knows whether the mask is saved, and memory running out never leaves a change
// that can't be undone.

#include "support/testsupport.h"
#include "support/viewprobe.h"

#include "region/regionops.h"
#include <QSignalSpy>
#include <QTemporaryDir>

#include <QtTest>

namespace {

struct Stroke
{
    EditorMode tool;
    int width;
    QVector<QPointF> points;
};

// Paints a stroke as QPainter alone would on a plain ARGB32 layer: a disc of the tool's size
// at the press point, then one round-capped line per segment.
void paintReference(QImage &layer, const Stroke &stroke)
{
    QPointF last = stroke.points.first();
    for (int i = 0; i < stroke.points.size(); ++i) {
        const QPointF point = stroke.points.at(i);
        QPainter painter(&layer);
        const bool doodle = stroke.tool == EditorMode::Doodle;
        const QColor ink = doodle ? QColor(255, 0, 0, 255) : QColor(Qt::transparent);
        painter.setCompositionMode(doodle ? QPainter::CompositionMode_SourceOver
                                          : QPainter::CompositionMode_Clear);
        painter.setRenderHint(QPainter::Antialiasing, true);
        if (i == 0) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(ink);
            painter.drawEllipse(point, stroke.width / 2.0, stroke.width / 2.0);
        } else {
            painter.setPen(
                QPen(QBrush(ink), stroke.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawLine(QLineF(last, point));
        }
        last = point;
    }
}

// The file rule, pixel by pixel: 255 where the layer's alpha is above 0.
QImage exportByRule(const QImage &layer)
{
    QImage gray(layer.size(), QImage::Format_Grayscale8);
    gray.fill(0);
    for (int y = 0; y < layer.height(); ++y)
        for (int x = 0; x < layer.width(); ++x)
            if (layer.pixelColor(x, y).alpha() > 0)
                gray.scanLine(y)[x] = 255;
    return gray;
}

void strokeInView(VelmoraView &view, const Stroke &stroke)
{
    view.setMode(stroke.tool);
    view.setBrushSize(stroke.width);
    view.setEraserSize(stroke.width);
    VelmoraViewProbe::stroke(view, stroke.points);
}

// The k-th of a row of short strokes, 3 pixels apart: it covers the pixels at x = 3k.
Stroke mark(int k)
{
    return {EditorMode::Doodle, 1, {QPointF(3 * k + 0.5, 0.5), QPointF(3 * k + 0.5, 3.5)}};
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<EditorMode>();
        QVERIFY(dir.isValid());
    }

    void init()
    {
        view.reset();
        document.reset(new MaskDocument);
        view.reset(new VelmoraView(document.get()));
        view->resize(400, 300);
    }

    void stepsRestoreExactPixels_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("odd") << QSize(37, 23);
        QTest::newRow("across tile borders") << QSize(300, 261);
        QTest::newRow("one row") << QSize(301, 1);
        QTest::newRow("one column") << QSize(1, 257);
    }
    void stepsRestoreExactPixels()
    {
        QFETCH(QSize, size);
        QVERIFY(view->loadImage(picture(size)));
        const qreal w = size.width();
        const qreal h = size.height();
        const QList<Stroke> strokes = {
            {EditorMode::Doodle, 7, {{2, 2}, {w / 2, h / 3}, {w - 3, h - 2}}},
            {EditorMode::Doodle, 1, {{w / 2, h / 2}}},                 // a click
            {EditorMode::Doodle, 15, {{-10, h / 2}, {w + 10, h / 3}}}, // past both edges
            {EditorMode::Doodle, 9, {{-50, -50}, {-20, -30}}},         // wholly outside
            {EditorMode::Eraser, 5, {{w / 3, -4}, {w / 3, h + 4}}},    // leaves a rim
            {EditorMode::Doodle, 60, {{127.5, 0}, {129.25, h}}},       // on a tile border
            {EditorMode::Eraser, 33, {{120.3, 120.7}, {140, 135}, {250, 2}}},
            {EditorMode::Doodle, 2, {{0.5, h - 1}, {64, 1}, {128, h - 1}, {w, 0}}},
            {EditorMode::Doodle, 120, {{w - 1, h - 1}, {w - 1, h - 1}}},
        };

        QImage reference(size, QImage::Format_ARGB32);
        reference.fill(Qt::transparent);
        QVector<QImage> states{VelmoraViewProbe::mask(*view).copy()};
        for (const Stroke &stroke : strokes) {
            strokeInView(*view, stroke);
            paintReference(reference, stroke);
            QCOMPARE(view->exportMask(), exportByRule(reference));
            states << VelmoraViewProbe::mask(*view).copy();
        }

        for (int i = states.size() - 2; i >= 0; --i) {
            view->undo();
            QCOMPARE(VelmoraViewProbe::mask(*view), states.at(i));
            QVERIFY(VelmoraViewProbe::showsMaskLayer(*view));
        }
        for (int i = 1; i < states.size(); ++i) {
            view->redo();
            QCOMPARE(VelmoraViewProbe::mask(*view), states.at(i));
        }
        QCOMPARE(view->exportMask(), exportByRule(reference));

        view->clearMask();
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
        QVERIFY(VelmoraViewProbe::showsMaskLayer(*view));
        view->undo();
        QCOMPARE(VelmoraViewProbe::mask(*view), states.last());
        view->redo();
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*view)), 0);
        view->undo();
        view->undo();
        QCOMPARE(VelmoraViewProbe::mask(*view), states.at(states.size() - 2));
    }

    void historyKeepsTheNewest21Steps()
    {
        QVERIFY(view->loadImage(picture(QSize(80, 48))));
        QSignalSpy canUndo(view.get(), &VelmoraView::canUndoChanged);
        QVector<QImage> states{VelmoraViewProbe::mask(*view).copy()};
        for (int k = 1; k <= 25; ++k) {
            strokeInView(*view, mark(k));
            states << VelmoraViewProbe::mask(*view).copy();
        }
        QCOMPARE(VelmoraViewProbe::historySize(*view), 21);
        QCOMPARE(canUndo.count(), 25);
        for (const QList<QVariant> &args : canUndo)
            QVERIFY(args.first().toBool());
        canUndo.clear();

        for (int i = 0; i < 21; ++i)
            view->undo();
        QCOMPARE(canUndo.count(), 21);
        QVERIFY(!canUndo.last().first().toBool());
        QVERIFY(canUndo.at(19).first().toBool());
        // The oldest step kept is the 5th stroke: strokes 1 to 4 remain.
        QCOMPARE(VelmoraViewProbe::mask(*view), states.at(4));
        canUndo.clear();
        view->undo();
        QCOMPARE(canUndo.count(), 0);
        QCOMPARE(VelmoraViewProbe::mask(*view), states.at(4));

        for (int i = 0; i < 21; ++i)
            view->redo();
        QCOMPARE(VelmoraViewProbe::mask(*view), states.at(25));
        view->redo();
        QCOMPARE(VelmoraViewProbe::mask(*view), states.at(25));
        QCOMPARE(canUndo.count(), 21);
    }

    void redoIsDroppedByANewStepAndByALoad()
    {
        const QString path = picture(QSize(64, 48));
        QVERIFY(view->loadImage(path));
        QSignalSpy canRedo(view.get(), &VelmoraView::canRedoChanged);
        const auto redoable = [&] {
            return !canRedo.isEmpty() && canRedo.last().first().toBool();
        };
        strokeInView(*view, mark(1));
        strokeInView(*view, mark(2));
        QVERIFY(!redoable());
        view->undo();
        QVERIFY(redoable());

        strokeInView(*view, mark(3)); // a new stroke
        QVERIFY(!redoable());
        const QImage now = VelmoraViewProbe::mask(*view).copy();
        view->redo();
        QCOMPARE(VelmoraViewProbe::mask(*view), now);
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(6, 1), 0u);
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(9, 1), 0xFF000000u);

        view->undo();
        QVERIFY(redoable());
        view->clearMask(); // a clear
        QVERIFY(!redoable());

        view->undo();
        QVERIFY(redoable());
        QVERIFY(view->loadImage(path)); // a load
        QVERIFY(!redoable());
        view->redo();
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 0);
    }

    void undoAndRedoWaitForTheStrokeToEnd()
    {
        QVERIFY(view->loadImage(picture(QSize(64, 48))));
        strokeInView(*view, mark(1));
        strokeInView(*view, mark(2));
        view->undo();
        view->setMode(EditorMode::Doodle);
        VelmoraViewProbe::beginStroke(*view, QPointF(10, 10));
        VelmoraViewProbe::segment(*view, QPointF(20, 20));
        const QImage during = VelmoraViewProbe::mask(*view).copy();
        view->undo();
        view->redo();
        view->clearMask();
        QCOMPARE(VelmoraViewProbe::mask(*view), during);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 2);
        VelmoraViewProbe::endStroke(*view);
        view->undo();
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(15, 15), 0u);
        QCOMPARE(VelmoraViewProbe::mask(*view).pixel(3, 1), 0xFF000000u);
    }

    void modifiedFollowsTheSavedState()
    {
        const QString path = picture(QSize(300, 200));
        QVERIFY(view->loadImage(path));
        QSignalSpy modified(view.get(), &VelmoraView::modifiedChanged);
        QVERIFY(!view->isModified());

        // Steps that change no pixel are undo steps, but leave the mask as saved.
        strokeInView(*view, {EditorMode::Doodle, 20, {{-100, -100}, {-50, -60}}});
        view->clearMask();
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), 2);
        QVERIFY(!view->isModified());
        QCOMPARE(modified.count(), 0);

        strokeInView(*view, {EditorMode::Doodle, 40, {{50, 100}, {250, 100}}});
        QVERIFY(view->isModified());
        QCOMPARE(modified.count(), 1);
        view->markSaved();
        QVERIFY(!view->isModified());
        // Red over red that is already opaque changes nothing.
        strokeInView(*view, {EditorMode::Doodle, 4, {{100, 100}, {200, 100}}});
        QVERIFY(!view->isModified());

        view->undo(); // the red over red
        view->undo(); // the wide stroke, past the saved state
        QVERIFY(view->isModified());
        view->redo();
        QVERIFY(!view->isModified());
        view->redo();
        QVERIFY(!view->isModified());
        QCOMPARE(modified.count(), 4);

        // Once the saved state has dropped off the end of the history, only a save gets back.
        for (int k = 1; k <= 22; ++k)
            strokeInView(*view, mark(k));
        for (int k = 0; k < 21; ++k)
            view->undo();
        QVERIFY(view->isModified());
        view->markSaved();
        QVERIFY(!view->isModified());

        strokeInView(*view, mark(30));
        QVERIFY(view->isModified());
        QVERIFY(view->loadImage(path)); // a fresh load is as saved
        QVERIFY(!view->isModified());
        QVERIFY(!modified.last().first().toBool());
    }

    // A step that changes everything, as an invert does, keeps only the tiles along the
    // mask's edges as pixels, and undoes and redoes exactly.
    void tilesOfOneValueAreHeldAsThatValue()
    {
        QVERIFY(view->loadImage(picture(QSize(2048, 1536))));
        strokeInView(*view, {EditorMode::Doodle, 200, {{300, 300}, {700, 400}}});
        const QImage before = VelmoraViewProbe::mask(*view).copy();
        const qint64 strokeBytes = VelmoraViewProbe::historyBytes(*view);
        const QImage expected = Region::inverted(view->exportMask());
        view->invertMask();
        QCOMPARE(view->exportMask(), expected);
        const QImage inverted = VelmoraViewProbe::mask(*view).copy();
        const qint64 wholeMask = qint64(before.sizeInBytes());
        QVERIFY2(VelmoraViewProbe::historyBytes(*view) - strokeBytes < wholeMask / 10,
                 qPrintable(QString::number(VelmoraViewProbe::historyBytes(*view))));
        view->undo();
        QCOMPARE(VelmoraViewProbe::mask(*view), before);
        view->redo();
        QCOMPARE(VelmoraViewProbe::mask(*view), inverted);
    }

    // Past its budget the history gives its oldest steps back to memory and says so; the
    // latest step stays undoable whatever its size.
    void historyKeepsWithinItsBudget()
    {
        QVERIFY(view->loadImage(picture(QSize(600, 400))));
        QSignalSpy trimmed(view.get(), &VelmoraView::historyTrimmed);
        QVector<QImage> states{VelmoraViewProbe::mask(*view).copy()};
        for (int k = 0; k < 4; ++k) {
            strokeInView(*view,
                         {EditorMode::Doodle, 9, {{20.0 + 100 * k, 20}, {60.0 + 100 * k, 380}}});
            states << VelmoraViewProbe::mask(*view).copy();
        }
        const qint64 all = VelmoraViewProbe::historyBytes(*view);
        view->setHistoryBudget(all / 2);
        QCOMPARE(trimmed.count(), 1);
        QVERIFY(VelmoraViewProbe::historyBytes(*view) <= all / 2);
        int undone = 0;
        while (VelmoraViewProbe::undoDepth(*view) > 0 && undone < 4) {
            const int depth = VelmoraViewProbe::undoDepth(*view);
            view->undo();
            if (VelmoraViewProbe::undoDepth(*view) == depth)
                break;
            ++undone;
            QCOMPARE(VelmoraViewProbe::mask(*view), states.at(4 - undone));
        }
        QVERIFY(undone >= 1 && undone < 4);

        view->setHistoryBudget(1); // even then the latest step stays
        view->redo();
        QVERIFY(VelmoraViewProbe::undoDepth(*view) > 0);
        view->undo();
        QCOMPARE(VelmoraViewProbe::mask(*view), states.at(4 - undone));
    }

#ifdef Q_OS_LINUX
    // Without memory for the tiles a stroke would change, those tiles are left unpainted;
    // what was painted undoes and redoes exactly, and a clear that can't be undone does
    // not happen.
    void paintingWithoutMemoryStaysUndoable()
    {
        QVERIFY(view->loadImage(picture(QSize(3000, 3000))));
        strokeInView(*view, {EditorMode::Doodle, 9, {{5, 5}, {40, 40}}});
        const QImage before = VelmoraViewProbe::mask(*view).copy();
        QSignalSpy outOfMemory(view.get(), &VelmoraView::strokeOutOfMemory);

        view->setMode(EditorMode::Doodle);
        view->setBrushSize(120);
        QVector<QPointF> zigzag;
        for (int i = 0; i <= 40; ++i)
            zigzag << QPointF(70 * i + 60, (i % 2) ? 2900 : 100);
        TestSupport::withMemoryLeft(4 * 1024 * 1024,
                                    [&] { VelmoraViewProbe::stroke(*view, zigzag); });
        QCOMPARE(outOfMemory.count(), 1);
        const QImage after = VelmoraViewProbe::mask(*view).copy();
        QVERIFY(after != before);
        // Some of the line was left out: the tiles at its far end could not be kept.
        QCOMPARE(qAlpha(after.pixel(int(zigzag.last().x()), int(zigzag.last().y()))), 0);

        view->undo();
        QCOMPARE(VelmoraViewProbe::mask(*view), before);
        view->redo();
        QCOMPARE(VelmoraViewProbe::mask(*view), after);

        const int depth = VelmoraViewProbe::undoDepth(*view);
        TestSupport::withMemoryLeft(1024 * 1024, [&] { view->clearMask(); });
        QCOMPARE(VelmoraViewProbe::mask(*view), after);
        QCOMPARE(VelmoraViewProbe::undoDepth(*view), depth);

        // With memory back the whole stroke paints.
        VelmoraViewProbe::stroke(*view, zigzag);
        QCOMPARE(
            VelmoraViewProbe::mask(*view).pixel(int(zigzag.last().x()), int(zigzag.last().y())),
            0xFF000000u);
        QCOMPARE(outOfMemory.count(), 1);
    }
#endif

private:
    QString picture(QSize size)
    {
        const QString path =
            dir.filePath(QStringLiteral("p%1x%2.png").arg(size.width()).arg(size.height()));
        if (!QFileInfo::exists(path) &&
            !TestSupport::makePicture(size.width(), size.height()).save(path))
            return QString();
        return path;
    }

    QTemporaryDir dir;
    std::unique_ptr<MaskDocument> document; // outlives the view
    std::unique_ptr<VelmoraView> view;
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
