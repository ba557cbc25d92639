#ifndef VELMORA_REGION_SNAPEDGE_H
#define VELMORA_REGION_SNAPEDGE_H

#include <opencv2/core.hpp>

// What the snapping tools share: grabCut on a reduced copy finds the object, then the edge is
// put where the full-size picture has it.
namespace Region {

// grabCut works on a copy whose long side is about this many pixels, in two rounds. Measured
// on photos with pasted objects (bench/bench_regions), 320 finds clear objects as well as 400
// does, camouflaged ones better, and in about half the time; 250, 300 or a third round lose
// camouflaged objects.
constexpr double workingSide = 320.0;
constexpr int grabCutRounds = 2;

// The object `found` on the reduced copy (8-bit, 255 inside), at the size of `picture` (the
// full-size area, BGRA) and never outside `outline` (8-bit, that size). Away from the reduced
// result's boundary its answer stands; in the band along the boundary (a reduced pixel
// either side) the picture's own colours decide. Only the band's tiles are looked at, so the
// cost follows the outline's length.
cv::Mat refinedEdge(const cv::Mat &picture, const cv::Mat &found, const cv::Mat &outline);

} // namespace Region

#endif
