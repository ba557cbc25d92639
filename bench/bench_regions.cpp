// Measures the region tools: how well and how fast the snapping lasso finds an object whose
// outline is known exactly, the colour wand on a big picture, and the changes of a whole
// mask. Each time is printed beside a floor measured in the same run.
//
//   velmora_bench_regions [--carry] [PHOTO ...]
//       default: the photos of /usr/share/backgrounds/mate/nature; --carry: carrying and
//       filling between keyframes alone
//
// Objects are cut out of one photo along a smooth random outline and pasted into another
// with a soft edge about 1.5 pixels wide; the object is where that edge is at least half.

#include "bench/timing.h"
#include "cli/maskanalysis.h"
#include "files/classfiles.h"
#include "region/regionops.h"
#include "sequence/fillbetween.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

using Timing::elapsedMs;
using Timing::median;
QTextStream out(stdout);

double medianMs(int runs, const std::function<void()> &step)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(elapsedMs(step));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void row(const QString &what, double figure, double floor)
{
    out << QString::asprintf("%-46s %10.1f ms %10.1f ms %8.2fx\n", qPrintable(what), figure, floor,
                             floor > 0 ? figure / floor : 0.0);
    out.flush();
}

// A smooth star-shaped outline: radius r(θ) around `centre`, grown by `grow(θ)`.
QPolygonF blob(QPointF centre, double radius, quint32 seed, double growBy, double growSpread)
{
    QRandomGenerator random(seed);
    double a[3], p[3], g[2], q[2];
    for (int k = 0; k < 3; ++k) {
        a[k] = random.bounded(0.12);
        p[k] = random.bounded(2 * M_PI);
    }
    for (int k = 0; k < 2; ++k) {
        g[k] = random.bounded(1.0);
        q[k] = random.bounded(2 * M_PI);
    }
    QPolygonF outline;
    const int points = 360;
    for (int i = 0; i < points; ++i) {
        const double t = 2 * M_PI * i / points;
        double r = radius * (1 + a[0] * std::sin(2 * t + p[0]) + a[1] * std::sin(3 * t + p[1]) +
                             a[2] * std::sin(5 * t + p[2]));
        r +=
            growBy + growSpread * 0.5 * (g[0] * std::sin(t + q[0]) + g[1] * std::sin(2 * t + q[1]));
        outline << centre + r * QPointF(std::cos(t), std::sin(t));
    }
    return outline;
}

