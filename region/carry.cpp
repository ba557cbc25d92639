// Carrying a mask to the next frame: each piece, fitted to the new frame's edges by grabCut
// started from the piece itself. Its inside shrunk by how far the object may have moved is
// surely the object, its outside grown by as much surely not, and the band between is left
// to the picture to decide.

#include "region/regionops.h"

#include "region/matview.h"
#include "region/snapedge.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <new>

namespace Region {

namespace {

// Fitting that keeps less than this share of a piece lost the object.
constexpr double keptShare = 0.5;
// Pieces this small are carried as they are: too few pixels to learn colours from.
constexpr int smallestPiece = 64;

cv::Mat disc(int radius)
{
    return cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * radius + 1, 2 * radius + 1));
}

// The piece (8-bit, 255 inside, the size of `box`) fitted to `area`, the frame's pixels of
// the box; empty when fitting lost it.
cv::Mat fitted(const cv::Mat &area, const cv::Mat &piece, int moved)
{
    const double scale = std::min(1.0, workingSide / std::max(area.cols, area.rows));
    const cv::Size small(std::max(1, int(std::lround(area.cols * scale))),
                         std::max(1, int(std::lround(area.rows * scale))));
    cv::Mat reduced, colour, smallPiece;
    cv::resize(area, reduced, small, 0, 0, cv::INTER_AREA);
    cv::cvtColor(reduced, colour, cv::COLOR_BGRA2BGR);
    cv::resize(piece, smallPiece, small, 0, 0, cv::INTER_AREA);
    cv::threshold(smallPiece, smallPiece, 127, 255, cv::THRESH_BINARY);
    if (cv::countNonZero(smallPiece) == 0)
        return cv::Mat();
    // More than the object may have moved, in reduced pixels.
    const int radius = std::max(1, int(std::ceil(moved * scale)));
    cv::Mat sure, reach;
    cv::erode(smallPiece, sure, disc(radius), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
              cv::Scalar(0));
    cv::dilate(smallPiece, reach, disc(radius));
    cv::Mat labels(small, CV_8UC1, cv::Scalar(cv::GC_BGD));
    labels.setTo(cv::Scalar(cv::GC_PR_BGD), reach);
    labels.setTo(cv::Scalar(cv::GC_PR_FGD), smallPiece);
    labels.setTo(cv::Scalar(cv::GC_FGD), sure);
    if (cv::countNonZero(labels == cv::GC_BGD) == 0)
        return cv::Mat();        // nothing around the piece to tell the background by
    cv::theRNG().state = 0x5eed; // the same frames give the same mask
    cv::Mat backgroundModel, objectModel;
    cv::grabCut(colour, labels, cv::Rect(), backgroundModel, objectModel, grabCutRounds,
                cv::GC_INIT_WITH_MASK);
    const cv::Mat found = (labels == cv::GC_FGD) | (labels == cv::GC_PR_FGD);
    cv::Mat limit;
    cv::resize(reach, limit, area.size(), 0, 0, cv::INTER_NEAREST);
    cv::Mat result = refinedEdge(area, found, limit);
    if (cv::countNonZero(result) < keptShare * cv::countNonZero(piece))
        return cv::Mat();
    return result;
}

} // namespace

Carried snappedCarry(const QImage &picture, const QImage &numbers, int moved,
                     const std::atomic_bool *cancelled)
{
    Carried carried;
    if (picture.isNull() || numbers.isNull() || picture.size() != numbers.size() ||
        picture.depth() != 32)
        return carried;
    try {
        const cv::Mat frame = matOf(picture);
        const cv::Mat classes = matOf(numbers);
        cv::Mat out(classes.size(), CV_8UC1, cv::Scalar(0));
        // The classes present, each labelled on its own.
        std::array<bool, 256> present{};
        for (int y = 0; y < classes.rows; ++y) {
            const uchar *row = classes.ptr<uchar>(y);
            for (int x = 0; x < classes.cols; ++x)
                present[row[x]] = true;
        }
        const cv::Rect whole(0, 0, frame.cols, frame.rows);
        cv::Mat labels, stats, centres;
        for (int number = 1; number < 256; ++number) {
            if (!present[size_t(number)])
                continue;
            const cv::Mat inClass = classes == number;
            const int count =
                cv::connectedComponentsWithStats(inClass, labels, stats, centres, 8, CV_32S);
            for (int i = 1; i < count; ++i) {
                if (cancelled && cancelled->load())
                    return Carried();
                ++carried.pieces;
                const cv::Rect bounds(
                    stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                    stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
                // Room for the move, and as much again of background to learn its colours.
                const int around = 2 * moved + 2;
                const cv::Rect box =
                    cv::Rect(bounds.x - around, bounds.y - around, bounds.width + 2 * around,
                             bounds.height + 2 * around) &
                    whole;
                const cv::Mat piece = labels(box) == i;
                cv::Mat result;
                if (stats.at<int>(i, cv::CC_STAT_AREA) >= smallestPiece) {
                    try {
                        result = fitted(frame(box), piece, moved);
                    } catch (const cv::Exception &) {
                        result = cv::Mat(); // this piece goes as it was; the others still fit
                    }
                }
                if (result.empty()) {
                    ++carried.unchanged;
                    result = piece;
                }
                out(box).setTo(cv::Scalar(number), result);
            }
        }
        QImage image(numbers.size(), QImage::Format_Grayscale8);
        if (image.isNull())
            return Carried();
        out.copyTo(matOf(image));
        carried.numbers = image;
        return carried;
    } catch (const cv::Exception &) {
        return Carried();
    } catch (const std::bad_alloc &) {
        return Carried();
    }
}

} // namespace Region
