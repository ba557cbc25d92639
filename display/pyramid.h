#ifndef VELMORA_DISPLAY_PYRAMID_H
#define VELMORA_DISPLAY_PYRAMID_H

#include <QImage>
#include <QRect>
#include <QVector>

#include <atomic>

namespace Display {

// How a reduced pixel comes from the 2x2 it covers: their mean (pictures, and a mask whose
// bytes are coverage), or the highest of them (a mask of class numbers, which have no mean).
enum class Reduction { Mean, Highest };

// Reduced copies of an image, each half the size of the one before (a pixel is the mean of
// the 2x2 it covers), so that drawing at any zoom reads about as many pixels as the screen
// shows, whatever the image's size. Level 0 is the image itself, not a copy: the pyramid
// points at it and keeps only the reduced levels.
class Pyramid
{
public:
    // No level is reduced below this many pixels on its long side.
    static constexpr int smallestSide = 64;

    // Levels 1 and up for `base` (32-bit or 8-bit), built from it on any thread. Stops early
    // with the levels made so far when memory runs out, and returns none once `cancel` is set.
    static QVector<QImage> reduce(const QImage &base, const std::atomic<bool> *cancel = nullptr,
                                  Reduction reduction = Reduction::Mean);
    // How update() reduces; Mean unless set.
    void setReduction(Reduction how) { reduction = how; }
    Reduction reductionUsed() const { return reduction; }

    // Shows `base` with no reduced level yet; `base` outlives the pyramid's use of it, and
    // must not be shared, or a write to it would copy it away from the pyramid.
    void setBase(const QImage *base);
    // The levels reduce() made for the base.
    void setReduced(QVector<QImage> levels);
    void clear();

    int levelCount() const { return base ? 1 + reduced.size() : 0; }
    const QImage &level(int n) const { return n == 0 ? *base : reduced.at(n - 1); }

    // Brings every reduced level up to date with the base over `area` (base pixels), after
    // the base changed there.
    void update(const QRect &area);
    // The same for many areas; past a quarter of the base their bounds are redone at once.
    void update(const QVector<QRect> &areas);

    // The level to draw from at `scale` screen pixels per base pixel: the smallest whose
    // pixels are still no bigger than the screen's.
    int levelFor(qreal scale) const;
    // The pixels of level `n` that drawing `exposed` (base pixels) reads, with a margin for
    // smoothing, inside the level.
    QRect areaFor(int n, const QRectF &exposed) const;

private:
    const QImage *base = nullptr;
    QVector<QImage> reduced;
    Reduction reduction = Reduction::Mean;
};

// Writes into `to` over `area` (its own pixels) the means of the 2x2 pixels of `from` that
// each covers; at an odd edge of `from`, of those there are.
void reduceInto(const QImage &from, QImage &to, const QRect &area,
                Reduction reduction = Reduction::Mean);

} // namespace Display

#endif
