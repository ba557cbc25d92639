// Finding where things went between two frames. Corners of the frame before are followed into
// the next with pyramidal Lucas-Kanade optical flow and followed back again; those that come
// back where they started are trusted, and the similarity most of them agree on (RANSAC) is
// the motion. The whole frame is first looked at reduced to about a thousand pixels across,
// then its answer is refined at twice that; a piece is looked at around its box, on the copy.

#include "region/motion.h"

#include "region/matview.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>
#include <new>

namespace Region {

namespace {

// The whole frame is first followed on a copy about this long.
constexpr double coarseSide = 1024.0;
// A corner followed there and back that returns further than this (in copy pixels) from where
// it started was lost on the way.
constexpr float returnError = 0.5f;
// RANSAC: a corner this far (copy pixels) from where the motion puts it disagrees.
constexpr double agreement = 1.0;
// Too few corners, or too small a share agreeing, tell nothing.
constexpr int fewestCorners = 12;
constexpr double agreeingShare = 0.3;
// A piece's corners that agree with the frame's motion within this much (copy pixels, the
// median) move with the frame.
constexpr double withTheFrame = 0.3;
// Followed within this much of its box (copy pixels): the reach of three pyramid levels.
constexpr int pieceReach = 48;
// Frames of a sequence zoom and turn only a little between two frames.
constexpr double largestZoom = 1.25;
constexpr double largestTurn = 0.3; // radians

// An outline follows edges where the picture changes along it this much more than a few
// pixels in and out of it.
constexpr double edgeContrast = 1.5;

const cv::TermCriteria lkStop(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 30, 0.01);

// 3x3 forms of a motion, to chain them.
cv::Matx33d square(const Motion &m)
{
    return cv::Matx33d(m(0, 0), m(0, 1), m(0, 2), m(1, 0), m(1, 1), m(1, 2), 0, 0, 1);
}

Motion affine(const cv::Matx33d &m)
{
    return Motion(m(0, 0), m(0, 1), m(0, 2), m(1, 0), m(1, 1), m(1, 2));
}

// `m`, a motion in the pixels of a copy reduced by `scale`, in the pixels of the picture. A
// copy's pixel centre c lies at (p + 0.5) * scale - 0.5 for the picture's p.
Motion unscaled(const Motion &m, double scale)
{
    const double shift = 0.5 * scale - 0.5;
    const cv::Matx33d toCopy(scale, 0, shift, 0, scale, shift, 0, 0, 1);
    return affine(toCopy.inv() * square(m) * toCopy);
}

Motion scaled(const Motion &m, double scale)
{
    const double shift = 0.5 * scale - 0.5;
    const cv::Matx33d toCopy(scale, 0, shift, 0, scale, shift, 0, 0, 1);
    return affine(toCopy * square(m) * toCopy.inv());
}

cv::Point2f applied(const Motion &m, cv::Point2f p)
{
    return cv::Point2f(float(m(0, 0) * p.x + m(0, 1) * p.y + m(0, 2)),
                       float(m(1, 0) * p.x + m(1, 1) * p.y + m(1, 2)));
}

bool plausible(const cv::Mat &m)
{
    if (m.empty())
        return false;
    const double a = m.at<double>(0, 0), b = m.at<double>(1, 0);
    const double zoom = std::hypot(a, b);
    return zoom < largestZoom && zoom > 1 / largestZoom && std::abs(std::atan2(b, a)) < largestTurn;
}

// The corners `from` of `before` followed into `after`, starting where `guess` puts them;
// keeps in `from` and `to` those that came back.
void follow(const cv::Mat &before, const cv::Mat &after, const Motion &guess,
            std::vector<cv::Point2f> &from, std::vector<cv::Point2f> &to, int levels)
{
    to.resize(from.size());
    for (size_t i = 0; i < from.size(); ++i)
        to[i] = applied(guess, from[i]);
    if (from.empty())
        return;
    std::vector<uchar> there, back;
    std::vector<float> error;
    const cv::Size window(21, 21);
    cv::calcOpticalFlowPyrLK(before, after, from, to, there, error, window, levels, lkStop,
                             cv::OPTFLOW_USE_INITIAL_FLOW);
    std::vector<cv::Point2f> returned = from;
    cv::calcOpticalFlowPyrLK(after, before, to, returned, back, error, window, levels, lkStop,
                             cv::OPTFLOW_USE_INITIAL_FLOW);
    size_t kept = 0;
    for (size_t i = 0; i < from.size(); ++i) {
        if (!there[i] || !back[i] || cv::norm(returned[i] - from[i]) > returnError)
            continue;
        from[kept] = from[i];
        to[kept] = to[i];
        ++kept;
    }
    from.resize(kept);
    to.resize(kept);
}

// The similarity most corners agree on, or an empty matrix.
cv::Mat agreed(const std::vector<cv::Point2f> &from, const std::vector<cv::Point2f> &to)
{
    if (int(from.size()) < fewestCorners)
        return cv::Mat();
    std::vector<uchar> inliers;
    cv::Mat m = cv::estimateAffinePartial2D(from, to, inliers, cv::RANSAC, agreement, 2000, 0.995);
    const int agreeing = int(std::count(inliers.begin(), inliers.end(), uchar(1)));
    if (!plausible(m) || agreeing < fewestCorners || agreeing < agreeingShare * double(from.size()))
        return cv::Mat();
    return m;
}

// `box`, in picture pixels, on a copy reduced by `scale`: every copy pixel it touches.
cv::Rect boxOnCopy(const cv::Rect &box, double scale, const cv::Rect &copyRect)
{
    return cv::Rect(
               cv::Point(int(std::floor(box.x * scale)), int(std::floor(box.y * scale))),
               cv::Point(int(std::ceil(box.br().x * scale)), int(std::ceil(box.br().y * scale)))) &
           copyRect;
}

Motion motionOfMat(const cv::Mat &m)
{
    return Motion(m.at<double>(0, 0), m.at<double>(0, 1), m.at<double>(0, 2), m.at<double>(1, 0),
                  m.at<double>(1, 1), m.at<double>(1, 2));
}

} // namespace

Motion frameMotion(const MotionCopy &before, const MotionCopy &after, bool *found)
{
    if (found)
        *found = false;
    if (before.isNull() || after.isNull() || before.grey.size() != after.grey.size() ||
        before.size != after.size)
        return stillMotion();
    try {
        const cv::Mat b = matOf(before.grey), a = matOf(after.grey);
        // First a copy about a thousand pixels across, which a pyramid of four levels follows
        // across a tenth of it; then, from that answer, one twice as fine (or the copy itself),
        // for a tenth of a pixel.
        const double coarse = std::min(1.0, coarseSide / std::max(b.cols, b.rows));
        const double fine = std::min(1.0, 2 * coarseSide / std::max(b.cols, b.rows));
        const auto reduced = [](const cv::Mat &grey, double scale) {
            if (scale >= 1.0)
                return grey;
            cv::Mat small;
            cv::resize(grey, small,
                       cv::Size(std::max(1, int(std::lround(grey.cols * scale))),
                                std::max(1, int(std::lround(grey.rows * scale)))),
                       0, 0, cv::INTER_AREA);
            return small;
        };
        const cv::Mat fineBefore = reduced(b, fine), fineAfter = reduced(a, fine);
        const cv::Mat smallBefore = reduced(fineBefore, coarse / fine);
        const cv::Mat smallAfter = reduced(fineAfter, coarse / fine);
        std::vector<cv::Point2f> from, to;
        const int spacing = std::max(4, std::max(smallBefore.cols, smallBefore.rows) / 60);
        cv::goodFeaturesToTrack(smallBefore, from, 600, 0.01, spacing, cv::noArray(), 5);
        follow(smallBefore, smallAfter, stillMotion(), from, to, 4);
        cv::Mat m = agreed(from, to);
        if (m.empty())
            return stillMotion();
        Motion motion = motionOfMat(m);
        double scale = coarse; // of the copy `motion` is in, against `b`
        if (fine > coarse) {
            const double step = coarse / fine;
            motion = unscaled(motion, step);
            for (cv::Point2f &p : from)
                p = cv::Point2f(float((p.x + 0.5) / step - 0.5), float((p.y + 0.5) / step - 0.5));
            follow(fineBefore, fineAfter, motion, from, to, 1);
            m = agreed(from, to);
            if (m.empty())
                return stillMotion();
            motion = motionOfMat(m);
            scale = fine;
        }
        motion = unscaled(motion, scale);
        if (found)
            *found = true;
        return unscaled(motion, before.scale);
    } catch (const cv::Exception &) {
        return stillMotion();
    } catch (const std::bad_alloc &) {
        return stillMotion();
    }
}

Motion pieceMotion(const MotionCopy &before, const MotionCopy &after, const cv::Mat &piece,
                   const cv::Rect &box, const Motion &frame)
{
    if (before.isNull() || after.isNull() || before.grey.size() != after.grey.size() ||
        piece.empty())
        return frame;
    try {
        const cv::Mat b = matOf(before.grey), a = matOf(after.grey);
        const double s = before.scale;
        const cv::Rect copyRect(0, 0, b.cols, b.rows);
        const cv::Rect inCopy = boxOnCopy(box, s, copyRect);
        if (inCopy.empty())
            return frame;
        // The piece on the copy, kept whole however thin, with a pixel or two around it:
        // the corners of its edge are what moves with it.
        cv::Mat where;
        cv::resize(piece, where, inCopy.size(), 0, 0, cv::INTER_AREA);
        where = where > 0;
        cv::dilate(where, where, cv::Mat(), cv::Point(-1, -1), 2);
        // Followed on a part of the frames around the box and where the frame's motion takes
        // it, so each piece costs its own size.
        const Motion onCopy = scaled(frame, s);
        std::vector<cv::Point2f> corners = {
            applied(onCopy, cv::Point2f(float(inCopy.x), float(inCopy.y))),
            applied(onCopy, cv::Point2f(float(inCopy.br().x), float(inCopy.br().y))),
            applied(onCopy, cv::Point2f(float(inCopy.x), float(inCopy.br().y))),
            applied(onCopy, cv::Point2f(float(inCopy.br().x), float(inCopy.y)))};
        const cv::Rect reached = cv::boundingRect(corners) | inCopy;
        const cv::Rect part =
            cv::Rect(reached.x - pieceReach, reached.y - pieceReach, reached.width + 2 * pieceReach,
                     reached.height + 2 * pieceReach) &
            copyRect;
        const cv::Point offset = part.tl();
        cv::Mat inPart(part.size(), CV_8UC1, cv::Scalar(0));
        where.copyTo(inPart(cv::Rect(inCopy.tl() - offset, inCopy.size())));
        std::vector<cv::Point2f> from, to;
        cv::goodFeaturesToTrack(b(part), from, 300, 0.005, 2, inPart, 5);
        if (from.size() < 6)
            return frame;
        const cv::Matx23d shift(1, 0, -offset.x, 0, 1, -offset.y);
        const Motion local =
            affine(square(shift) * square(onCopy) * square(shift).inv()); // part's pixels
        follow(b(part), a(part), local, from, to, 3);
        if (from.size() < 6)
            return frame;
        std::vector<double> dx, dy;
        for (size_t i = 0; i < from.size(); ++i) {
            const cv::Point2f expected = applied(local, from[i]);
            dx.push_back(to[i].x - expected.x);
            dy.push_back(to[i].y - expected.y);
        }
        const auto median = [](std::vector<double> values) {
            std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
            return values[values.size() / 2];
        };
        const double mx = median(dx), my = median(dy);
        if (std::hypot(mx, my) < withTheFrame)
            return frame;
        const cv::Mat own = agreed(from, to);
        if (!own.empty())
            return unscaled(affine(square(shift).inv() * square(motionOfMat(own)) * square(shift)),
                            s);
        // Too few corners for a similarity of its own: the frame's, shifted as they say.
        Motion moved = onCopy;
        moved(0, 2) += mx;
        moved(1, 2) += my;
        return unscaled(moved, s);
    } catch (const cv::Exception &) {
        return frame;
    } catch (const std::bad_alloc &) {
        return frame;
    }
}

cv::Mat movedPiece(const cv::Mat &piece, const cv::Rect &box, const Motion &motion,
                   const cv::Rect &whole, cv::Rect *at)
{
    std::vector<cv::Point2f> corners;
    for (const cv::Point2f c : {cv::Point2f(float(box.x) - 0.5f, float(box.y) - 0.5f),
                                cv::Point2f(float(box.br().x) - 0.5f, float(box.y) - 0.5f),
                                cv::Point2f(float(box.x) - 0.5f, float(box.br().y) - 0.5f),
                                cv::Point2f(float(box.br().x) - 0.5f, float(box.br().y) - 0.5f)})
        corners.push_back(applied(motion, c));
    const cv::Rect reached = cv::boundingRect(corners);
    *at = cv::Rect(reached.x - 1, reached.y - 1, reached.width + 2, reached.height + 2) & whole;
    if (at->empty())
        return cv::Mat();
    const cv::Matx33d into(1, 0, -at->x, 0, 1, -at->y, 0, 0, 1);
    const cv::Matx33d outOf(1, 0, box.x, 0, 1, box.y, 0, 0, 1);
    const Motion local = affine(into * square(motion) * outOf);
    cv::Mat moved;
    cv::warpAffine(piece, moved, local, at->size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT,
                   cv::Scalar(0));
    cv::threshold(moved, moved, 127, 255, cv::THRESH_BINARY);
    // Cut to the piece itself, as pieces are found on a mask.
    const cv::Rect tight = cv::boundingRect(moved);
    if (tight.empty())
        return cv::Mat();
    *at = cv::Rect(at->tl() + tight.tl(), tight.size());
    return moved(tight);
}

bool followsEdges(const MotionCopy &copy, const cv::Mat &piece, const cv::Rect &box)
{
    if (copy.isNull() || piece.empty())
        return true;
    try {
        const cv::Mat grey = matOf(copy.grey);
        const double s = copy.scale;
        const cv::Rect copyRect(0, 0, grey.cols, grey.rows);
        const cv::Rect inCopy = boxOnCopy(box, s, copyRect);
        if (inCopy.width < 3 || inCopy.height < 3)
            return false;
        constexpr int band = 5;
        const cv::Rect around = cv::Rect(inCopy.x - band, inCopy.y - band, inCopy.width + 2 * band,
                                         inCopy.height + 2 * band) &
                                copyRect;
        cv::Mat shape(around.size(), CV_8UC1, cv::Scalar(0)), reduced;
        cv::resize(piece, reduced, inCopy.size(), 0, 0, cv::INTER_AREA);
        shape(cv::Rect(inCopy.tl() - around.tl(), inCopy.size())) = reduced > 127;
        cv::Mat dx, dy, gradient;
        cv::Sobel(grey(around), dx, CV_32F, 1, 0);
        cv::Sobel(grey(around), dy, CV_32F, 0, 1);
        gradient = cv::abs(dx) + cv::abs(dy);
        // Along the outline, a pixel either way; against bands a few pixels in and out.
        cv::Mat nearest;
        cv::dilate(gradient, nearest, cv::Mat());
        const cv::Mat ring = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3));
        cv::Mat inner, outer, farIn, farOut;
        cv::erode(shape, inner, ring, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(0));
        cv::dilate(shape, outer, ring, cv::Point(-1, -1), 2);
        cv::erode(shape, farIn, ring, cv::Point(-1, -1), 4, cv::BORDER_CONSTANT, cv::Scalar(0));
        cv::dilate(shape, farOut, ring, cv::Point(-1, -1), 4);
        const cv::Mat outline = shape & ~inner;
        const cv::Mat bands = (farOut & ~outer) | (inner & ~farIn & ~outline);
        if (cv::countNonZero(outline) == 0 || cv::countNonZero(bands) == 0)
            return false;
        return cv::mean(nearest, outline)[0] >= edgeContrast * cv::mean(nearest, bands)[0];
    } catch (const cv::Exception &) {
        return false;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

QTransform transformOf(const Motion &m)
{
    return QTransform(m(0, 0), m(1, 0), m(0, 1), m(1, 1), m(0, 2), m(1, 2));
}

Motion motionOf(const QTransform &t)
{
    return Motion(t.m11(), t.m21(), t.dx(), t.m12(), t.m22(), t.dy());
}

MotionCopy motionCopyOf(const QImage &picture)
{
    MotionCopy copy;
    if (picture.isNull() || picture.depth() != 32)
        return copy;
    try {
        const cv::Mat from = matOf(picture);
        const double scale = std::min(1.0, double(motionSide) / std::max(from.cols, from.rows));
        const cv::Size size(std::max(1, int(std::lround(from.cols * scale))),
                            std::max(1, int(std::lround(from.rows * scale))));
        QImage grey(size.width, size.height, QImage::Format_Grayscale8);
        if (grey.isNull())
            return copy;
        cv::Mat into = matOf(grey);
        if (scale < 1.0) {
            cv::Mat reduced;
            cv::resize(from, reduced, size, 0, 0, cv::INTER_AREA);
            cv::cvtColor(reduced, into, cv::COLOR_BGRA2GRAY);
        } else {
            cv::cvtColor(from, into, cv::COLOR_BGRA2GRAY);
        }
        copy.grey = grey;
        copy.scale = double(size.width) / from.cols;
        copy.size = picture.size();
    } catch (const cv::Exception &) {
        return MotionCopy();
    } catch (const std::bad_alloc &) {
        return MotionCopy();
    }
    return copy;
}

} // namespace Region
