#ifndef VELMORA_REGION_MOTION_H
#define VELMORA_REGION_MOTION_H

#include "region/regionops.h"

#include <opencv2/core.hpp>

// Where things went between two frames of a sequence: the motion of the whole frame (a camera
// pan, a small zoom or turn) and the own motion of one piece of the mask. Both are found on
// grey copies of the frames, reduced when big, by following corners with pyramidal optical
// flow and keeping the similarity most of them agree on.
namespace Region {

// A similarity in full-size picture pixels, pixel centres at whole numbers (as
// cv::warpAffine takes it): a point (x, y) of the frame before goes to M * (x, y, 1).
using Motion = cv::Matx23d;

inline Motion stillMotion()
{
    return Motion(1, 0, 0, 0, 1, 0);
}

// The motion of the whole frame from `before` to `after` (copies of pictures of one size).
// `found` tells whether enough of the frame agreed on one; when not, the frame is still.
Motion frameMotion(const MotionCopy &before, const MotionCopy &after, bool *found = nullptr);

// The own motion of a piece: `piece` (8-bit, non-0 inside) lies at `box` of the frame before.
// Starts from `frame`, the frame's motion; a piece that moves with the frame, or that has too
// little texture to tell, keeps it.
Motion pieceMotion(const MotionCopy &before, const MotionCopy &after, const cv::Mat &piece,
                   const cv::Rect &box, const Motion &frame);

// Whether the outline of `piece` (at `box` of the frame `copy` was made of) lies on the
// picture's edges: an outline painted along an object's edge does, a region painted over a
// texture without regard to it does not, and fitting such a region to edges would change it.
bool followsEdges(const MotionCopy &copy, const cv::Mat &piece, const cv::Rect &box);

// The same motion as Qt keeps it, and back.
QTransform transformOf(const Motion &motion);
Motion motionOf(const QTransform &transform);

// The piece at `box`, moved by `motion`: the result cut to its bounds, and where they lie,
// within `whole`. Empty when it left the picture.
cv::Mat movedPiece(const cv::Mat &piece, const cv::Rect &box, const Motion &motion,
                   const cv::Rect &whole, cv::Rect *at);

} // namespace Region

#endif
