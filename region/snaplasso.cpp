// The snapping lasso: grabCut on a reduced copy of the outline's rectangle finds the object,
// and a look at the full-size picture along the found boundary puts the edge where the
// picture has it.

#include "region/regionops.h"

#include "region/matview.h"
#include "region/snapedge.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <new>

namespace Region {

namespace {

// Fewer kept pixels than this share of the outline means grabCut found no object.
constexpr double smallestShare = 0.3;

// Tiles of the band along the found boundary are worked on one at a time, with this much of
// the picture around them.
constexpr int bandTile = 64;

// Mean colour of the pixels of `where` (weights 0 or 1) around each pixel, `radius` away.
cv::Mat localMean(const cv::Mat &colour, const cv::Mat &where, int radius)
{
    const cv::Size box(2 * radius + 1, 2 * radius + 1);
    cv::Mat weighted, sum, weight;
    cv::Mat where3;
    cv::merge(std::vector<cv::Mat>{where, where, where}, where3);
    cv::multiply(colour, where3, weighted);
    cv::boxFilter(weighted, sum, CV_32F, box, cv::Point(-1, -1), false);
    cv::boxFilter(where3, weight, CV_32F, box, cv::Point(-1, -1), false);
    cv::Mat mean;
    cv::divide(sum, cv::max(weight, 1e-3f), mean);
    return mean;
}

// Decides the undecided pixels of one tile: each goes to the side whose nearby colours it is
// closer to, so the edge follows the picture's.
void decideTile(const cv::Mat &picture, const cv::Mat &sure, const cv::Mat &maybe,
                const cv::Mat &undecided, cv::Mat &result, const cv::Rect &tile, int radius)
{
    const cv::Rect around = cv::Rect(tile.x - radius, tile.y - radius, tile.width + 2 * radius,
                                     tile.height + 2 * radius) &
                            cv::Rect(0, 0, picture.cols, picture.rows);
    cv::Mat colour;
    cv::cvtColor(picture(around), colour, cv::COLOR_BGRA2BGR);
    colour.convertTo(colour, CV_32FC3);
    cv::Mat inside, outside;
    sure(around).convertTo(inside, CV_32F, 1.0 / 255);
    cv::Mat notMaybe = ~maybe(around);
    notMaybe.convertTo(outside, CV_32F, 1.0 / 255);
    const cv::Mat inMean = localMean(colour, inside, radius);
    const cv::Mat outMean = localMean(colour, outside, radius);
    const cv::Point shift = tile.tl() - around.tl();
    for (int y = 0; y < tile.height; ++y) {
        const uchar *open = undecided.ptr<uchar>(tile.y + y) + tile.x;
        uchar *row = result.ptr<uchar>(tile.y + y) + tile.x;
        const auto *c = colour.ptr<cv::Vec3f>(shift.y + y) + shift.x;
        const auto *in = inMean.ptr<cv::Vec3f>(shift.y + y) + shift.x;
        const auto *out = outMean.ptr<cv::Vec3f>(shift.y + y) + shift.x;
        for (int x = 0; x < tile.width; ++x) {
            if (!open[x])
                continue;
            const cv::Vec3f toIn = c[x] - in[x];
            const cv::Vec3f toOut = c[x] - out[x];
            row[x] = toIn.dot(toIn) <= toOut.dot(toOut) ? 255 : 0;
        }
    }
}

} // namespace

cv::Mat refinedEdge(const cv::Mat &picture, const cv::Mat &found, const cv::Mat &outline)
{
    const cv::Mat step = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::Mat smallSure, smallMaybe;
    cv::erode(found, smallSure, step, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(0));
    cv::dilate(found, smallMaybe, step);
    cv::Mat sure, maybe;
    cv::resize(smallSure, sure, outline.size(), 0, 0, cv::INTER_NEAREST);
    cv::resize(smallMaybe, maybe, outline.size(), 0, 0, cv::INTER_NEAREST);
    sure &= outline;
    maybe &= outline;
    const cv::Mat undecided = maybe & ~sure;
    const int radius = std::max(2, int(std::lround(double(outline.cols) / found.cols)) + 1);

    cv::Mat result = sure.clone();
    std::vector<cv::Rect> band;
    for (int y = 0; y < outline.rows; y += bandTile) {
        for (int x = 0; x < outline.cols; x += bandTile) {
            const cv::Rect tile =
                cv::Rect(x, y, bandTile, bandTile) & cv::Rect(0, 0, outline.cols, outline.rows);
            if (cv::countNonZero(undecided(tile)) == 0)
                continue;
            decideTile(picture, sure, maybe, undecided, result, tile, radius);
            band.push_back(tile);
        }
    }
    // Lone pixels of the band that went against all their neighbours are noise.
    for (const cv::Rect &tile : band) {
        const cv::Rect around = cv::Rect(tile.x - 1, tile.y - 1, tile.width + 2, tile.height + 2) &
                                cv::Rect(0, 0, outline.cols, outline.rows);
        cv::Mat smooth;
        cv::medianBlur(result(around), smooth, 3);
        const cv::Rect inner(tile.x - around.x, tile.y - around.y, tile.width, tile.height);
        smooth(inner).copyTo(result(tile), undecided(tile));
    }
    return result;
}

Piece snappedLasso(const QImage &picture, const QPolygonF &outline, bool *snapped)
{
    if (snapped)
        *snapped = false;
    const Piece plain = filledOutline(outline, picture.size());
    if (plain.isNull() || picture.depth() != 32)
        return plain;
    try {
        const cv::Rect box(plain.offset.x(), plain.offset.y(), plain.mask.width(),
                           plain.mask.height());
        const cv::Mat area = matOf(picture)(box);
        const cv::Mat inOutline = matOf(plain.mask);
        const double outlinePixels = cv::countNonZero(inOutline);
        if (outlinePixels < 16)
            return plain;

        const double scale = std::min(1.0, workingSide / std::max(box.width, box.height));
        const cv::Size small(std::max(1, int(std::lround(box.width * scale))),
                             std::max(1, int(std::lround(box.height * scale))));
        cv::Mat reduced, smallColour;
        cv::resize(area, reduced, small, 0, 0, cv::INTER_AREA);
        cv::cvtColor(reduced, smallColour, cv::COLOR_BGRA2BGR);
        cv::Mat smallOutline;
        cv::resize(inOutline, smallOutline, small, 0, 0, cv::INTER_NEAREST);

        // Outside the outline is background; inside, probably the object.
        cv::Mat labels(small, CV_8UC1, cv::Scalar(cv::GC_BGD));
        labels.setTo(cv::Scalar(cv::GC_PR_FGD), smallOutline);
        if (cv::countNonZero(labels == cv::GC_BGD) == 0)
            return plain;
        // grabCut starts its colour models from random picks: the same gesture must give
        // the same mask.
        cv::theRNG().state = 0x5eed;
        cv::Mat backgroundModel, objectModel;
        cv::grabCut(smallColour, labels, cv::Rect(), backgroundModel, objectModel, grabCutRounds,
                    cv::GC_INIT_WITH_MASK);
        cv::Mat found = (labels == cv::GC_FGD) | (labels == cv::GC_PR_FGD);

        cv::Mat result = refinedEdge(area, found, inOutline);
        if (cv::countNonZero(result) < smallestShare * outlinePixels)
            return plain;

        QImage mask(box.width, box.height, QImage::Format_Grayscale8);
        if (mask.isNull())
            return plain;
        result.copyTo(cv::Mat(mask.height(), mask.width(), CV_8UC1, mask.bits(),
                              size_t(mask.bytesPerLine())));
        if (snapped)
            *snapped = true;
        return {mask, plain.offset};
    } catch (const cv::Exception &) {
        return plain;
    } catch (const std::bad_alloc &) {
        return plain;
    }
}

} // namespace Region
