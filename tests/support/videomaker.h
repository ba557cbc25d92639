#ifndef VELMORA_TESTS_VIDEOMAKER_H
#define VELMORA_TESTS_VIDEOMAKER_H

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

// Writes video files for tests and benchmarks with FFmpeg's encoders: frames with B-frames,
// long groups of pictures and irregular frame times, as cameras and editors make them.
namespace VideoMaker {

struct Options
{
    QString codec = QStringLiteral("libx264"); // or mpeg4, libvpx-vp9, ...
    int bFrames = 2;
    int keyEvery = 12;
    bool variableRate = false; // frame times 33 or 50 ms apart at random
    int quality = 20;          // CRF for x264, else a quantiser
};

// Frame `number` from 1.
using FrameOf = std::function<QImage(int number)>;

// Writes `count` frames of `size`; the container from the suffix. False on any failure.
bool write(const QString &path, int count, QSize size, const FrameOf &frameOf,
           const Options &options = Options());

// A frame that tells its number after lossy coding: a grey ramp with a row of 12 black and
// white blocks, one bit of the number each.
QImage numbered(int number, QSize size);
// The number numbered() drew into a decoded frame.
int numberIn(const QImage &frame);

} // namespace VideoMaker

#endif