// `background` with the part of `source` inside `outline` pasted over it, the edge soft;
// `truth` becomes the object's exact mask.
QImage composite(const QImage &background, const QImage &source, const QPolygonF &outline,
                 QImage *truth)
{
    // The soft edge: the outline filled at 4x and reduced, about 1.5 pixels of blend.
    const QRect box = outline.boundingRect()
                          .toAlignedRect()
                          .adjusted(-3, -3, 3, 3)
                          .intersected(background.rect());
    QImage alpha(box.size() * 4, QImage::Format_ARGB32_Premultiplied);
    alpha.fill(Qt::transparent);
    {
        QPainter painter(&alpha);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.scale(4, 4);
        painter.translate(-box.topLeft());
        painter.drawPolygon(outline);
    }
    alpha = alpha.scaled(box.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage blurred =
        alpha.scaled(box.size() / 2 + QSize(1, 1), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .scaled(box.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage result = background.convertToFormat(QImage::Format_RGB32);
    *truth = QImage(background.size(), QImage::Format_Grayscale8);
    truth->fill(0);
    for (int y = 0; y < box.height(); ++y) {
        auto *dst = reinterpret_cast<QRgb *>(result.scanLine(box.top() + y)) + box.left();
        const auto *src =
            reinterpret_cast<const QRgb *>(source.constScanLine(box.top() + y)) + box.left();
        const auto *sharp = reinterpret_cast<const QRgb *>(alpha.constScanLine(y));
        const auto *soft = reinterpret_cast<const QRgb *>(blurred.constScanLine(y));
        uchar *known = truth->scanLine(box.top() + y) + box.left();
        for (int x = 0; x < box.width(); ++x) {
            const int w = (qAlpha(sharp[x]) + qAlpha(soft[x])) / 2;
            known[x] = w >= 128 ? 255 : 0;
            const auto mix = [w](int a, int b) {
                return (a * (255 - w) + b * w) / 255;
            };
            dst[x] = qRgb(mix(qRed(dst[x]), qRed(src[x])), mix(qGreen(dst[x]), qGreen(src[x])),
                          mix(qBlue(dst[x]), qBlue(src[x])));
        }
    }
    return result;
}

double iou(const Region::Piece &piece, const QImage &truth)
{
    qint64 both = 0, either = 0;
    for (int y = 0; y < truth.height(); ++y) {
        const uchar *known = truth.constScanLine(y);
        const int py = y - piece.offset.y();
        const uchar *found =
            py >= 0 && py < piece.mask.height() ? piece.mask.constScanLine(py) : nullptr;
        for (int x = 0; x < truth.width(); ++x) {
            const int px = x - piece.offset.x();
            const bool in = found && px >= 0 && px < piece.mask.width() && found[px];
            both += in && known[x];
            either += in || known[x];
        }
    }
    return either ? double(both) / either : 1.0;
}

QImage scaledTo(const QImage &photo, QSize size)
{
    return photo.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

struct Trials
{
    std::vector<double> times, floors, snapped, plain;
    double worstLead = 1.0; // least of snapped minus plain
};

void runTrial(Trials &trials, const QImage &picture, const QImage &truth, const QPolygonF &outline)
{
    Region::Piece snapped, plain;
    trials.times.push_back(elapsedMs([&] { snapped = Region::snappedLasso(picture, outline); }));
    trials.floors.push_back(
        elapsedMs([&] { plain = Region::filledOutline(outline, picture.size()); }));
    const double s = iou(snapped, truth), p = iou(plain, truth);
    trials.snapped.push_back(s);
    trials.plain.push_back(p);
    trials.worstLead = std::min(trials.worstLead, s - p);
}

double mean(const std::vector<double> &values)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    return values.empty() ? 0 : sum / values.size();
}

void report(const QString &what, const Trials &trials)
{
    out << QString::asprintf("%-46s IoU snapped %.4f (min %.4f), plain %.4f; worst lead %+.4f\n",
                             qPrintable(what), mean(trials.snapped),
                             *std::min_element(trials.snapped.begin(), trials.snapped.end()),
                             mean(trials.plain), trials.worstLead);
    row(what + QStringLiteral(", median time"), median(trials.times), median(trials.floors));
    row(what + QStringLiteral(", slowest"),
        *std::max_element(trials.times.begin(), trials.times.end()),
        *std::max_element(trials.floors.begin(), trials.floors.end()));
}

// Objects of one photo pasted into another (clear edges), and into the same photo from
// elsewhere (camouflaged), outlines 5 to 25 pixels outside them.
void measureSnapping(const QList<QImage> &photos)
{
    const QSize size(2400, 1600);
    Trials clear, camouflaged, big;
    for (int i = 0; i < photos.size(); ++i) {
        const QImage background = scaledTo(photos.at(i), size);
        const QImage other = scaledTo(photos.at((i + 1) % photos.size()), size);
        for (int k = 0; k < 3; ++k) {
            const double radius = 120 + 300 * k; // outlines from about 0.05 to 3 MP
            const QPointF centre(1200 + 200 * (k - 1), 800);
            const QPolygonF object = blob(centre, radius, quint32(17 * i + k), 0, 0);
            const QPolygonF outline = blob(centre, radius, quint32(17 * i + k), 15, 20);
            QImage truth;
            runTrial(clear, composite(background, other, object, &truth), truth, outline);
            // The same photo shifted: an object of the picture's own colours.
            QImage shifted(size, QImage::Format_RGB32);
            QPainter(&shifted).drawImage(QPoint(-250, -170), background);
            QPainter(&shifted).drawImage(QPoint(size.width() - 250, size.height() - 170),
                                         background);
            runTrial(camouflaged, composite(background, shifted, object, &truth), truth, outline);
        }
    }
    report(QStringLiteral("snapping lasso, clear edges"), clear);
    report(QStringLiteral("snapping lasso, camouflaged"), camouflaged);

    // A 24-megapixel picture with an outline of a quarter of it.
    const QSize large(6000, 4000);
    const QImage background = scaledTo(photos.first(), large);
    const QImage other = scaledTo(photos.last(), large);
    QImage truth;
    const QPolygonF object = blob(QPointF(3000, 2000), 1500, 99, 0, 0);
    const QImage picture = composite(background, other, object, &truth);
    for (int i = 0; i < 3; ++i)
        runTrial(big, picture, truth, blob(QPointF(3000, 2000), 1500, 99, 15, 20));
    report(QStringLiteral("snapping lasso, 24 MP, 7 MP outline"), big);
}

void measureWand(const QImage &photo)
{
    const QImage picture = scaledTo(photo, QSize(9600, 6666)); // 64 MP
    const QPoint seed(picture.width() / 2, picture.height() / 2);
    Region::Piece piece;
    const double floor = medianMs(3, [&] {
        quint64 sum = 0;
        for (int y = 0; y < picture.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
            for (int x = 0; x < picture.width(); ++x)
                sum += line[x] & 0xff;
        }
        if (sum == 42)
            out << "";
    });
    row(QStringLiteral("wand commit, 64 MP, tolerance 32"),
        medianMs(3, [&] { piece = Region::wand(picture, seed, 32); }), floor);
    out << QString::asprintf("%-46s %lld pixels\n", "  its region",
                             qint64(piece.mask.width()) * piece.mask.height());
    QImage preview;
    row(QStringLiteral("wand preview copy at press, 64 MP"),
        medianMs(3, [&] { preview = picture.scaled(1697, 1178); }), floor);
    row(QStringLiteral("wand preview step (2 MP copy)"),
        medianMs(5, [&] { piece = Region::wand(preview, seed / 5.657, 40); }), floor);
}

void measureWholeMask(int megapixels)
{
    const int width = int(std::sqrt(megapixels * 1e6 * 4 / 3));
    const QSize size(width, int(megapixels * 1e6 / width));
    QImage mask(size, QImage::Format_Grayscale8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(
            QRect(QPoint(), size).adjusted(width / 5, width / 5, -width / 5, -width / 5));
    }
    const double pass = medianMs(3, [&] {
        QImage copy(size, QImage::Format_Grayscale8);
        for (int y = 0; y < size.height(); ++y) {
            const uchar *in = mask.constScanLine(y);
            uchar *o = copy.scanLine(y);
            for (int x = 0; x < size.width(); ++x)
                o[x] = uchar(~in[x]);
        }
    });
    const QString at = QStringLiteral(" , %1 MP").arg(megapixels);
    row(QStringLiteral("grow by 10") + at, medianMs(3, [&] { Region::grown(mask, 10); }), pass);
    row(QStringLiteral("shrink by 10") + at, medianMs(3, [&] { Region::shrunk(mask, 10); }), pass);
    row(QStringLiteral("invert") + at, medianMs(3, [&] { Region::inverted(mask); }), pass);
    row(QStringLiteral("fill holes") + at, medianMs(3, [&] { Region::holesFilled(mask); }), pass);
    row(QStringLiteral("clean up 64") + at, medianMs(1, [&] { Region::cleaned(mask, 64); }), pass);
}

// IoU of the class numbers' pixels (above 0) with the truth's.
double iouOf(const QImage &numbers, const QImage &truth)
{
    return iou(Region::Piece{numbers, QPoint()}, truth);
}

// Carrying a mask along a sequence of 12-megapixel frames: three objects cut from one photo
// move over another, each 3 to 12 pixels and by up to 3% in size a frame. The mask carried is
// the last frame's truth; fitted, it is compared with the new frame's truth, beside the
// plain copy. Then the fitted masks are carried on frame after frame, as Shift+D does.
void measureCarry(const QList<QImage> &photos)
{
    const QSize size(4000, 3000);
    constexpr int frames = 5;
    std::vector<double> snapped, plain, chained, times;
    double worstLead = 1.0, worstWhereFar = 1.0;
    for (int pair = 0; pair + 1 < photos.size() && pair < 4; ++pair) {
        const QImage background = scaledTo(photos.at(pair), size);
        const QImage source = scaledTo(photos.at(pair + 1), size);
        QRandomGenerator random(quint32(pair + 7));
        struct Mover
        {
            QPointF centre, step;
            double radius, growth;
            quint32 seed;
        };
        std::vector<Mover> movers;
        for (int k = 0; k < 3; ++k) {
            const double angle = random.bounded(2 * M_PI);
            const double distance = 3 + random.bounded(9.0);
            movers.push_back(
                {QPointF(600 + k * 1300 + random.bounded(300), 700 + random.bounded(1500)),
                 distance * QPointF(std::cos(angle), std::sin(angle)), 45 + random.bounded(90.0),
                 0.97 + random.bounded(0.06), quint32(pair * 10 + k)});
        }
        QImage truths[frames], pictures[frames];
        for (int t = 0; t < frames; ++t) {
            QImage picture = background;
            QImage truth(size, QImage::Format_Grayscale8);
            truth.fill(0);
            for (const Mover &mover : movers) {
                const QPointF at = mover.centre + t * mover.step;
                // The object's texture moves with it.
                QImage moved(size, QImage::Format_RGB32);
                QPainter(&moved).drawImage(at - mover.centre, source);
                QImage known;
                picture = composite(
                    picture, moved,
                    blob(at, mover.radius * std::pow(mover.growth, t), mover.seed, 0, 0), &known);
                for (int y = 0; y < size.height(); ++y) {
                    const uchar *from = known.constScanLine(y);
                    uchar *to = truth.scanLine(y);
                    for (int x = 0; x < size.width(); ++x)
                        to[x] |= from[x];
                }
            }
            pictures[t] = picture;
            truths[t] = truth;
            // As the mask layer carries it: class numbers, the one class being 1.
            truths[t].setColorTable({});
            for (int y = 0; y < size.height(); ++y) {
                uchar *row = truths[t].scanLine(y);
                for (int x = 0; x < size.width(); ++x)
                    row[x] = row[x] ? 1 : 0;
            }
        }
        QImage carried = truths[0];
        for (int t = 1; t < frames; ++t) {
            Region::Carried fitted;
            const Region::MotionCopy before = Region::motionCopyOf(pictures[t - 1]);
            times.push_back(elapsedMs(
                [&] { fitted = Region::snappedCarry(before, pictures[t], truths[t - 1]); }));
            const double s = iouOf(fitted.numbers, truths[t]);
            const double p = iouOf(truths[t - 1], truths[t]);
            snapped.push_back(s);
            plain.push_back(p);
            worstLead = std::min(worstLead, s - p);
            if (p <= 0.90)
                worstWhereFar = std::min(worstWhereFar, s);
            carried = Region::snappedCarry(before, pictures[t], carried).numbers;
            chained.push_back(iouOf(carried, truths[t]));
        }
    }
    if (snapped.empty())
        return;
    out << QString::asprintf("carry to the next frame (%d frames): IoU fitted %.4f (min %.4f), "
                             "plain %.4f (min %.4f)\n",
                             int(snapped.size()), mean(snapped),
                             *std::min_element(snapped.begin(), snapped.end()), mean(plain),
                             *std::min_element(plain.begin(), plain.end()));
    out << QString::asprintf("  where the plain copy is at most 0.90: fitted at least %.4f; "
                             "worst lead over plain %+.4f\n",
                             worstWhereFar, worstLead);
    out << QString::asprintf("  carried on frame after frame: IoU %.4f (min %.4f)\n", mean(chained),
                             *std::min_element(chained.begin(), chained.end()));
    row(QStringLiteral("carry and fit, 12 MP, 3 pieces, median"), median(times), 0);
    row(QStringLiteral("carry and fit, 12 MP, 3 pieces, slowest"),
        *std::max_element(times.begin(), times.end()), 0);
}

// Carrying a mask along a real camera's motion: frames of 12 megapixels cut from a real photo
// by a camera that pans, zooms in a little and turns, with two objects of another photo
// moving on their own (classes 1 and 2) and a brush stroke 12 pixels wide on the background
// (class 3). The first frame's truth is carried on eight times with no correction, as Shift+D
// does; each class is compared with its truth beside the copy left unmoved and the copy moved
// by the true motion. The worst of the sequences is printed beside the mean.
struct Camera
{
    QPointF pan;    // scene pixels a frame
    double zoom;    // a frame
    double degrees; // a frame
};

QTransform cameraAt(const Camera &camera, int t, QPointF sceneCentre, QPointF frameCentre)
{
    QTransform m;
    m.translate(frameCentre.x(), frameCentre.y());
    m.rotate(camera.degrees * t);
    m.scale(std::pow(camera.zoom, t), std::pow(camera.zoom, t));
    m.translate(-sceneCentre.x() - t * camera.pan.x(), -sceneCentre.y() - t * camera.pan.y());
    return m;
}

// The pixels of `numbers` equal to `value`, drawn through `m`, as 0 and `value`.
QImage movedClass(const QImage &numbers, uchar value, const QTransform &m)
{
    QImage alone(numbers.size(), QImage::Format_ARGB32_Premultiplied);
    alone.fill(Qt::transparent);
    for (int y = 0; y < numbers.height(); ++y) {
        const uchar *from = numbers.constScanLine(y);
        auto *to = reinterpret_cast<QRgb *>(alone.scanLine(y));
        for (int x = 0; x < numbers.width(); ++x)
            if (from[x] == value)
                to[x] = qRgba(255, 255, 255, 255);
    }
    QImage drawn(numbers.size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setTransform(m);
    painter.drawImage(0, 0, alone);
    painter.end();
    QImage result(numbers.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < numbers.height(); ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(drawn.constScanLine(y));
        uchar *to = result.scanLine(y);
        for (int x = 0; x < numbers.width(); ++x)
            to[x] = qAlpha(from[x]) >= 128 ? value : 0;
    }
    return result;
}

double classIou(const QImage &found, const QImage &truth, uchar value)
{
    qint64 both = 0, either = 0;
    for (int y = 0; y < truth.height(); ++y) {
        const uchar *a = found.constScanLine(y), *b = truth.constScanLine(y);
        for (int x = 0; x < truth.width(); ++x) {
            const bool in = a[x] == value, known = b[x] == value;
            both += in && known;
            either += in || known;
        }
    }
    return either ? double(both) / either : 1.0;
}

// Size, scene and cameras of the sequences below: 12 megapixels cut from a photo a little
// bigger, each sequence's camera its own.
const QSize filmSize(4000, 3000);
const QSize sceneSize(4600, 3450);
const QPointF frameCentre(filmSize.width() / 2.0, filmSize.height() / 2.0);
const QPointF sceneCentre(sceneSize.width() / 2.0, sceneSize.height() / 2.0);
const Camera cameras[] = {{QPointF(4, 3), 1.0, 0.0},
                          {QPointF(-6, 2), 1.004, 0.0},
                          {QPointF(3, -5), 1.0, 0.08},
                          {QPointF(5, 4), 0.997, -0.05}};

struct Mover
{
    QPointF centre, step;
    double radius;
    quint32 seed;
};

// A sequence: its pictures and their truths (class numbers: the two objects 1 and 2, the
// stroke 3), and how each class truly moved by frame t.
struct Filmed
{
    std::vector<QImage> pictures, truths;
    std::vector<Mover> movers;
    Camera camera;
    QTransform moved(int c, int t) const
    {
        if (c < 2)
            return QTransform::fromTranslate(t * movers[size_t(c)].step.x(),
                                             t * movers[size_t(c)].step.y());
        return cameraAt(camera, 0, sceneCentre, frameCentre).inverted() *
               cameraAt(camera, t, sceneCentre, frameCentre);
    }
};

// Sequence `seq` (0 to 3) of `frames` frames: the scene from one photo, the objects from the
// next.
Filmed film(const QList<QImage> &photos, int seq, int frames)
{
    Filmed filmed;
    const QSize size = filmSize;
    const QImage scene = scaledTo(photos.at(seq), sceneSize);
    const QImage source = scaledTo(photos.at(seq + 1), size);
    const Camera &camera = cameras[seq];
    filmed.camera = camera;
    QRandomGenerator random(quint32(seq + 11));
    std::vector<Mover> &movers = filmed.movers;
    for (int k = 0; k < 2; ++k) {
        const double angle = random.bounded(2 * M_PI);
        const double distance = 3 + random.bounded(6.0);
        movers.push_back({QPointF(900 + k * 2000 + random.bounded(300), 900 + random.bounded(600)),
                          distance * QPointF(std::cos(angle), std::sin(angle)),
                          150 + random.bounded(150.0), quint32(seq * 10 + k)});
    }
    // The stroke, in the scene's pixels, across the lower part of the picture.
    QPainterPath stroke;
    stroke.moveTo(sceneCentre + QPointF(-1500, 700));
    stroke.cubicTo(sceneCentre + QPointF(-700, 300), sceneCentre + QPointF(200, 1100),
                   sceneCentre + QPointF(1300, 600));
    for (int t = 0; t < frames; ++t) {
        const QTransform m = cameraAt(camera, t, sceneCentre, frameCentre);
        QImage picture(size, QImage::Format_RGB32);
        {
            QPainter painter(&picture);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.setTransform(m);
            painter.drawImage(0, 0, scene);
        }
        QImage drawnStroke(size, QImage::Format_ARGB32_Premultiplied);
        drawnStroke.fill(Qt::transparent);
        {
            QPainter painter(&drawnStroke);
            painter.setTransform(m);
            painter.strokePath(stroke, QPen(Qt::white, 12, Qt::SolidLine, Qt::RoundCap));
        }
        QImage truth(size, QImage::Format_Grayscale8);
        for (int y = 0; y < size.height(); ++y) {
            const auto *from = reinterpret_cast<const QRgb *>(drawnStroke.constScanLine(y));
            uchar *to = truth.scanLine(y);
            for (int x = 0; x < size.width(); ++x)
                to[x] = qAlpha(from[x]) >= 128 ? 3 : 0;
        }
        for (int k = 0; k < 2; ++k) {
            const Mover &mover = movers[size_t(k)];
            const QPointF at = mover.centre + t * mover.step;
            QImage moved(size, QImage::Format_RGB32);
            QPainter(&moved).drawImage(at - mover.centre, source);
            QImage known;
            picture = composite(picture, moved, blob(at, mover.radius, mover.seed, 0, 0), &known);
            for (int y = 0; y < size.height(); ++y) {
                const uchar *from = known.constScanLine(y);
                uchar *to = truth.scanLine(y);
                for (int x = 0; x < size.width(); ++x)
                    if (from[x])
                        to[x] = uchar(k + 1);
            }
        }
        filmed.pictures.push_back(picture);
        filmed.truths.push_back(truth);
    }
    return filmed;
}

void measureFollowing(const QList<QImage> &photos)
{
    constexpr int frames = 9;
    constexpr int classes = 3;
    std::vector<double> found[classes][frames], unmoved[classes][frames], ideal[classes][frames];
    std::vector<double> times;
    int sequences = 0;
    for (int seq = 0; seq < 4 && seq + 1 < photos.size(); ++seq, ++sequences) {
        const Filmed filmed = film(photos, seq, frames);
        const std::vector<QImage> &pictures = filmed.pictures, &truths = filmed.truths;
        Region::Carried carried;
        carried.numbers = truths[0];
        for (int t = 1; t < frames; ++t) {
            const Region::MotionCopy before = Region::motionCopyOf(pictures[t - 1]);
            times.push_back(elapsedMs([&] {
                carried =
                    Region::snappedCarry(before, pictures[t], carried.numbers, carried.trails);
            }));
            for (int c = 0; c < classes; ++c) {
                const uchar value = uchar(c + 1);
                const QTransform truly = filmed.moved(c, t);
                found[c][t].push_back(classIou(carried.numbers, truths[t], value));
                unmoved[c][t].push_back(classIou(truths[0], truths[t], value));
                ideal[c][t].push_back(
                    classIou(movedClass(truths[0], value, truly), truths[t], value));
            }
        }
    }
    if (times.empty())
        return;
    const auto worst = [](const std::vector<double> &v) {
        return *std::min_element(v.begin(), v.end());
    };
    out << QString::asprintf("carry along a moving camera (%d sequences of 8 frames, 12 MP): IoU "
                             "per class, mean (worst)\n",
                             sequences);
    out << "frame  class        carried            unmoved            true motion\n";
    const char *names[classes] = {"object 1", "object 2", "stroke"};
    for (int t = 1; t < frames; ++t)
        for (int c = 0; c < classes; ++c)
            out << QString::asprintf("%5d  %-8s  %.4f (%.4f)   %.4f (%.4f)   %.4f (%.4f)\n", t,
                                     names[c], mean(found[c][t]), worst(found[c][t]),
                                     mean(unmoved[c][t]), worst(unmoved[c][t]), mean(ideal[c][t]),
                                     worst(ideal[c][t]));
    row(QStringLiteral("carry along a camera, 12 MP, 3 pieces, median"), median(times), 0);
    row(QStringLiteral("carry along a camera, 12 MP, 3 pieces, slowest"),
        *std::max_element(times.begin(), times.end()), 0);
}

// Filling the frames between two keyframes ten frames apart, on the same sequences: the
// keyframes' truths are saved as their masks (with a list of three classes), the nine frames
// between are filled, and each class is compared with its truth beside the nearer keyframe's
// mask copied.
void measureFilling(const QList<QImage> &photos)
{
    constexpr int frames = 11;
    constexpr int classes = 3;
    std::vector<double> filledIou[classes], nearerIou[classes], times;
    for (int seq = 0; seq < 4 && seq + 1 < photos.size(); ++seq) {
        const Filmed filmed = film(photos, seq, frames);
        QTemporaryDir folder;
        QFile list(QDir(folder.path()).filePath(QStringLiteral("labels.txt")));
        if (!list.open(QIODevice::WriteOnly) || list.write("object 1\nobject 2\nstroke\n") < 0)
            return;
        list.close();
        QStringList pictures;
        for (int t = 0; t < frames; ++t) {
            pictures << QDir(folder.path())
                            .filePath(QStringLiteral("%1.jpg").arg(t + 1, 2, 10, QLatin1Char('0')));
            filmed.pictures[size_t(t)].save(pictures.last(), "JPEG", 95); // as cameras give them
        }
        QString failed;
        for (int t : {0, frames - 1})
            ClassFiles::storeNumbers(filmed.truths[size_t(t)], pictures.at(t), true, &failed);
        QElapsedTimer timer;
        timer.start();
        FillBetween::fill(pictures, {{0, frames - 1}});
        times.push_back(timer.elapsed() / double(frames - 2));
        for (int t = 1; t < frames - 1; ++t) {
            const MaskAnalysis::Picture read =
                MaskAnalysis::analyse(pictures.at(t), MaskAnalysis::Numbers);
            QImage numbers(read.numbers.size(), QImage::Format_Grayscale8);
            for (int y = 0; y < numbers.height() && !read.numbers.isNull(); ++y)
                std::copy_n(read.numbers.constScanLine(y), numbers.width(), numbers.scanLine(y));
            const QImage &nearer = filmed.truths[size_t(t < frames / 2 ? 0 : frames - 1)];
            for (int c = 0; c < classes; ++c) {
                const uchar value = uchar(c + 1);
                filledIou[c].push_back(read.numbers.isNull()
                                           ? 0.0
                                           : classIou(numbers, filmed.truths[size_t(t)], value));
                nearerIou[c].push_back(classIou(nearer, filmed.truths[size_t(t)], value));
            }
        }
    }
    if (times.empty())
        return;
    const auto worst = [](const std::vector<double> &v) {
        return *std::min_element(v.begin(), v.end());
    };
    out << "fill between keyframes 10 frames apart (12 MP): IoU per class over the frames "
           "between, mean (worst)\n";
    const char *names[classes] = {"object 1", "object 2", "stroke"};
    for (int c = 0; c < classes; ++c)
        out << QString::asprintf("  %-8s  filled %.4f (%.4f)   nearer keyframe %.4f (%.4f)\n",
                                 names[c], mean(filledIou[c]), worst(filledIou[c]),
                                 mean(nearerIou[c]), worst(nearerIou[c]));
    row(QStringLiteral("fill between keyframes, 12 MP, a frame, median"), median(times), 0);
    row(QStringLiteral("fill between keyframes, 12 MP, a frame, slowest"),
        *std::max_element(times.begin(), times.end()), 0);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QStringList paths = app.arguments().mid(1);
    paths.removeAll(QStringLiteral("--carry"));
    if (paths.isEmpty()) {
        const QDir nature(QStringLiteral("/usr/share/backgrounds/mate/nature"));
        for (const QString &name : nature.entryList({QStringLiteral("*.jpg")}, QDir::Files))
            paths << nature.filePath(name);
    }
    QList<QImage> photos;
    for (const QString &path : qAsConst(paths)) {
        QImage photo(path);
        if (!photo.isNull())
            photos << photo;
    }
    if (photos.size() < 2) {
        out << "Give two photos or more (Debian: mate-backgrounds has some).\n";
        return 1;
    }
    out << "step                                               figure          floor    ratio\n";
    measureFollowing(photos);
    measureFilling(photos);
    measureCarry(photos);
    if (app.arguments().contains(QStringLiteral("--carry")))
        return 0;
    measureSnapping(photos);
    measureWand(photos.first());
    for (int megapixels : {24, 144})
        measureWholeMask(megapixels);
    return 0;
}
