// Videos read as frames, on files made from a real photo with a camera pan: opening (the
// index), a jump to any frame, the next frame (decoded on and read ahead as D gives it),
// and a 4K frame against the same frame opened as a JPEG.
// build/bench/velmora_bench_video [PHOTO]   (default: mate-backgrounds' LadyBird.jpg)

#include "files/picturefile.h"
#include "folder/readahead.h"
#include "tests/support/videomaker.h"
#include "video/frames.h"
#include "video/videofile.h"

#include "bench/timing.h"

#include <QCoreApplication>
#include <QDir>
#include <QImageReader>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <cstdio>
#include <vector>

namespace {

QTextStream out(stdout);

// A camera panning over the photo, `size` frames, 2 px right and 1 px down a frame, the photo
// scaled so the whole pan stays inside it.
VideoMaker::FrameOf panOver(const QImage &photo, QSize size, int count)
{
    const QSize needed(size.width() + 2 * count, size.height() + count);
    const QImage scaled = photo
                              .scaled(needed.expandedTo(photo.size()),
                                      Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_RGB32);
    return [scaled, size](int n) {
        return scaled.copy(QRect(QPoint(2 * n, n), size));
    };
}

struct Spread
{
    double median = 0, worst = 0;
};
Spread spreadOf(const std::vector<double> &times)
{
    Spread spread;
    spread.median = Timing::median(times);
    for (double t : times)
        spread.worst = std::max(spread.worst, t);
    return spread;
}

void line(const QString &what, const Spread &spread, double goal, const QString &goalName)
{
    out << QStringLiteral("  %1  median %2 ms  worst %3 ms  (worst / %4: %5)\n")
               .arg(what, -34)
               .arg(spread.median, 7, 'f', 1)
               .arg(spread.worst, 7, 'f', 1)
               .arg(goalName)
               .arg(spread.worst / goal, 0, 'f', 2);
    out.flush();
}

void measure(const QImage &photo, QSize size, int count, const QString &name,
             const QTemporaryDir &dir)
{
    VideoMaker::Options options;
    options.keyEvery = 250;
    options.bFrames = 3;
    options.quality = 23;
    const QString path = dir.filePath(name + QStringLiteral(".mp4"));
    out << QStringLiteral("%1: H.264 %2×%3, %4 frames, a keyframe every 250, 3 B-frames\n")
               .arg(name)
               .arg(size.width())
               .arg(size.height())
               .arg(count);
    out.flush();
    if (!VideoMaker::write(path, count, size, panOver(photo, size, count), options)) {
        out << "  could not encode\n";
        return;
    }
    std::shared_ptr<VideoFile> video;
    // Shared, as the editor and its read-ahead share it.
    const double opening = Timing::elapsedMs([&] { video = VideoFile::shared(path); });
    out << QStringLiteral("  opening (reading the index of %1 frames): %2 ms\n")
               .arg(video->frameCount())
               .arg(opening, 0, 'f', 1);

    // The baseline: the same frame as a JPEG of quality 90, decoded by the picture reader.
    const QImage sample = video->frame(count / 2);
    const QString jpeg = dir.filePath(name + QStringLiteral(".jpg"));
    sample.save(jpeg, "JPEG", 90);
    std::vector<double> jpegTimes;
    for (int i = 0; i < 5; ++i)
        jpegTimes.push_back(Timing::elapsedMs([&] { QImageReader(jpeg).read(); }));
    const double jpegMs = Timing::median(jpegTimes);
    out << QStringLiteral("  the same frame as a JPEG: %1 ms\n").arg(jpegMs, 0, 'f', 1);

    // Jumps anywhere, in a random order, and the worst place: just before the next keyframe.
    QRandomGenerator random(11);
    std::vector<double> jumps;
    for (int i = 0; i < 24; ++i) {
        const int number = 1 + int(random.bounded(count));
        jumps.push_back(Timing::elapsedMs([&] { video->frame(number); }));
    }
    for (int number : {250, 249, count}) {
        video->frame(1);
        jumps.push_back(Timing::elapsedMs([&] { video->frame(std::min(number, count)); }));
    }
    line(QStringLiteral("jump to a frame"), spreadOf(jumps), 300, QStringLiteral("300 ms"));

    // The next frame, decoded on from the one before.
    // Steps through the file in three runs of a sixth of it each.
    const int run = count / 6;
    std::vector<double> next, nextWithMask;
    video->frame(1);
    for (int number = 2; number <= run; ++number)
        next.push_back(Timing::elapsedMs([&] { video->frame(number); }));
    line(QStringLiteral("next frame, decoded on"), spreadOf(next), jpegMs, QStringLiteral("JPEG"));
    for (int number = run + 1; number <= 2 * run; ++number)
        nextWithMask.push_back(
            Timing::elapsedMs([&] { PictureFile::readWithMask(Frames::pathOf(path, number)); }));
    line(QStringLiteral("next frame with its mask layer"), spreadOf(nextWithMask), 50,
         QStringLiteral("50 ms"));

    // What D waits for: the frame was read ahead while the user looked at the one before
    // (a third of a second of looking is plenty for the read to end).
    std::vector<double> stepped;
    ReadAhead ahead;
    for (int number = 2 * run + 1; number <= 3 * run; ++number) {
        const QString frame = Frames::pathOf(path, number);
        ahead.start(frame);
        QThread::msleep(300);
        stepped.push_back(Timing::elapsedMs([&] { ahead.take(frame); }));
    }
    line(QStringLiteral("D with the frame read ahead"), spreadOf(stepped), 50,
         QStringLiteral("50 ms"));
    out << '\n';
    out.flush();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString photoPath =
        argc > 1 ? QString::fromLocal8Bit(argv[1])
                 : QStringLiteral("/usr/share/backgrounds/mate/nature/LadyBird.jpg");
    const QImage photo(photoPath);
    if (photo.isNull()) {
        std::fprintf(stderr, "no photo at %s (Debian: mate-backgrounds)\n", qPrintable(photoPath));
        return 1;
    }
    QTemporaryDir dir;
    out << QStringLiteral(
               "Frames of videos panned over %1; times in ms, worst against the goal\n\n")
               .arg(QFileInfo(photoPath).fileName());
    measure(photo, QSize(1920, 1080), 300, QStringLiteral("1080p"), dir);
    measure(photo, QSize(3840, 2160), 60, QStringLiteral("4K"), dir);
    return 0;
}
