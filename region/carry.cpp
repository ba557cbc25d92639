// Carrying a mask to the next frame. Each piece first goes where the picture under it went
// (see motion.cpp), then is fitted to the new frame's edges by grabCut started from the moved
// piece: its inside shrunk by how far the object may still be off is surely the object, its
// outside grown by as much surely not, what another moved piece covers is surely not either,
// and the band between is left to the picture to decide.

#include "region/regionops.h"

#include "cli/maskanalysis.h"
#include "region/matview.h"
#include "region/motion.h"
#include "region/snapedge.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <new>

namespace Region {

namespace {

// Pieces this small are carried as they are moved: too few pixels to learn colours from.
constexpr int smallestPiece = 64;
// A piece no wider than twice this (a brush stroke of up to 20 pixels) is a stroke: its
// edges are the painter's, not the picture's, so it is moved and never fitted.
constexpr float thinHalfWidth = 10.0f;
// Fitting may take from a piece the band along its outline it may move the edge by, and
// never more than half of it; a little is always allowed for a piece's ragged edge.
constexpr double leastLoss = 0.1;
constexpr double mostLoss = 0.5;

cv::Mat disc(int radius)
{
    return cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * radius + 1, 2 * radius + 1));
}

QImage imageOf(const cv::Mat &mat)
{
    QImage image(mat.cols, mat.rows, QImage::Format_Grayscale8);
    if (!image.isNull())
        mat.copyTo(matOf(image));
    return image;
}

// The 8-connected piece of `numbers` through `seed`, in `box`: 255 inside.
cv::Mat pieceAt(const cv::Mat &numbers, const cv::Rect &box, cv::Point seed)
{
    cv::Mat filled(box.height + 2, box.width + 2, CV_8UC1, cv::Scalar(0));
    cv::Mat area = numbers(box); // floodFill only marks `filled` with FLOODFILL_MASK_ONLY
    cv::floodFill(area, filled, seed - box.tl(), cv::Scalar(), nullptr, cv::Scalar(), cv::Scalar(),
                  8 | cv::FLOODFILL_MASK_ONLY | (255 << 8));
    // floodFill marks the border 1; cleared, it is outside the piece for whatever looks
    // past the box's edge (borders of filters, copyMakeBorder).
    filled.row(0).setTo(0);
    filled.row(filled.rows - 1).setTo(0);
    filled.col(0).setTo(0);
    filled.col(filled.cols - 1).setTo(0);
    return filled(cv::Rect(1, 1, box.width, box.height));
}

bool isThin(const cv::Mat &piece)
{
    // Every pixel within `thinHalfWidth` of the outline gives at most that much area for each
    // pixel of outline: a piece with more has a wider part, and needs no measuring.
    cv::Mat inner;
    cv::erode(piece, inner, cv::Mat(), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(0));
    const int area = cv::countNonZero(piece);
    if (area > double(thinHalfWidth + 1) * (area - cv::countNonZero(inner)))
        return false;
    inner.release();
    // Outside the box is outside the piece too: without the border a piece touching its box's
    // edge (they all do) would be measured from that edge as from its inside.
    cv::Mat bordered, distance;
    cv::copyMakeBorder(piece, bordered, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(0));
    cv::distanceTransform(bordered, distance, cv::DIST_L2, cv::DIST_MASK_3);
    double widest = 0;
    cv::minMaxLoc(distance, nullptr, &widest);
    return widest <= thinHalfWidth;
}

