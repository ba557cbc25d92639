#include "display/pyramid.h"

#include "region/matview.h"

#include <opencv2/imgproc.hpp>

#include <QtMath>

namespace Display {

namespace {

QSize halved(const QSize &size)
{
    return QSize((size.width() + 1) / 2, (size.height() + 1) / 2);
}

// The means pixel by pixel: each channel's sum over the pixels there are, rounded like
// OpenCV's. For the odd right column or bottom row of `from`, where a reduced pixel covers
// fewer than four, and wherever OpenCV could not do the work.
void reduceByHand(const QImage &from, QImage &to, const QRect &area)
{
    const int channels = from.depth() / 8;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const int rows = qMin(2, from.height() - 2 * y);
        uchar *out = to.scanLine(y) + area.left() * channels;
        for (int x = area.left(); x <= area.right(); ++x) {
            const int columns = qMin(2, from.width() - 2 * x);
            const int count = rows * columns;
            for (int c = 0; c < channels; ++c) {
                int sum = 0;
                for (int dy = 0; dy < rows; ++dy) {
                    const uchar *in = from.constScanLine(2 * y + dy) + 2 * x * channels + c;
                    for (int dx = 0; dx < columns; ++dx)
                        sum += in[dx * channels];
                }
                *out++ = uchar((sum + count / 2) / count);
            }
        }
    }
}

// The highest of the (up to) four 8-bit pixels each reduced pixel covers.
void reduceToHighest(const QImage &from, QImage &to, const QRect &area)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar *first = from.constScanLine(2 * y);
        const uchar *second = 2 * y + 1 < from.height() ? from.constScanLine(2 * y + 1) : first;
        uchar *out = to.scanLine(y);
        const int pairs = qMin(area.right(), from.width() / 2 - 1);
        for (int x = area.left(); x <= pairs; ++x)
            out[x] =
                qMax(qMax(first[2 * x], first[2 * x + 1]), qMax(second[2 * x], second[2 * x + 1]));
        for (int x = qMax(area.left(), pairs + 1); x <= area.right(); ++x)
            out[x] = qMax(first[2 * x], second[2 * x]);
    }
}

} // namespace

void reduceInto(const QImage &from, QImage &to, const QRect &area, Reduction reduction)
{
    const QRect inside = area.intersected(to.rect());
    if (inside.isEmpty())
        return;
    if (reduction == Reduction::Highest) {
        reduceToHighest(from, to, inside);
        return;
    }
    // Where all four pixels are there, OpenCV's area mean (the same rounding) does the work.
    const QRect whole = inside.intersected(QRect(0, 0, from.width() / 2, from.height() / 2));
    if (!whole.isEmpty()) {
        const cv::Mat source = Region::matOf(from)(
            cv::Rect(2 * whole.x(), 2 * whole.y(), 2 * whole.width(), 2 * whole.height()));
        cv::Mat target =
            Region::matOf(to)(cv::Rect(whole.x(), whole.y(), whole.width(), whole.height()));
        // OpenCV shares the work among its threads, and throws when it can't have them or
        // their memory; the same means are then made here.
        try {
            cv::resize(source, target, target.size(), 0, 0, cv::INTER_AREA);
        } catch (...) {
            reduceByHand(from, to, whole);
        }
    }
    if (inside.right() > whole.right() || whole.isEmpty())
        reduceByHand(
            from, to,
            QRect(QPoint(whole.isEmpty() ? inside.left() : whole.right() + 1, inside.top()),
                  inside.bottomRight()));
    if (!whole.isEmpty() && inside.bottom() > whole.bottom())
        reduceByHand(from, to,
                     QRect(QPoint(inside.left(), whole.bottom() + 1),
                           QPoint(whole.right(), inside.bottom())));
}

QVector<QImage> Pyramid::reduce(const QImage &base, const std::atomic<bool> *cancel,
                                Reduction reduction)
{
    QVector<QImage> levels;
    const QImage *from = &base;
    while (!from->isNull() && qMax(from->width(), from->height()) > smallestSide) {
        if (cancel && cancel->load())
            return QVector<QImage>();
        QImage next(halved(from->size()), base.format());
        if (next.isNull())
            break;
        // Bands of rows, so a cancel is seen within a fraction of a big level.
        constexpr int band = 256;
        for (int y = 0; y < next.height(); y += band) {
            if (cancel && cancel->load())
                return QVector<QImage>();
            reduceInto(*from, next, QRect(0, y, next.width(), band), reduction);
        }
        levels.append(std::move(next));
        from = &levels.last();
    }
    return levels;
}

void Pyramid::setBase(const QImage *newBase)
{
    base = newBase;
    reduced.clear();
}

void Pyramid::setReduced(QVector<QImage> levels)
{
    reduced = std::move(levels);
}

void Pyramid::clear()
{
    base = nullptr;
    reduced.clear();
}

void Pyramid::update(const QRect &area)
{
    if (!base)
        return;
    QRect changed = area.intersected(base->rect());
    for (int n = 1; n < levelCount() && !changed.isEmpty(); ++n) {
        changed = QRect(QPoint(changed.left() / 2, changed.top() / 2),
                        QPoint(changed.right() / 2, changed.bottom() / 2));
        reduceInto(level(n - 1), reduced[n - 1], changed, reduction);
    }
}

void Pyramid::update(const QVector<QRect> &areas)
{
    if (!base || reduced.isEmpty())
        return;
    QRect bounds;
    qint64 pixels = 0;
    for (const QRect &area : areas) {
        bounds |= area;
        pixels += qint64(area.width()) * area.height();
    }
    if (pixels > qint64(base->width()) * base->height() / 4) {
        update(bounds);
        return;
    }
    for (const QRect &area : areas)
        update(area);
}

int Pyramid::levelFor(qreal scale) const
{
    int n = 0;
    while (n + 1 < levelCount() && scale * qreal(1 << (n + 1)) <= 1.0 + 1e-9)
        ++n;
    return n;
}

QRect Pyramid::areaFor(int n, const QRectF &exposed) const
{
    const qreal factor = 1 << n;
    const QRectF scaled(exposed.topLeft() / factor, exposed.size() / factor);
    // Two pixels around, so smoothing inside the exposed part reads its true neighbours.
    return scaled.toAlignedRect().adjusted(-2, -2, 2, 2).intersected(level(n).rect());
}

} // namespace Display
