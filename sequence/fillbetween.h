#ifndef VELMORA_SEQUENCE_FILLBETWEEN_H
#define VELMORA_SEQUENCE_FILLBETWEEN_H

#include <QStringList>
#include <QVector>

#include <atomic>
#include <functional>

// Masks filled in between keyframes: where two frames of a sequence have mask files and the
// frames between have none, each frame between gets, for each class both keyframes have, a
// mask between their two shapes. Each keyframe's mask is carried frame by frame towards the
// other, following the motion; at each frame the two are blended, the nearer keyframe
// weighing more, and fitted to the frame's edges. No widgets; any thread.
namespace FillBetween {

// Two keyframes, by their place in the sequence, with at least one frame between.
struct Gap
{
    int from = 0;
    int to = 0;
    int frames() const { return to - from - 1; }
};

// The gaps of a sequence whose frames have (true) or have not a mask file.
QVector<Gap> gapsOf(const QVector<bool> &hasMask);

struct Report
{
    QStringList filled;   // the frames given a mask
    QStringList problems; // one line each: a frame or gap and what went wrong
    bool cancelled = false;
};

// Fills the frames of `gaps` between frames of `pictures` (paths in the sequence's order).
// A frame that has a mask file or a class map by the time it is written is left alone.
// `progress` hears frames done out of all; stops between frames once `cancelled` is set.
Report fill(const QStringList &pictures, const QVector<Gap> &gaps,
            const std::function<void(int, int)> &progress = {},
            const std::atomic_bool *cancelled = nullptr);

} // namespace FillBetween

#endif
