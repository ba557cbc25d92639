#include "region/regionops.h"

#include "region/matview.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <QVector>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace Region {

namespace {

QImage newMask(const QSize &size, uchar fill)
{
    QImage mask(size, QImage::Format_Grayscale8);
    if (!mask.isNull())
        mask.fill(fill);
    return mask;
}

// A new binary mask: 255 where `mask` compares to 0 as `comparison` says (cv::CMP_NE gives
// the mask itself, cv::CMP_EQ its inverse); null without memory.
QImage comparedToZero(const QImage &mask, int comparison)
{
    QImage result = newMask(mask.size(), 0);
    if (!result.isNull()) {
        cv::Mat out = matOf(result);
        cv::compare(matOf(mask), 0, out, comparison);
    }
    return result;
}

// Runs an OpenCV step; out of memory, or any failure inside OpenCV, gives a null image.
template <typename Step> QImage guarded(Step step)
{
    try {
        return step();
    } catch (const cv::Exception &) {
        return QImage();
    } catch (const std::bad_alloc &) {
        return QImage();
    }
}

// The bounding rectangle of the non-0 pixels; empty when there are none.
cv::Rect boundsOf(const cv::Mat &mask)
{
    return cv::boundingRect(mask);
}

cv::Rect widened(const cv::Rect &rect, int by, const cv::Size &limit)
{
    const cv::Rect wide(rect.x - by, rect.y - by, rect.width + 2 * by, rect.height + 2 * by);
    return wide & cv::Rect(0, 0, limit.width, limit.height);
}

// The mask grown by `pixels` (or, with `growing` false, shrunk: its unmasked part grown).
// distanceTransform measures from every non-0 pixel to the nearest 0, exactly (the precise
// mask is the Euclidean distance). Only the rectangle where the answer can change is worked
// on: around the mask when growing; the mask's own rectangle and the unmasked ring around it
// when shrinking, since any unmasked pixel farther out is farther than one on the ring.
QImage changedBy(const QImage &mask, int pixels, bool growing)
{
    return guarded([&] {
        QImage result = comparedToZero(mask, cv::CMP_NE);
        if (result.isNull())
            return result;
        cv::Mat out = matOf(result);
        const cv::Rect inMask = boundsOf(out);
        if (inMask.empty() || pixels <= 0)
            return result;
        const cv::Rect work = widened(inMask, growing ? pixels : 1, out.size());
        cv::Mat part = out(work);
        cv::Mat source;
        if (growing)
            cv::compare(part, 0, source, cv::CMP_EQ); // zeros at the mask's pixels
        else
            source = part; // zeros at the unmasked pixels
        cv::Mat distance;
        cv::distanceTransform(source, distance, cv::DIST_L2, cv::DIST_MASK_PRECISE, CV_32F);
        cv::Mat near;
        cv::compare(distance, float(pixels), near, cv::CMP_LE);
        if (growing)
            part |= near;
        else
            part &= ~near;
        return result;
    });
}

// Unmasked pixels (value 0) that no 4-connected path of unmasked pixels links to the
// picture's edge, as 255 in a new image.
QImage holesOf(const QImage &mask)
{
    return guarded([&] {
        const cv::Mat in = matOf(mask);
        // A ring of unmasked pixels around the picture joins every region touching the
        // edge, so one fill from the corner reaches all of them.
        cv::Mat open;
        cv::compare(in, 0, open, cv::CMP_EQ);
        cv::Mat padded;
        cv::copyMakeBorder(open, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(255));
        cv::floodFill(padded, cv::Point(0, 0), cv::Scalar(128), nullptr, cv::Scalar(0),
                      cv::Scalar(0), 4);
        QImage holes = newMask(mask.size(), 0);
        if (holes.isNull())
            return holes;
        cv::Mat out = matOf(holes);
        cv::compare(padded(cv::Rect(1, 1, in.cols, in.rows)), 255, out, cv::CMP_EQ);
        return holes;
    });
}

} // namespace

QImage grown(const QImage &mask, int pixels)
{
    return changedBy(mask, pixels, true);
}

QImage shrunk(const QImage &mask, int pixels)
{
    // Growing the unmasked part; outside the picture nothing is unmasked, so the edge stays.
    return changedBy(mask, pixels, false);
}

QImage inverted(const QImage &mask)
{
    return guarded([&] { return comparedToZero(mask, cv::CMP_EQ); });
}

QImage holesFilled(const QImage &mask)
{
    return guarded([&] {
        QImage result = holesOf(mask);
        if (!result.isNull()) {
            cv::Mat out = matOf(result);
            cv::Mat in;
            cv::compare(matOf(mask), 0, in, cv::CMP_NE);
            out |= in;
        }
        return result;
    });
}

