#include "sequence/fillbetween.h"

#include "cli/maskanalysis.h"
#include "files/atomicfile.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "files/picturefile.h"
#include "region/regionops.h"
#include "video/frames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QtConcurrent>

#include <QMutex>
#include <QThreadPool>

#include <algorithm>
#include <vector>

namespace FillBetween {

namespace {

// The most bytes of decoded frames a gap keeps for its fitting.
constexpr qint64 keptFrames = qint64(1) << 30;

QString tr(const char *text)
{
    return QCoreApplication::translate("FillBetween", text);
}

QString nameOf(const QString &path)
{
    return Frames::displayName(path);
}

// A keyframe's class numbers (Format_Grayscale8), or why not.
struct Keyframe
{
    QImage numbers;
    bool classes = false;
    QString problem;
};

Keyframe keyframeOf(const QString &picture)
{
    Keyframe key;
    const MaskAnalysis::Picture read = MaskAnalysis::analyse(picture, MaskAnalysis::Numbers);
    if (!read.problem.isEmpty()) {
        key.problem = read.problem;
        return key;
    }
    key.classes = !read.classNames.isEmpty();
    key.numbers = QImage(read.numbers.size(), QImage::Format_Grayscale8);
    if (key.numbers.isNull()) {
        key.problem = tr("内存不足");
        return key;
    }
    for (int y = 0; y < read.numbers.height(); ++y)
        std::copy_n(read.numbers.constScanLine(y), read.numbers.width(), key.numbers.scanLine(y));
    return key;
}

// How many frames of this size are worked on side by side: one per core, as long as their
// decoded frames and masks stay within what the gap may keep.
int workersFor(QSize size)
{
    const qint64 perFrame = qint64(size.width()) * size.height() * 8;
    const qint64 fit = perFrame > 0 ? keptFrames / perFrame : 1;
    return int(qBound<qint64>(1, fit, QThread::idealThreadCount()));
}

// Runs `step` for each of [from, to) on up to `workers` threads, and waits for all of them.
void forEachOf(int from, int to, int workers, const std::function<void(int)> &step)
{
    if (workers <= 1 || to - from <= 1) {
        for (int k = from; k < to; ++k)
            step(k);
        return;
    }
    // Each worker takes the next index left until none is.
    QThreadPool pool;
    pool.setMaxThreadCount(workers);
    std::atomic_int next{from};
    const auto work = [&] {
        for (int k = next++; k < to; k = next++)
            step(k);
    };
    for (int i = 0; i < std::min(workers, to - from); ++i)
        QtConcurrent::run(&pool, work);
    pool.waitForDone();
}

QImage frameOf(const QString &picture)
{
    if (Frames::isFramePath(picture))
        return PictureFile::read(picture);
    if (!PictureFile::isRegularFile(picture))
        return QImage();
    QImageReader reader(picture);
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

std::vector<uchar> classesOf(const QImage &numbers)
{
    std::vector<bool> seen(256, false);
    for (int y = 0; y < numbers.height(); ++y) {
        const uchar *row = numbers.constScanLine(y);
        for (int x = 0; x < numbers.width(); ++x)
            seen[row[x]] = true;
    }
    std::vector<uchar> present;
    for (int number = 1; number < 256; ++number)
        if (seen[size_t(number)])
            present.push_back(uchar(number));
    return present;
}

bool hasMaskFiles(const QString &picture)
{
    return QFileInfo::exists(MaskFile::pathFor(picture)) ||
           QFileInfo::exists(ClassFiles::mapPathFor(picture));
}

// One gap: the keyframes carried towards each other, blended, fitted and written.
void fillGap(const QStringList &pictures, const Gap &gap, Report &report, int &done, int total,
             const std::function<void(int, int)> &progress, const std::atomic_bool *cancelled)
{
    const QString gapName =
        tr("%1 到 %2").arg(nameOf(pictures.at(gap.from)), nameOf(pictures.at(gap.to)));
    QFuture<Keyframe> reading = QtConcurrent::run(keyframeOf, pictures.at(gap.to));
    const Keyframe first = keyframeOf(pictures.at(gap.from));
    const Keyframe last = reading.result();
    for (const Keyframe *key : {&first, &last})
        if (!key->problem.isEmpty()) {
            report.problems << tr("%1：%2").arg(gapName, key->problem);
            done += gap.frames();
            return;
        }
    if (first.numbers.size() != last.numbers.size()) {
        report.problems << tr("%1：两张关键帧的尺寸不同").arg(gapName);
        done += gap.frames();
        return;
    }
    std::vector<uchar> common;
    const std::vector<uchar> inFirst = classesOf(first.numbers);
    const std::vector<uchar> inLast = classesOf(last.numbers);
    std::set_intersection(inFirst.begin(), inFirst.end(), inLast.begin(), inLast.end(),
                          std::back_inserter(common));
    // Grey copies of every frame of the gap, to follow the motion with. The frames between
    // are kept decoded for their fitting while they take little memory; else each is decoded
    // again when its turn comes.
    const int count = gap.to - gap.from + 1;
    const QSize size = first.numbers.size();
    const bool keep = qint64(size.width()) * size.height() * 4 * (count - 2) <= keptFrames;
    std::vector<Region::MotionCopy> copies(static_cast<size_t>(count));
    std::vector<QImage> decoded(static_cast<size_t>(count));
    std::vector<char> unreadable(static_cast<size_t>(count), 0);
    // Frames of pictures decode side by side; a video's decode in order, one step each.
    const int workers = workersFor(size);
    const bool inOrder = Frames::isFramePath(pictures.at(gap.from));
    forEachOf(0, count, inOrder ? 1 : workers, [&](int k) {
        if (cancelled && cancelled->load())
            return;
        const QImage frame = frameOf(pictures.at(gap.from + k));
        if (frame.isNull() || frame.size() != size) {
            unreadable[size_t(k)] = 1;
            return;
        }
        if (keep && k > 0 && k < count - 1)
            decoded[size_t(k)] = frame;
        copies[size_t(k)] = Region::motionCopyOf(frame);
    });
    if (cancelled && cancelled->load())
        return;
    for (int k = 0; k < count; ++k) {
        if (unreadable[size_t(k)]) {
            report.problems << tr("%1：%2 无法读取，或尺寸与关键帧不同")
                                   .arg(gapName, nameOf(pictures.at(gap.from + k)));
            done += gap.frames();
            return;
        }
    }
    // Each keyframe carried frame by frame towards the other, strokes along their trails.
    std::vector<QImage> forward(static_cast<size_t>(count));
    std::vector<QImage> backward(static_cast<size_t>(count));
    forward.front() = first.numbers;
    backward.back() = last.numbers;
    // The frame's motion between two frames is found once, for both ways.
    std::vector<QTransform> motions(static_cast<size_t>(count));
    forEachOf(1, count, QThread::idealThreadCount(), [&](int k) {
        motions[size_t(k)] = Region::frameMotionOf(copies[size_t(k - 1)], copies[size_t(k)]);
    });
    // The two ways are independent: the backward one runs beside the forward one.
    QFuture<void> backwards = QtConcurrent::run([&] {
        std::vector<Region::Trail> trails;
        for (int k = count - 2; k >= 1; --k) {
            const QTransform back = motions[size_t(k + 1)].inverted();
            const Region::MovedMask moved =
                Region::movedMask(copies[size_t(k + 1)], copies[size_t(k)], QImage(),
                                  backward[size_t(k + 1)], trails, cancelled, &back);
            backward[size_t(k)] = Region::paintedOver(QImage(), moved);
            trails = moved.trails;
        }
    });
    std::vector<Region::Trail> trails;
    for (int k = 1; k < count - 1; ++k) {
        const Region::MovedMask moved =
            Region::movedMask(copies[size_t(k - 1)], copies[size_t(k)], QImage(),
                              forward[size_t(k - 1)], trails, cancelled, &motions[size_t(k)]);
        forward[size_t(k)] = Region::paintedOver(QImage(), moved);
        trails = moved.trails;
    }
    backwards.waitForFinished();
    // A class is fitted to edges where the keyframe's outline of it followed edges.
    const std::vector<bool> onEdges = Region::classesOnEdges(copies.front(), first.numbers);
    const bool classes = first.classes || last.classes;
    // Each frame between is blended, fitted and written on its own, side by side.
    struct Outcome
    {
        QString problem;
        bool filled = false;
    };
    std::vector<Outcome> outcomes(static_cast<size_t>(count));
    QMutex told;
    int finished = 0;
    forEachOf(1, count - 1, workers, [&](int k) {
        if (cancelled && cancelled->load())
            return;
        outcomes[size_t(k)] = [&]() -> Outcome {
            const QString picture = pictures.at(gap.from + k);
            if (forward[size_t(k)].isNull() || backward[size_t(k)].isNull())
                return {tr("%1：内存不足").arg(nameOf(picture))};
            const QImage between = Region::shapeBetween(forward[size_t(k)], backward[size_t(k)],
                                                        double(k) / (count - 1), common);
            const QImage frame = keep ? decoded[size_t(k)] : frameOf(picture);
            decoded[size_t(k)] = QImage();
            const QImage shape = between.isNull() || frame.isNull()
                                     ? QImage()
                                     : Region::fittedShape(frame, between, onEdges, cancelled);
            if (cancelled && cancelled->load())
                return {};
            if (shape.isNull())
                return {tr("%1：内存不足").arg(nameOf(picture))};
            // A mask made meanwhile, by hand or by someone else, is never written over.
            if (hasMaskFiles(picture))
                return {tr("%1 已有掩膜文件，没有改动").arg(nameOf(picture))};
            QString failedPath;
            const AtomicFile::Failure failure =
                ClassFiles::storeNumbers(shape, picture, classes, &failedPath);
            if (failure != AtomicFile::Failure::None)
                return {AtomicFile::describe(failure, failedPath)};
            return {QString(), true};
        }();
        if (progress) {
            QMutexLocker lock(&told);
            progress(done + ++finished, total);
        }
    });
    done += count - 2;
    for (int k = 1; k < count - 1; ++k) {
        const Outcome &outcome = outcomes[size_t(k)];
        if (!outcome.problem.isEmpty())
            report.problems << outcome.problem;
        if (outcome.filled)
            report.filled << pictures.at(gap.from + k);
    }
}

} // namespace

QVector<Gap> gapsOf(const QVector<bool> &hasMask)
{
    QVector<Gap> gaps;
    int last = -1;
    for (int i = 0; i < hasMask.size(); ++i) {
        if (!hasMask.at(i))
            continue;
        if (last >= 0 && i - last > 1)
            gaps.append({last, i});
        last = i;
    }
    return gaps;
}

Report fill(const QStringList &pictures, const QVector<Gap> &gaps,
            const std::function<void(int, int)> &progress, const std::atomic_bool *cancelled)
{
    Report report;
    int total = 0;
    for (const Gap &gap : gaps)
        total += gap.frames();
    int done = 0;
    for (const Gap &gap : gaps) {
        if (cancelled && cancelled->load())
            break;
        if (gap.from < 0 || gap.to >= pictures.size() || gap.frames() < 1)
            continue;
        fillGap(pictures, gap, report, done, total, progress, cancelled);
    }
    report.cancelled = cancelled && cancelled->load();
    if (progress)
        progress(done, total);
    return report;
}

} // namespace FillBetween
