// The reduced copies the view draws from: how they are made, that they follow every change
// of the mask, and that a view zoomed out shows them.

#include "display/pyramid.h"
#include "editor/velmoraview.h"
#include "files/maskfile.h"
#include "support/testsupport.h"
#include "support/viewprobe.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

QImage noise(QSize size, QImage::Format format, quint32 seed)
{
    QImage image(size, format);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y) {
        uchar *row = image.scanLine(y);
        for (int x = 0; x < image.bytesPerLine(); ++x)
            row[x] = uchar(random.bounded(256));
    }
    return format == QImage::Format_ARGB32_Premultiplied
               ? image.convertToFormat(QImage::Format_ARGB32).convertToFormat(format)
               : image;
}

// Each pixel of the next level, by the definition: per byte, the rounded mean of the up
// to 2x2 pixels below it.
QImage meansOf(const QImage &below)
{
    const int channels = below.depth() / 8;
    QImage next((below.width() + 1) / 2, (below.height() + 1) / 2, below.format());
    for (int y = 0; y < next.height(); ++y)
        for (int x = 0; x < next.width(); ++x)
            for (int c = 0; c < channels; ++c) {
                int sum = 0, count = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                        if (2 * x + dx < below.width() && 2 * y + dy < below.height()) {
                            sum += below.constScanLine(2 * y + dy)[(2 * x + dx) * channels + c];
                            ++count;
                        }
                next.scanLine(y)[x * channels + c] = uchar((sum + count / 2) / count);
            }
    return next;
}

// The levels must be exactly what building them afresh from the mask gives.
bool levelsMatch(const Display::Pyramid &pyramid)
{
    const QVector<QImage> fresh = Display::Pyramid::reduce(pyramid.level(0));
    if (pyramid.levelCount() != fresh.size() + 1)
        return false;
    for (int n = 1; n < pyramid.levelCount(); ++n)
        if (pyramid.level(n) != fresh.at(n - 1))
            return false;
    return true;
}

} // namespace

class TestDisplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void levelsAreMeansOfTheLevelBelow_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("format");
        const QList<QPair<const char *, QImage::Format>> formats = {
            {"mask", MaskFile::layerFormat},
            {"rgb", QImage::Format_RGB32},
            {"argb", QImage::Format_ARGB32_Premultiplied}};
        for (const auto &format : formats)
            for (const QSize &size : {QSize(1, 1), QSize(65, 2), QSize(3, 129), QSize(131, 67),
                                      QSize(256, 256), QSize(513, 77)})
                QTest::addRow("%s %dx%d", format.first, size.width(), size.height())
                    << size << int(format.second);
    }
    void levelsAreMeansOfTheLevelBelow()
    {
        QFETCH(QSize, size);
        QFETCH(int, format);
        const QImage base = noise(size, QImage::Format(format), quint32(size.width() * 7 + format));
        const QVector<QImage> levels = Display::Pyramid::reduce(base);
        const QImage *below = &base;
        for (const QImage &level : levels) {
            QCOMPARE(level, meansOf(*below));
            below = &level;
        }
        // Reduced down to the smallest side, and no further.
        QVERIFY(qMax(below->width(), below->height()) <= Display::Pyramid::smallestSide);
        if (!levels.isEmpty())
            QVERIFY(qMax(levels.size() > 1 ? levels.at(levels.size() - 2).width() : base.width(),
                         levels.size() > 1 ? levels.at(levels.size() - 2).height()
                                           : base.height()) > Display::Pyramid::smallestSide);

        // Changing parts of the base and updating those parts gives the levels anew.
        QImage changed = base;
        Display::Pyramid pyramid;
        pyramid.setBase(&changed);
        pyramid.setReduced(levels);
        QRandomGenerator random(11);
        for (int i = 0; i < 6; ++i) {
            const QRect area(random.bounded(size.width()), random.bounded(size.height()),
                             1 + random.bounded(size.width()), 1 + random.bounded(size.height()));
            const QImage patch = noise(area.size(), QImage::Format(format), quint32(i));
            for (int y = 0; y < area.height() && area.top() + y < size.height(); ++y) {
                const int bytes =
                    (qMin(area.right(), size.width() - 1) - area.left() + 1) * changed.depth() / 8;
                memcpy(changed.scanLine(area.top() + y) + area.left() * changed.depth() / 8,
                       patch.constScanLine(y), size_t(bytes));
            }
            pyramid.update(area);
            QVERIFY(levelsMatch(pyramid));
        }
    }

    // Whatever changes the mask, the reduced copies follow it tile by tile.
    void maskLevelsFollowEveryChange()
    {
        MaskDocument document;
        VelmoraView view(&document);
        const QString path = dir.filePath(QStringLiteral("follow.png"));
        QVERIFY(TestSupport::makePicture(700, 450).save(path));
        QVERIFY(view.loadImage(path));
        const Display::Pyramid &levels = VelmoraViewProbe::maskPyramid(view);
        QCOMPARE(levels.levelCount(), 5); // 350, 175, 88 and 44 wide
        const QList<QPair<const char *, std::function<void()>>> changes = {
            {"stroke",
             [&] {
                 view.setMode(EditorMode::Doodle);
                 view.setBrushSize(25);
                 VelmoraViewProbe::stroke(view, {{10.5, 20}, {300, 200.5}, {690, 30}});
             }},
            {"erase",
             [&] {
                 view.setMode(EditorMode::Eraser);
                 view.setEraserSize(9);
                 VelmoraViewProbe::stroke(view, {{100, 0}, {130.7, 449}});
             }},
            {"lasso",
             [&] {
                 VelmoraViewProbe::lasso(view, {{400, 100}, {690, 440}, {380, 420}});
             }},
            {"invert",
             [&] {
                 view.invertMask();
             }},
            {"piece",
             [&] {
                 Region::Piece piece;
                 piece.offset = QPoint(500, 300);
                 piece.mask = QImage(150, 120, QImage::Format_Grayscale8);
                 piece.mask.fill(1);
                 view.applyPiece(piece, true);
             }},
            {"clear",
             [&] {
                 view.clearMask();
             }},
        };
        int steps = 0;
        for (const auto &change : changes) {
            change.second();
            ++steps;
            QVERIFY2(levelsMatch(levels), change.first);
        }
        for (int i = 0; i < steps; ++i) {
            view.undo();
            QVERIFY2(levelsMatch(levels), qPrintable(QStringLiteral("undo %1").arg(i)));
        }
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(view)), 0);
        for (int i = 0; i < steps; ++i) {
            view.redo();
            QVERIFY2(levelsMatch(levels), qPrintable(QStringLiteral("redo %1").arg(i)));
        }
    }

    // Columns one pixel wide, black and white in turn, are grey from afar: each screen
    // pixel stands for many picture pixels, as the reduced copies have them. Sampling the
    // full-size picture would show some columns black and others white.
    void aViewZoomedOutShowsTheMeanOfWhatEachPixelCovers()
    {
        QImage stripes(3000, 1600, QImage::Format_RGB32);
        for (int y = 0; y < stripes.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(stripes.scanLine(y));
            for (int x = 0; x < stripes.width(); ++x)
                row[x] = x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
        }
        const QString path = dir.filePath(QStringLiteral("stripes.png"));
        QVERIFY(stripes.save(path));
        QImage gray(stripes.size(), QImage::Format_Grayscale8);
        for (int y = 0; y < gray.height(); ++y)
            for (int x = 0; x < gray.width(); ++x)
                gray.scanLine(y)[x] = x % 2 ? 255 : 0;

        MaskDocument document;

        VelmoraView view(&document);
        view.resize(600, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.loadImage(path));
        QVERIFY(VelmoraViewProbe::waitForReducedPicture(view));
        QVERIFY(view.applyMask(gray));
        view.setMaskOpacity(100);
        for (const qreal zoom : {0.3, 0.11}) {
            view.resetZoom();
            view.scale(zoom, zoom);
            const QImage shown = view.viewport()->grab().toImage();
            const QRect inside = view.mapFromScene(QRectF(300, 300, 2400, 1000))
                                     .boundingRect()
                                     .intersected(shown.rect().adjusted(4, 4, -4, -4));
            QVERIFY(!inside.isEmpty());
            for (int y = inside.top(); y <= inside.bottom(); y += 3)
                for (int x = inside.left(); x <= inside.right(); ++x) {
                    // Half the columns in the mask: red at half strength over mid grey.
                    const QColor colour = shown.pixelColor(x, y);
                    QVERIFY2(qAbs(colour.red() - 191) < 24 && qAbs(colour.green() - 64) < 24 &&
                                 qAbs(colour.blue() - 64) < 24,
                             qPrintable(QStringLiteral("zoom %1 at %2,%3: %4")
                                            .arg(zoom)
                                            .arg(x)
                                            .arg(y)
                                            .arg(colour.name())));
                }
        }
    }

    // Two touching objects of one class: one column where they meet shows darker, the rest
    // of both in the class's colour; a hidden object does not show.
    void touchingObjectsShowApart()
    {
        const QString path = dir.filePath(QStringLiteral("objects.png"));
        QImage plain(100, 60, QImage::Format_RGB32);
        plain.fill(qRgb(128, 128, 128));
        QVERIFY(plain.save(path));
        MaskDocument document;
        VelmoraView view(&document);
        view.resize(300, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.loadImage(path));
        document.setClassNames({QStringLiteral("leaf"), QStringLiteral("drop")});
        view.setClassColours({QColor(255, 0, 0), QColor(0, 255, 0)}, {false, false});
        view.setMaskOpacity(100);
        for (const int left : {0, 50}) {
            QImage half(100, 60, QImage::Format_Grayscale8);
            half.fill(0);
            for (int y = 0; y < 60; ++y)
                std::fill(half.scanLine(y) + left, half.scanLine(y) + left + 50, uchar(255));
            QVERIFY(document.newObject());
            QVERIFY(document.applyMask(half));
        }
        view.resetZoom();
        const auto shownAt = [&](int x) {
            const QImage shown = view.viewport()->grab().toImage();
            return shown.pixelColor(view.mapFromScene(QPointF(x + 0.5, 30.5)));
        };
        QCOMPARE(shownAt(30), QColor(255, 0, 0));
        QCOMPARE(shownAt(70), QColor(255, 0, 0));
        // One column darker, where the two meet; the view may place scene pixels half a
        // pixel off, so the column is looked for rather than named.
        QStringList dark;
        for (int x = 40; x < 60; ++x)
            if (shownAt(x) != QColor(255, 0, 0))
                dark << QStringLiteral("%1 %2").arg(x).arg(shownAt(x).name());
        QCOMPARE(dark.size(), 1);
        QVERIFY2(dark.first().endsWith(QLatin1String("#3f0000")), qPrintable(dark.first()));
        view.setObjectsHidden({2});
        QCOMPARE(shownAt(70), QColor(128, 128, 128));
        QCOMPARE(shownAt(30), QColor(255, 0, 0));
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(TestDisplay)
#include "tst_display.moc"