QImage cleaned(const QImage &mask, int pixels)
{
    return guarded([&] {
        QImage result = comparedToZero(mask, cv::CMP_NE);
        if (result.isNull())
            return result;
        cv::Mat out = matOf(result);
        cv::Mat labels, stats, centroids;
        // Specks: 8-connected pieces of the mask smaller than `pixels`.
        const int pieces =
            cv::connectedComponentsWithStats(out, labels, stats, centroids, 8, CV_32S);
        QVector<uchar> keep(pieces, 255);
        keep[0] = 0;
        for (int i = 1; i < pieces; ++i)
            keep[i] = stats.at<int>(i, cv::CC_STAT_AREA) < pixels ? 0 : 255;
        for (int y = 0; y < out.rows; ++y) {
            const int *label = labels.ptr<int>(y);
            uchar *row = out.ptr<uchar>(y);
            for (int x = 0; x < out.cols; ++x)
                row[x] = keep[label[x]];
        }
        // Small holes: 4-connected unmasked regions off the edge, smaller than `pixels`.
        cv::Mat open;
        cv::compare(out, 0, open, cv::CMP_EQ);
        const int regions =
            cv::connectedComponentsWithStats(open, labels, stats, centroids, 4, CV_32S);
        QVector<uchar> fill(regions, 0);
        for (int i = 1; i < regions; ++i) {
            const int left = stats.at<int>(i, cv::CC_STAT_LEFT);
            const int top = stats.at<int>(i, cv::CC_STAT_TOP);
            const bool edge = left == 0 || top == 0 ||
                              left + stats.at<int>(i, cv::CC_STAT_WIDTH) == out.cols ||
                              top + stats.at<int>(i, cv::CC_STAT_HEIGHT) == out.rows;
            fill[i] = !edge && stats.at<int>(i, cv::CC_STAT_AREA) < pixels ? 255 : 0;
        }
        for (int y = 0; y < out.rows; ++y) {
            const int *label = labels.ptr<int>(y);
            uchar *row = out.ptr<uchar>(y);
            for (int x = 0; x < out.cols; ++x)
                row[x] |= fill[label[x]];
        }
        return result;
    });
}

Piece wand(const QImage &picture, QPoint seed, int tolerance)
{
    if (picture.depth() != 32 || !picture.rect().contains(seed))
        return {};
    QImage inside = newMask(picture.size(), 0);
    if (inside.isNull())
        return {};
    const int width = picture.width();
    const int height = picture.height();
    const QRgb origin = picture.pixel(seed);
    const auto alike = [&](QRgb c) {
        return std::abs(qRed(c) - qRed(origin)) <= tolerance &&
               std::abs(qGreen(c) - qGreen(origin)) <= tolerance &&
               std::abs(qBlue(c) - qBlue(origin)) <= tolerance;
    };
    const auto rowOf = [&](int y) {
        return reinterpret_cast<const QRgb *>(picture.constScanLine(y));
    };
    int left = seed.x(), right = seed.x(), top = seed.y(), bottom = seed.y();
    // A scanline fill: each run found is filled whole, then the rows above and below it
    // are searched for runs that touch it.
    QVector<QPoint> pending{seed};
    while (!pending.isEmpty()) {
        const QPoint at = pending.takeLast();
        uchar *marks = inside.scanLine(at.y());
        if (marks[at.x()])
            continue;
        const QRgb *row = rowOf(at.y());
        int x0 = at.x(), x1 = at.x();
        while (x0 > 0 && !marks[x0 - 1] && alike(row[x0 - 1]))
            --x0;
        while (x1 + 1 < width && !marks[x1 + 1] && alike(row[x1 + 1]))
            ++x1;
        std::fill(marks + x0, marks + x1 + 1, uchar(255));
        left = std::min(left, x0);
        right = std::max(right, x1);
        top = std::min(top, at.y());
        bottom = std::max(bottom, at.y());
        for (const int y : {at.y() - 1, at.y() + 1}) {
            if (y < 0 || y >= height)
                continue;
            const QRgb *next = rowOf(y);
            const uchar *nextMarks = inside.constScanLine(y);
            bool inRun = false;
            for (int x = x0; x <= x1; ++x) {
                const bool open = !nextMarks[x] && alike(next[x]);
                if (open && !inRun)
                    pending.append(QPoint(x, y));
                inRun = open;
            }
        }
    }
    const QRect bounds(QPoint(left, top), QPoint(right, bottom));
    Piece piece{inside.copy(bounds), bounds.topLeft()};
    return piece;
}

Piece filledOutline(const QPolygonF &outline, const QSize &pictureSize)
{
    const QRect bounds =
        outline.boundingRect().toAlignedRect().intersected(QRect(QPoint(), pictureSize));
    if (bounds.isEmpty())
        return {};
    QImage mask = newMask(bounds.size(), 0);
    if (mask.isNull())
        return {};
    // Pixel (i, j) is the square from (i, j) to (i + 1, j + 1); OpenCV puts pixels at
    // their centres, in fixed point with 8 fractional bits.
    std::vector<cv::Point> points;
    points.reserve(size_t(outline.size()));
    for (const QPointF &p : outline)
        points.emplace_back(qRound((p.x() - bounds.left() - 0.5) * 256),
                            qRound((p.y() - bounds.top() - 0.5) * 256));
    cv::Mat out = matOf(mask);
    try {
        cv::fillPoly(out, std::vector<std::vector<cv::Point>>{points}, cv::Scalar(255), cv::LINE_8,
                     8);
    } catch (const cv::Exception &) {
        return {};
    }
    return {mask, bounds.topLeft()};
}

} // namespace Region