// The piece (8-bit, 255 inside, the size of `box`) fitted to `area`, the frame's pixels of
// the box, never onto `taken` (empty when nothing is); empty when fitting would lose more of
// it than it may.
cv::Mat fitted(const cv::Mat &area, const cv::Mat &piece, const cv::Mat &taken, int reach)
{
    const double scale = std::min(1.0, workingSide / std::max(area.cols, area.rows));
    const cv::Size small(std::max(1, int(std::lround(area.cols * scale))),
                         std::max(1, int(std::lround(area.rows * scale))));
    cv::Mat reduced, colour, smallPiece, smallTaken;
    cv::resize(area, reduced, small, 0, 0, cv::INTER_AREA);
    cv::cvtColor(reduced, colour, cv::COLOR_BGRA2BGR);
    cv::resize(piece, smallPiece, small, 0, 0, cv::INTER_AREA);
    cv::threshold(smallPiece, smallPiece, 127, 255, cv::THRESH_BINARY);
    if (cv::countNonZero(smallPiece) == 0)
        return cv::Mat();
    if (!taken.empty())
        cv::resize(taken, smallTaken, small, 0, 0, cv::INTER_AREA);
    // More than the object may still be off, in reduced pixels.
    const int radius = std::max(1, int(std::ceil(reach * scale)));
    cv::Mat sure, within;
    cv::erode(smallPiece, sure, disc(radius), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
              cv::Scalar(0));
    cv::dilate(smallPiece, within, disc(radius));
    cv::Mat labels(small, CV_8UC1, cv::Scalar(cv::GC_BGD));
    labels.setTo(cv::Scalar(cv::GC_PR_BGD), within);
    labels.setTo(cv::Scalar(cv::GC_PR_FGD), smallPiece);
    labels.setTo(cv::Scalar(cv::GC_FGD), sure);
    if (!smallTaken.empty())
        labels.setTo(cv::Scalar(cv::GC_BGD), smallTaken);
    if (cv::countNonZero(labels == cv::GC_BGD) == 0 ||
        cv::countNonZero((labels == cv::GC_FGD) | (labels == cv::GC_PR_FGD)) == 0)
        return cv::Mat(); // nothing around the piece, or nothing of it, to learn colours from
    cv::theRNG().state = 0x5eed; // the same frames give the same mask
    cv::Mat backgroundModel, objectModel;
    cv::grabCut(colour, labels, cv::Rect(), backgroundModel, objectModel, grabCutRounds,
                cv::GC_INIT_WITH_MASK);
    const cv::Mat found = (labels == cv::GC_FGD) | (labels == cv::GC_PR_FGD);
    cv::Mat limit;
    cv::resize(within, limit, area.size(), 0, 0, cv::INTER_NEAREST);
    if (!taken.empty())
        limit.setTo(cv::Scalar(0), taken);
    const cv::Mat result = refinedEdge(area, found, limit);
    // The band along the outline, `reach` wide, is what fitting may move; the outline's
    // length against the area is taken on the reduced copy.
    cv::Mat inner;
    cv::erode(smallPiece, inner, cv::Mat(), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
              cv::Scalar(0));
    const double smallArea = cv::countNonZero(smallPiece);
    const double outline = (smallArea - cv::countNonZero(inner)) / scale;
    const double area0 = cv::countNonZero(piece);
    const double mayLose = std::clamp(reach * outline / area0, leastLoss, mostLoss);
    cv::bitwise_and(result, piece, limit); // `limit` is done with: its room is reused
    if (cv::countNonZero(limit) < (1.0 - mayLose) * area0)
        return cv::Mat();
    return result;
}

} // namespace

namespace {

bool samePixels(const Piece &placed, const cv::Rect &box, const cv::Mat &piece)
{
    if (placed.isNull() || placed.offset != QPoint(box.x, box.y) ||
        placed.mask.size() != QSize(box.width, box.height))
        return false;
    cv::Mat differ;
    cv::compare(matOf(placed.mask), piece, differ, cv::CMP_NE);
    return cv::countNonZero(differ) == 0;
}

cv::Rect rectOf(const Piece &piece)
{
    return cv::Rect(piece.offset.x(), piece.offset.y(), piece.mask.width(), piece.mask.height());
}

} // namespace

