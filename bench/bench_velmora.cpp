// Measures what the editor costs on big pictures, each figure beside a floor measured in
// the same run on the same machine, so the ratios travel between machines.
//
//   velmora_bench [MEGAPIXELS ...]     default: 1 12 24 48 64

#include "mainwindow/mainwindow.h"
#include "tests/support/viewprobe.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPixmapCache>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace {

QTextStream out(stdout);

// Median wall time of `runs` calls, in milliseconds; `prepare` runs untimed before each.
double medianMs(int runs, const std::function<void()> &step,
                const std::function<void()> &prepare = {})
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void row(int megapixels, const char *what, double figure, double floor)
{
    out << QString::asprintf("%4d MP  %-34s %10.3f ms %10.3f ms %9.2fx\n", megapixels, what, figure,
                             floor, floor > 0 ? figure / floor : 0.0);
    out.flush();
}

// A picture with some texture, 4:3, and a mask file with a blob in the middle.
void makeFiles(const QString &picture, const QString &mask, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x & 0xff, y & 0xff, (x ^ y) & 0xff);
    }
    image.save(picture, "PNG", 90); // light compression: the benchmark measures reading
    QImage grey(size, QImage::Format_Grayscale8);
    grey.fill(0);
    QPainter painter(&grey);
    painter.setBrush(Qt::white);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(
        QRect(QPoint(0, 0), size)
            .adjusted(size.width() / 4, size.height() / 4, -size.width() / 4, -size.height() / 4));
    painter.end();
    grey.save(mask, "PNG", 90);
}

void measure(int megapixels, MainWindow &window, VelmoraView &view, const QString &folder)
{
    const int width = int(std::lround(std::sqrt(megapixels * 1e6 * 4.0 / 3.0)));
    const QSize size(width, int(std::lround(megapixels * 1e6 / width)));
    const QString picture = QDir(folder).filePath(QStringLiteral("p%1.png").arg(megapixels));
    const QString maskFile = QDir(folder).filePath(QStringLiteral("p%1_mask.png").arg(megapixels));
    makeFiles(picture, maskFile, size);
    const int runs = megapixels >= 24 ? 3 : 5;

    // Opening: the picture and its mask file, against decoding the two files alone.
    const double load = medianMs(
        runs, [&] { view.loadImage(picture); }, [] { QPixmapCache::clear(); });
    const double decode = medianMs(runs, [&] {
        QImage a = QImageReader(picture).read();
        QImage b = QImageReader(maskFile).read();
    });
    row(megapixels, "open picture with mask", load, decode);

    // Export: against one plain pass over the mask layer's pixels.
    const QImage &mask = VelmoraViewProbe::mask(view);
    const double exportTime = medianMs(runs, [&] { view.exportMask(); });
    volatile quint32 sink = 0;
    const double pass = medianMs(runs, [&] {
        quint32 acc = 0;
        const int w = mask.width();
        const int h = mask.height();
        for (int y = 0; y < h; ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(mask.constScanLine(y));
            for (int x = 0; x < w; ++x)
                acc += line[x] >> 24;
        }
        sink = acc;
    });
    row(megapixels, "export mask", exportTime, pass);

    // One stroke segment, 40 pixels long with brush 20, refresh included, against a plain
    // drawLine of the same line on an image of the same size.
    view.setMode(EditorMode::Doodle);
    view.setBrushSize(20);
    const QPointF centre(size.width() / 2.0, size.height() / 2.0);
    int step = 0;
    const double segment = medianMs(15, [&] {
        const QPointF from = centre + QPointF(0, 3 * step);
        VelmoraViewProbe::segment(view, from, from + QPointF(40, 0));
        ++step;
    });
    QImage plain(size, QImage::Format_ARGB32);
    plain.fill(Qt::transparent);
    step = 0;
    const double drawLine = medianMs(15, [&] {
        const QPointF from = centre + QPointF(0, 3 * step);
        QPainter painter(&plain);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::red, 20, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLine(QLineF(from, from + QPointF(40, 0)));
        ++step;
    });
    row(megapixels, "stroke segment with refresh", segment, drawLine);

    // A pointer move while painting: the segment and one repaint of the view at the window's
    // size with the picture fitted, against the same repaint alone.
    view.loadImage(picture);
    QImage screen(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    step = 0;
    const double pointerMove = medianMs(9, [&] {
        const QPointF from = centre + QPointF(0, 3 * step);
        VelmoraViewProbe::segment(view, from, from + QPointF(40, 0));
        QPainter painter(&screen);
        view.render(&painter, QRectF(), view.viewport()->rect());
        ++step;
    });
    const double repaint = medianMs(9, [&] {
        QPainter painter(&screen);
        view.render(&painter, QRectF(), view.viewport()->rect());
    });
    row(megapixels, "pointer move incl. view repaint", pointerMove, repaint);

    // A snapshot of the mask, against a plain copy of the same bytes.
    const double snapshot = medianMs(
        runs, [&] { VelmoraViewProbe::pushUndo(view); }, [&] { view.undo(); });
    std::vector<uchar> bytes(size_t(mask.sizeInBytes()));
    const double copy = medianMs(runs, [&] {
        std::memcpy(bytes.data(), VelmoraViewProbe::mask(view).constBits(), bytes.size());
    });
    row(megapixels, "undo snapshot", snapshot, copy);

    // What the history holds after 25 strokes: 21 full snapshots by design.
    view.loadImage(picture);
    for (int i = 0; i < 25; ++i)
        VelmoraViewProbe::pushUndo(view);
    qint64 held = 0;
    for (const QImage &snap : VelmoraViewProbe::undoStack(view))
        held += snap.sizeInBytes();
    out << QString::asprintf("%4d MP  %-34s %10.1f MiB in %d snapshots\n", megapixels,
                             "history after 25 strokes", held / 1048576.0,
                             VelmoraViewProbe::undoDepth(view));
    view.loadImage(picture); // frees the history before the next size
    Q_UNUSED(window)
    QFile::remove(picture);
    QFile::remove(maskFile);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes;
    for (const QString &arg : app.arguments().mid(1))
        sizes << arg.toInt();
    if (sizes.isEmpty())
        sizes = {1, 12, 24, 48, 64};

    QTemporaryDir folder;
    MainWindow window;
    window.show();
    QApplication::processEvents();
    VelmoraView *view = window.findChild<VelmoraView *>();
    out << "size     step                               figure          floor       ratio\n";
    for (int megapixels : sizes)
        measure(megapixels, window, *view, folder.path());
    return 0;
}
