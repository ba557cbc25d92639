// The snapping lasso: grabCut on a reduced copy of the outline's rectangle finds the object,
// and a look at the full-size picture along the found boundary puts the edge where the
// picture has it.

#include "region/regionops.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <new>

namespace Region {

namespace {

// grabCut works on a copy whose long side is about this many pixels: measured, it finds
// the same objects as at full size, in a small part of the time.
constexpr double workingSide = 400.0;
// Fewer kept pixels than this share of the outline means grabCut found no object.
constexpr double smallestShare = 0.3;
constexpr int iterations = 4;

cv::Mat matOf(const QImage &image)
{
    return cv::Mat(image.height(), image.width(), image.depth() == 32 ? CV_8UC4 : CV_8UC1,
                   const_cast<uchar *>(image.constBits()), size_t(image.bytesPerLine()));
}

// Mean colour of the pixels of `where` (0 or 1 as float) around each pixel.
cv::Mat localMean(const cv::Mat &colour, const cv::Mat &where, int radius)
{
    cv::Mat sum, weight;
    const cv::Size box(2 * radius + 1, 2 * radius + 1);
    cv::Mat weighted;
    cv::Mat where3;
    cv::merge(std::vector<cv::Mat>{where, where, where}, where3);
    cv::multiply(colour, where3, weighted);
    cv::boxFilter(weighted, sum, CV_32F, box, cv::Point(-1, -1), false);
    cv::boxFilter(where, weight, CV_32F, box, cv::Point(-1, -1), false);
    cv::Mat weight3;
    cv::merge(std::vector<cv::Mat>{weight, weight, weight}, weight3);
    cv::Mat mean;
    cv::divide(sum, cv::max(weight3, 1e-3f), mean);
    return mean;
}

// The found object at full size: inside the coarse result and away from its boundary the
// answer stands; in a band along the boundary each pixel goes to the side whose nearby
// colours it is closer to, so the edge follows the picture's.
cv::Mat refined(const cv::Mat &picture, const cv::Mat &coarse, const cv::Mat &outline, int band)
{
    const cv::Mat disc =
        cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * band + 1, 2 * band + 1));
    cv::Mat sure, maybe;
    cv::erode(coarse, sure, disc);
    cv::dilate(coarse, maybe, disc);
    maybe &= outline;
    cv::Mat undecided = maybe & ~sure;
    if (cv::countNonZero(undecided) == 0)
        return sure;

    cv::Mat colour;
    cv::cvtColor(picture, colour, cv::COLOR_BGRA2BGR);
    colour.convertTo(colour, CV_32FC3);
    cv::Mat inside, outside;
    sure.convertTo(inside, CV_32F, 1.0 / 255);
    cv::Mat notMaybe = ~maybe;
    notMaybe.convertTo(outside, CV_32F, 1.0 / 255);
    const int radius = 2 * band + 1;
    const cv::Mat inMean = localMean(colour, inside, radius);
    const cv::Mat outMean = localMean(colour, outside, radius);

    cv::Mat result = sure.clone();
    for (int y = 0; y < colour.rows; ++y) {
        const uchar *open = undecided.ptr<uchar>(y);
        const auto *c = colour.ptr<cv::Vec3f>(y);
        const auto *in = inMean.ptr<cv::Vec3f>(y);
        const auto *out = outMean.ptr<cv::Vec3f>(y);
        uchar *row = result.ptr<uchar>(y);
        for (int x = 0; x < colour.cols; ++x) {
            if (!open[x])
                continue;
            const cv::Vec3f toIn = c[x] - in[x];
            const cv::Vec3f toOut = c[x] - out[x];
            row[x] = toIn.dot(toIn) <= toOut.dot(toOut) ? 255 : 0;
        }
    }
    // Lone pixels of the band that went against all their neighbours are noise.
    cv::medianBlur(result, result, 3);
    return result & outline;
}

} // namespace

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
        cv::grabCut(smallColour, labels, cv::Rect(), backgroundModel, objectModel, iterations,
                    cv::GC_INIT_WITH_MASK);
        cv::Mat found = (labels == cv::GC_FGD) | (labels == cv::GC_PR_FGD);

        cv::Mat coarse;
        cv::resize(found, coarse, box.size(), 0, 0, cv::INTER_LINEAR);
        cv::threshold(coarse, coarse, 127, 255, cv::THRESH_BINARY);
        coarse &= inOutline;
        const int band = std::max(1, int(std::ceil(1.0 / scale)));
        cv::Mat result = refined(area, coarse, inOutline, band);
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