MovedMask movedMask(const MotionCopy &before, const MotionCopy &shown, const QImage &picture,
                    const QImage &numbers, const std::vector<Trail> &trails,
                    const std::atomic_bool *cancelled, const QTransform *frameMoved,
                    const QImage &objects)
{
    MovedMask moved;
    // Without the picture, its copy tells its size.
    const QSize size = picture.isNull() ? shown.size : picture.size();
    if (numbers.isNull() || size != numbers.size() || numbers.depth() != 8 ||
        (!picture.isNull() && picture.depth() != 32) || (picture.isNull() && shown.isNull()))
        return moved;
    try {
        const bool following = !before.isNull() && before.size == size;
        const MotionCopy after = !following        ? MotionCopy()
                                 : !shown.isNull() ? shown
                                                   : motionCopyOf(picture);
        const Motion frame = !following   ? stillMotion()
                             : frameMoved ? motionOf(*frameMoved)
                                          : frameMotion(before, after);
        const cv::Mat classes = matOf(numbers);
        const cv::Rect whole(0, 0, classes.cols, classes.rows);
        const bool withObjects = !objects.isNull() && objects.size() == numbers.size() &&
                                 objects.format() == QImage::Format_Grayscale16;
        const QVector<MaskAnalysis::Piece> pieces =
            MaskAnalysis::piecesOf(numbers, withObjects ? objects : QImage(), MaskAnalysis::Pieces);
        // With objects a piece is found by its class and object alike: one number for both,
        // exact in a float up to 2^24.
        cv::Mat keys = classes;
        if (withObjects) {
            keys = cv::Mat(classes.size(), CV_32F);
            for (int y = 0; y < classes.rows; ++y) {
                const uchar *row = classes.ptr<uchar>(y);
                const auto *objectRow = reinterpret_cast<const quint16 *>(objects.constScanLine(y));
                float *out = keys.ptr<float>(y);
                for (int x = 0; x < classes.cols; ++x)
                    out[x] = float(row[x] + 256 * int(objectRow[x]));
            }
        }
        moved.pieces.reserve(size_t(pieces.size()));
        for (const MaskAnalysis::Piece &found : pieces) {
            if (cancelled && cancelled->load())
                return MovedMask();
            const cv::Rect box(found.box.x(), found.box.y(), found.box.width(), found.box.height());
            const cv::Mat piece = pieceAt(keys, box, cv::Point(found.seed.x(), found.seed.y()));
            MovedMask::Moved one;
            one.number = uchar(found.classNumber);
            one.object = quint16(found.object);
            one.thin = isThin(piece);
            one.edged = !following || one.thin || followsEdges(before, piece, box);
            const Motion motion =
                following ? pieceMotion(before, after, piece, box, frame) : stillMotion();
            cv::Rect at = box;
            cv::Mat there = piece;
            if (following && one.thin) {
                // A stroke goes on from where it was painted, while it is as it was placed.
                Trail trail{{imageOf(piece), QPoint(box.x, box.y)}, one.number, QTransform(), {}};
                for (const Trail &earlier : trails)
                    if (earlier.number == one.number && samePixels(earlier.placed, box, piece))
                        trail = earlier;
                trail.motion = trail.motion * transformOf(motion);
                there = movedPiece(matOf(trail.painted.mask), rectOf(trail.painted),
                                   motionOf(trail.motion), whole, &at);
                if (!there.empty()) {
                    trail.placed = {imageOf(there), QPoint(at.x, at.y)};
                    moved.trails.push_back(trail);
                }
            } else if (following) {
                there = movedPiece(piece, box, motion, whole, &at);
            }
            if (!there.empty()) {
                one.piece = {imageOf(there), QPoint(at.x, at.y)};
                if (one.piece.isNull())
                    return MovedMask();
            }
            moved.pieces.push_back(std::move(one));
        }
        moved.size = numbers.size();
    } catch (const cv::Exception &) {
        return MovedMask();
    } catch (const std::bad_alloc &) {
        return MovedMask();
    }
    return moved;
}

namespace {

// `under` (or an empty mask) to put pieces over, copied only if it is shared; null without
// memory.
cv::Mat canvasFor(QImage under, QSize size, QImage *image)
{
    const bool empty = under.isNull();
    *image = empty ? QImage(size, QImage::Format_Grayscale8) : std::move(under);
    if (image->isNull() || image->size() != size)
        return cv::Mat();
    if (empty)
        image->fill(0);
    cv::Mat canvas = matOf(*image);
    if (canvas.data == nullptr)
        return cv::Mat();
    return canvas;
}

} // namespace

QImage paintedOver(QImage under, const MovedMask &moved)
{
    QImage image;
    cv::Mat out = canvasFor(std::move(under), moved.size, &image);
    if (out.empty())
        return QImage();
    for (const MovedMask::Moved &one : moved.pieces)
        if (!one.piece.isNull())
            out(rectOf(one.piece)).setTo(cv::Scalar(one.number), matOf(one.piece.mask));
    return image;
}

