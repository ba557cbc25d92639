#ifndef VELMORA_BENCH_TIMING_H
#define VELMORA_BENCH_TIMING_H

// What the benchmarks share: timing a step, and the median of several.

#include <QElapsedTimer>

#include <algorithm>
#include <functional>
#include <vector>

namespace Timing {

inline double elapsedMs(const std::function<void()> &step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    return timer.nsecsElapsed() / 1e6;
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace Timing

#endif
