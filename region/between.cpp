// A shape between two shapes: each outline as a signed distance (negative inside), blended,
// and the blend's inside taken. Where the two outlines lie close, this moves the outline
// evenly from one to the other; the shapes are first moved to where the frame between has
// them, so they mostly do.

#include "region/regionops.h"

#include "region/matview.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <new>
#include <vector>

namespace Region {

namespace {

// Signed distance to the outline of `inside` (8-bit, 255 inside): negative inside.
cv::Mat signedDistance(const cv::Mat &inside)
{
    cv::Mat outside = inside == 0, toInside, toOutside;
    cv::distanceTransform(outside, toInside, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    cv::distanceTransform(inside, toOutside, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    return toInside - toOutside;
}

// The bounds of each class number of `numbers`, in one pass.
std::vector<cv::Rect> boundsOf(const QImage &numbers)
{
    std::vector<int> left(256, INT_MAX), right(256, -1), top(256, -1), bottom(256, -1);
    for (int y = 0; y < numbers.height(); ++y) {
        const uchar *row = numbers.constScanLine(y);
        for (int x = 0; x < numbers.width(); ++x) {
            const uchar n = row[x];
            if (n == 0)
                continue;
            left[n] = std::min(left[n], x);
            right[n] = std::max(right[n], x);
            if (top[n] < 0)
                top[n] = y;
            bottom[n] = y;
        }
    }
    std::vector<cv::Rect> bounds(256);
    for (int n = 1; n < 256; ++n)
        if (right[size_t(n)] >= 0)
            bounds[size_t(n)] = cv::Rect(cv::Point(left[size_t(n)], top[size_t(n)]),
                                         cv::Point(right[size_t(n)] + 1, bottom[size_t(n)] + 1));
    return bounds;
}

} // namespace

QImage shapeBetween(const QImage &from, const QImage &to, double share,
                    const std::vector<uchar> &classes)
{
    if (from.isNull() || to.isNull() || from.size() != to.size() || from.depth() != 8 ||
        to.depth() != 8)
        return QImage();
    QImage result(from.size(), QImage::Format_Grayscale8);
    if (result.isNull())
        return result;
    result.fill(0);
    try {
        const cv::Mat a = matOf(from), b = matOf(to);
        cv::Mat out = matOf(result);
        const cv::Rect whole(0, 0, a.cols, a.rows);
        const std::vector<cv::Rect> boundsA = boundsOf(from), boundsB = boundsOf(to);
        for (const uchar number : classes) {
            if (boundsA[number].empty() || boundsB[number].empty())
                continue;
            // Only around the two shapes; a margin keeps their outlines' distances true.
            constexpr int margin = 4;
            const cv::Rect both = boundsA[number] | boundsB[number];
            const cv::Rect box = cv::Rect(both.x - margin, both.y - margin, both.width + 2 * margin,
                                          both.height + 2 * margin) &
                                 whole;
            const cv::Mat blended = (1.0 - share) * signedDistance(a(box) == number) +
                                    share * signedDistance(b(box) == number);
            out(box).setTo(cv::Scalar(number), blended < 0);
        }
    } catch (const cv::Exception &) {
        return QImage();
    } catch (const std::bad_alloc &) {
        return QImage();
    }
    return result;
}

} // namespace Region