Carried fittedMask(const QImage &picture, const MovedMask &moved, int reach,
                   const std::atomic_bool *cancelled)
{
    Carried carried;
    if (picture.isNull() || picture.size() != moved.size || picture.depth() != 32)
        return carried;
    try {
        const cv::Mat frame = matOf(picture);
        const cv::Rect whole(0, 0, frame.cols, frame.rows);
        for (size_t k = 0; k < moved.pieces.size(); ++k) {
            if (cancelled && cancelled->load())
                return Carried();
            const MovedMask::Moved &one = moved.pieces[k];
            if (one.piece.isNull())
                continue;
            ++carried.pieces;
            const cv::Mat piece = matOf(one.piece.mask);
            const bool small = cv::countNonZero(piece) < smallestPiece;
            if (small || one.thin || !one.edged) {
                carried.unchanged += small;
                carried.placed.pieces.push_back(one);
                continue;
            }
            // Room for the change, and as much again of background to learn its colours.
            const cv::Rect at = rectOf(one.piece);
            const int around = 2 * reach + 2;
            const cv::Rect box = cv::Rect(at.x - around, at.y - around, at.width + 2 * around,
                                          at.height + 2 * around) &
                                 whole;
            cv::Mat inBox(box.size(), CV_8UC1, cv::Scalar(0));
            piece.copyTo(inBox(cv::Rect(at.tl() - box.tl(), at.size())));
            // What the other pieces cover on this frame is theirs.
            cv::Mat taken;
            for (size_t j = 0; j < moved.pieces.size(); ++j) {
                const Piece &other = moved.pieces[j].piece;
                if (j == k || other.isNull())
                    continue;
                const cv::Rect meet = rectOf(other) & box;
                if (meet.empty())
                    continue;
                if (taken.empty())
                    taken = cv::Mat(box.size(), CV_8UC1, cv::Scalar(0));
                cv::Mat into = taken(cv::Rect(meet.tl() - box.tl(), meet.size()));
                into |= matOf(other.mask)(cv::Rect(meet.tl() - rectOf(other).tl(), meet.size()));
            }
            cv::Mat result;
            try {
                result = fitted(frame(box), inBox, taken, reach);
            } catch (const cv::Exception &) {
                result = cv::Mat(); // this piece goes as it was moved; the others still fit
            }
            if (result.empty()) {
                ++carried.unchanged;
                carried.placed.pieces.push_back(one);
                continue;
            }
            const cv::Rect tight = cv::boundingRect(result);
            MovedMask::Moved placed = one;
            placed.piece = {imageOf(result(tight)), QPoint(box.x + tight.x, box.y + tight.y)};
            if (tight.empty() || placed.piece.isNull())
                continue;
            carried.placed.pieces.push_back(std::move(placed));
        }
        carried.placed.size = moved.size;
        carried.trails = moved.trails;
        return carried;
    } catch (const cv::Exception &) {
        return Carried();
    } catch (const std::bad_alloc &) {
        return Carried();
    }
}

namespace {

Carried painted(Carried carried)
{
    if (!carried.placed.size.isEmpty())
        carried.numbers = paintedOver(QImage(), carried.placed);
    return carried;
}

} // namespace

Carried snappedCarry(const MotionCopy &before, const QImage &picture, const QImage &numbers,
                     const std::vector<Trail> &trails, const std::atomic_bool *cancelled)
{
    const MovedMask moved = movedMask(before, MotionCopy(), picture, numbers, trails, cancelled);
    if (moved.size.isEmpty())
        return Carried();
    return painted(
        fittedMask(picture, moved, before.isNull() ? carriedMove : fittedMove, cancelled));
}

Carried snappedCarry(const QImage &picture, const QImage &numbers, int reach,
                     const std::atomic_bool *cancelled)
{
    const MovedMask moved = movedMask(MotionCopy(), MotionCopy(), picture, numbers, {}, cancelled);
    if (moved.size.isEmpty())
        return Carried();
    return painted(fittedMask(picture, moved, reach, cancelled));
}

std::vector<bool> classesOnEdges(const MotionCopy &copy, const QImage &numbers)
{
    std::vector<bool> onEdges(256, false);
    if (copy.isNull() || numbers.isNull() || copy.size != numbers.size())
        return onEdges;
    try {
        const cv::Mat classes = matOf(numbers);
        for (int number = 1; number < 256; ++number) {
            const cv::Mat inClass = classes == number;
            const cv::Rect box = cv::boundingRect(inClass);
            if (!box.empty())
                onEdges[size_t(number)] = followsEdges(copy, inClass(box), box);
        }
    } catch (const cv::Exception &) {
    } catch (const std::bad_alloc &) {
    }
    return onEdges;
}

QImage fittedShape(const QImage &picture, const QImage &numbers, const std::vector<bool> &fit,
                   const std::atomic_bool *cancelled)
{
    MovedMask pieces = movedMask(MotionCopy(), MotionCopy(), picture, numbers, {}, cancelled);
    if (pieces.size.isEmpty())
        return QImage();
    for (MovedMask::Moved &one : pieces.pieces)
        one.edged = one.number < fit.size() && fit[one.number];
    const Carried carried = fittedMask(picture, pieces, fittedMove, cancelled);
    if (carried.placed.size.isEmpty())
        return QImage();
    return paintedOver(QImage(), carried.placed);
}

QTransform frameMotionOf(const MotionCopy &before, const MotionCopy &after)
{
    return transformOf(frameMotion(before, after));
}

} // namespace Region
