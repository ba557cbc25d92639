#ifndef VELMORA_REGION_REGIONOPS_H
#define VELMORA_REGION_REGIONOPS_H

#include <QImage>
#include <QPoint>
#include <QPolygonF>
#include <QRect>

#include <atomic>

// Regions of a picture and changes to a whole mask, without widgets. A binary mask is a
// QImage::Format_Grayscale8 image, 255 inside and 0 outside. Functions that take one read
// nothing but 0 and non-0, and give null images when the memory can't be had.
namespace Region {

// A region found in the picture: an 8-bit binary image of its bounding rectangle, placed at
// `offset` in picture pixels. Null when nothing was found.
struct Piece
{
    QImage mask;
    QPoint offset;
    QRect rect() const { return QRect(offset, mask.size()); }
    bool isNull() const { return mask.isNull(); }
};

// Every pixel within `pixels` of a mask pixel (centre to centre, Euclidean) joins the mask.
QImage grown(const QImage &mask, int pixels);
// Every mask pixel within `pixels` of an unmasked pixel leaves it. The picture's edge is
// not an edge of the mask: outside the picture nothing is unmasked.
QImage shrunk(const QImage &mask, int pixels);
QImage inverted(const QImage &mask);
// Every 4-connected unmasked region that does not touch the picture's edge joins the mask.
QImage holesFilled(const QImage &mask);
// Removes 8-connected mask pieces of fewer than `pixels` pixels, then fills holes (as above)
// of fewer than `pixels` pixels.
QImage cleaned(const QImage &mask, int pixels);

// The colour wand: the 4-connected region around `seed` whose every channel differs from the
// seed's by at most `tolerance`. `picture` is any 32-bit RGB format; alpha is not compared.
Piece wand(const QImage &picture, QPoint seed, int tolerance);

// The snapping lasso: the object that `outline` goes around, in picture pixels, snapped to
// its edges, never outside the outline. `snapped` says whether it was found; when it was not
// (too little of the outline kept, or no result), the piece is the plain outline's fill.
Piece snappedLasso(const QImage &picture, const QPolygonF &outline, bool *snapped = nullptr);
// The outline's plain fill, as the lasso paints it: pixels whose centre is inside.
Piece filledOutline(const QPolygonF &outline, const QSize &pictureSize);

// A mask carried to the next frame of a sequence, fitted to it.
struct Carried
{
    QImage numbers;    // 8-bit class numbers, 0 the background; null without memory
    int pieces = 0;    // the pieces carried
    int unchanged = 0; // of them, those carried as they were: fitting would have lost them
};

// The pieces of `numbers` (8-bit class numbers, 0 the background: each class's 8-connected
// pieces), each fitted to the edges of `picture` (32-bit, the same size) as the snapping
// lasso fits an outline: an object that moved or changed size by up to `moved` pixels is
// followed. A piece that fitting would mostly lose is carried as it was. Stops early, giving
// a null result, once `cancelled` is set.
// How far, in picture pixels, a carried object may have moved for fitting to follow it.
constexpr int carriedMove = 14;
Carried snappedCarry(const QImage &picture, const QImage &numbers, int moved = carriedMove,
                     const std::atomic_bool *cancelled = nullptr);

} // namespace Region

#endif
