// The region algorithms on their own, against plain references that look at every pixel.

#include "region/regionops.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <functional>

namespace {

using Grid = QVector<QVector<bool>>;

Grid gridOf(const QImage &mask)
{
    Grid grid(mask.height(), QVector<bool>(mask.width()));
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x)
            grid[y][x] = mask.constScanLine(y)[x] != 0;
    return grid;
}

// Blobs and specks at random, some on the edges; the same every run.
QImage randomMask(int width, int height, quint32 seed, int blobs)
{
    QRandomGenerator random(seed);
    QImage mask(width, height, QImage::Format_Grayscale8);
    mask.fill(0);
    QPainter painter(&mask);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    for (int i = 0; i < blobs; ++i) {
        const int r = random.bounded(1, 6);
        painter.drawEllipse(QPoint(random.bounded(width), random.bounded(height)), r, r);
    }
    painter.end();
    for (int y = 0; y < height; ++y) // binary, as a saved mask is
        for (int x = 0; x < width; ++x)
            mask.scanLine(y)[x] = mask.scanLine(y)[x] > 127 ? 255 : 0;
    return mask;
}

// Grows `grid`'s true pixels (or its false ones, when `value` is false) by `n`.
Grid grownBrute(const Grid &grid, int n, bool value)
{
    const int h = grid.size(), w = grid[0].size();
    Grid out = grid;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int v = std::max(0, y - n); v <= std::min(h - 1, y + n) && out[y][x] != value; ++v)
                for (int u = std::max(0, x - n); u <= std::min(w - 1, x + n); ++u)
                    if (grid[v][u] == value && (u - x) * (u - x) + (v - y) * (v - y) <= n * n) {
                        out[y][x] = value;
                        break;
                    }
    return out;
}

// The connected pieces of pixels equal to `value`, each as its list of pixels.
QVector<QVector<QPoint>> piecesBrute(const Grid &grid, bool value, bool eightWay)
{
    const int h = grid.size(), w = grid[0].size();
    QVector<QVector<bool>> seen(h, QVector<bool>(w));
    QVector<QVector<QPoint>> pieces;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (seen[y][x] || grid[y][x] != value)
                continue;
            QVector<QPoint> piece, todo{QPoint(x, y)};
            seen[y][x] = true;
            while (!todo.isEmpty()) {
                const QPoint p = todo.takeLast();
                piece << p;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const QPoint q = p + QPoint(dx, dy);
                        if ((!eightWay && dx != 0 && dy != 0) || q.x() < 0 || q.y() < 0 ||
                            q.x() >= w || q.y() >= h || seen[q.y()][q.x()] ||
                            grid[q.y()][q.x()] != value)
                            continue;
                        seen[q.y()][q.x()] = true;
                        todo << q;
                    }
            }
            pieces << piece;
        }
    return pieces;
}

bool touchesEdge(const QVector<QPoint> &piece, const Grid &grid)
{
    return std::any_of(piece.cbegin(), piece.cend(), [&](const QPoint &p) {
        return p.x() == 0 || p.y() == 0 || p.x() == grid[0].size() - 1 || p.y() == grid.size() - 1;
    });
}

Grid holesFilledBrute(Grid grid, int smallerThan)
{
    const Grid before = grid;
    for (const auto &hole : piecesBrute(before, false, false))
        if (!touchesEdge(hole, before) && hole.size() < smallerThan)
            for (const QPoint &p : hole)
                grid[p.y()][p.x()] = true;
    return grid;
}

Grid cleanedBrute(Grid grid, int n)
{
    for (const auto &speck : piecesBrute(grid, true, true))
        if (speck.size() < n)
            for (const QPoint &p : speck)
                grid[p.y()][p.x()] = false;
    return holesFilledBrute(grid, n);
}

} // namespace

class TestRegion : public QObject
{
    Q_OBJECT

private slots:
    // Odd sizes, empty and full masks, masks on the edges, one-pixel-wide pictures.
    void wholeMaskStepsMatchTheReference_data()
    {
        QTest::addColumn<QImage>("mask");
        QTest::addColumn<int>("n");
        QImage empty(17, 9, QImage::Format_Grayscale8);
        empty.fill(0);
        QImage full(17, 9, QImage::Format_Grayscale8);
        full.fill(255);
        QTest::newRow("empty") << empty << 3;
        QTest::newRow("full") << full << 3;
        QTest::newRow("one column") << randomMask(1, 31, 7, 4) << 2;
        for (const int n : {1, 2, 5, 9})
            QTest::newRow(qPrintable(QStringLiteral("blobs, n=%1").arg(n)))
                << randomMask(37, 23, quint32(n), 14) << n;
        QTest::newRow("dense, n=4") << randomMask(41, 29, 99, 60) << 4;
    }
    void wholeMaskStepsMatchTheReference()
    {
        QFETCH(QImage, mask);
        QFETCH(int, n);
        const Grid grid = gridOf(mask);
        QCOMPARE(gridOf(Region::grown(mask, n)), grownBrute(grid, n, true));
        QCOMPARE(gridOf(Region::shrunk(mask, n)), grownBrute(grid, n, false));
        QCOMPARE(gridOf(Region::holesFilled(mask)), holesFilledBrute(grid, INT_MAX));
        QCOMPARE(gridOf(Region::cleaned(mask, n * n)), cleanedBrute(grid, n * n));
        QImage inverse = Region::inverted(mask);
        QCOMPARE(gridOf(Region::inverted(inverse)), grid);
    }

    // Flat patches of known colours: the region is exact, the tolerance a closed bound per
    // channel, the connection 4-way, and the picture's edges are no obstacle.
    void wandTakesTheConnectedAlikeRegion_data()
    {
        QTest::addColumn<QPoint>("seed");
        QTest::addColumn<int>("tolerance");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("flat patch") << QPoint(2, 2) << 0 << QRect(0, 0, 10, 10);
        QTest::newRow("within tolerance") << QPoint(2, 2) << 20 << QRect(0, 0, 20, 10);
        QTest::newRow("just outside") << QPoint(9, 9) << 19 << QRect(0, 0, 10, 10);
        QTest::newRow("corner is no link") << QPoint(25, 5) << 0 << QRect(20, 0, 10, 10);
        QTest::newRow("from the corner") << QPoint(0, 19) << 5 << QRect(0, 10, 20, 10);
        QTest::newRow("outside") << QPoint(30, 0) << 5 << QRect();
    }
    void wandTakesTheConnectedAlikeRegion()
    {
        QFETCH(QPoint, seed);
        QFETCH(int, tolerance);
        QFETCH(QRect, expected);
        // Grey 100 and a patch 20 away in two channels side by side on black, with blue at
        // the bottom right; the black top right and bottom left meet only at a corner.
        QImage picture(30, 20, QImage::Format_RGB32);
        picture.fill(qRgb(0, 0, 0));
        QPainter painter(&picture);
        painter.fillRect(0, 0, 10, 10, QColor(100, 100, 100));
        painter.fillRect(10, 0, 10, 10, QColor(120, 80, 100));
        painter.fillRect(20, 10, 10, 10, QColor(0, 0, 200));
        painter.end();
        const Region::Piece piece = Region::wand(picture, seed, tolerance);
        QCOMPARE(piece.rect(), expected);
        for (int y = 0; y < piece.mask.height(); ++y)
            for (int x = 0; x < piece.mask.width(); ++x)
                QCOMPARE(int(piece.mask.constScanLine(y)[x]), 255);
    }
};

QTEST_MAIN(TestRegion)
#include "tst_region.moc"
