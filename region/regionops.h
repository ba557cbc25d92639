#ifndef VELMORA_REGION_REGIONOPS_H
#define VELMORA_REGION_REGIONOPS_H

#include <QImage>
#include <QPoint>
#include <QPolygonF>
#include <QRect>
#include <QTransform>

#include <atomic>
#include <vector>

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

// Carrying a mask to the next frame of a sequence. The frame it was made on is remembered as
// a grey copy, reduced when big; from it and the new frame comes where each piece went (the
// whole frame's motion, then the piece's own), each piece is moved there and then fitted to
// the new frame's edges.

// A grey copy of a frame for finding motion, with the scale it was reduced by.
struct MotionCopy
{
    QImage grey;        // Format_Grayscale8; null for no copy
    double scale = 1.0; // copy pixels for one picture pixel
    QSize size;         // the picture's own size
    bool isNull() const { return grey.isNull(); }
};

// Copies longer than this are reduced: 16 megapixels keep every pixel of the usual frames,
// and a copy of the biggest pictures costs a few megabytes.
constexpr int motionSide = 4096;

// A grey copy of `picture` (32-bit) for finding motion; null without memory.
MotionCopy motionCopyOf(const QImage &picture);

// A stroke as it was painted and how far it has been carried: placing a moved stroke on the
// pixels rounds it by up to half a pixel, which frame after frame would add up, so while the
// stroke is found on the mask as it was placed, the next carry moves it on from where it was
// painted.
struct Trail
{
    Piece painted;
    uchar number = 0;
    QTransform motion; // from where it was painted to where it was placed
    Piece placed;
};

// The pieces of a mask (each class's 8-connected pieces), each moved to where the picture
// under it went, not yet fitted.
struct MovedMask
{
    struct Moved
    {
        Piece piece; // 255 inside; null when the piece left the picture
        uchar number = 0;
        quint16 object = 0; // the object it is part of, 0 for none
        bool thin = false;  // a stroke: moved, never fitted
        bool edged = true;  // its outline followed the edges of the frame it was made on
    };
    QSize size;
    std::vector<Moved> pieces;
    std::vector<Trail> trails; // of the thin pieces
};

// The pieces of `numbers` (8-bit class numbers, 0 the background) moved from `before`, a copy
// of the frame they were made on, to `picture` (32-bit, the same size), whose copy `shown`
// is made here when null (a null `picture` with its copy given moves the pieces alone); `trails`
// are those of the carry that placed them, if any. With a null `before`, nothing moved. Empty
// without memory or once `cancelled` is set. With `objects` (16-bit object numbers over the
// classes), each part of each object is a piece of its own, carried with its number.
MovedMask movedMask(const MotionCopy &before, const MotionCopy &shown, const QImage &picture,
                    const QImage &numbers, const std::vector<Trail> &trails = {},
                    const std::atomic_bool *cancelled = nullptr,
                    const QTransform *frameMoved = nullptr, const QImage &objects = QImage());

// How the whole frame moved from `before` to `after` (copies of pictures of one size), as
// movedMask() finds it; its `frameMoved` may be given this, found once for a pair of frames
// crossed both ways. No motion when none was found.
QTransform frameMotionOf(const MotionCopy &before, const MotionCopy &after);

// `moved`'s pieces over `under` (8-bit class numbers, the same size): the pieces win where
// they are. `under` is written in place when no one else holds it. Null without memory.
QImage paintedOver(QImage under, const MovedMask &moved);

// A mask carried to the next frame of a sequence, fitted to it.
struct Carried
{
    MovedMask placed;  // the pieces as they go on; no size without memory
    QImage numbers;    // snappedCarry(): them as 8-bit class numbers, 0 the background
    int pieces = 0;    // the pieces carried
    int unchanged = 0; // of them, those fitting would have lost: moved, not fitted
    std::vector<Trail> trails;
};

// How far, in picture pixels, a carried object may have moved or grown for fitting to follow
// it: when its motion is not known, and when it is (fitting then corrects what is left).
constexpr int carriedMove = 14;
constexpr int fittedMove = 5;

// Each of `moved`'s pieces fitted to the edges of `picture` as the snapping lasso fits an
// outline, following a change of up to `reach` pixels. Only pieces that followed edges are
// fitted. Fitting never takes what another moved piece covers, and a piece it would lose more
// than a small share of goes as it was moved. Pieces placed later win where they meet. Nothing
// placed once `cancelled` is set. No whole-picture copy is made: the pieces go on where they
// are.
Carried fittedMask(const QImage &picture, const MovedMask &moved, int reach,
                   const std::atomic_bool *cancelled = nullptr);

// Both steps at once, painted over an empty mask: as Shift+D carries.
Carried snappedCarry(const MotionCopy &before, const QImage &picture, const QImage &numbers,
                     const std::vector<Trail> &trails = {},
                     const std::atomic_bool *cancelled = nullptr);
// Without the frame before: fitting alone follows a move of up to `reach` pixels.
Carried snappedCarry(const QImage &picture, const QImage &numbers, int reach = carriedMove,
                     const std::atomic_bool *cancelled = nullptr);

// For each class number, whether the outline of that class in `numbers` follows the edges of
// the frame `copy` was made of (see followsEdges in motion.h).
std::vector<bool> classesOnEdges(const MotionCopy &copy, const QImage &numbers);

// `numbers` fitted to the edges of `picture` as a carried mask is, piece by piece, only the
// pieces of the classes `fit` marks. Null without memory or once `cancelled` is set.
QImage fittedShape(const QImage &picture, const QImage &numbers, const std::vector<bool> &fit,
                   const std::atomic_bool *cancelled = nullptr);

// A mask between two masks of a sequence (8-bit class numbers of one size): for each class
// in `classes` (by number) that both have, the outline changed smoothly from `from`'s to
// `to`'s, `share` (0 to 1) of the way, by blending the distances to each outline. Classes
// drawn later win where two meet. Null without memory.
QImage shapeBetween(const QImage &from, const QImage &to, double share,
                    const std::vector<uchar> &classes);

} // namespace Region

#endif
