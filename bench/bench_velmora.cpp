// Measures what the editor costs on big pictures, each figure beside a floor measured in
// the same run on the same machine, so the ratios travel between machines.
//
//   velmora_bench [--classes] [--objects] [--carry] [MEGAPIXELS ...]
//       default: 1 24 64 144 400 (900 on demand); --carry: the memory of carrying a mask alone
//
// With --classes the pictures' folder has a labels.txt of three classes, so every figure is
// taken with the mask holding class numbers; compare a run with and one without. With
// --objects (classes too) each picture is covered by 1,000 touching objects of one class in
// a grid of 40 x 25, and the view's rows are taken again on the same picture without them.
//
// The view is 1200x800. Its repaints and pointer moves are measured against the same work
// on a 1-megapixel picture in the same run: on a big picture they should cost the same.

#include "files/maskfile.h"
#include "folder/picturefolder.h"
#include "mainwindow/mainwindow.h"
#include "platform/memory.h"
#include "region/regionops.h"
#include "tests/support/viewprobe.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThreadPool>

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
    // Written as the editor writes masks, so opening reads what it reads in real work.
    MaskFile::write(grey, mask);
}

// Bytes of one of the process's memory figures (Linux: "VmHWM" is the peak resident size,
// "VmRSS" the resident size now), 0 where unknown.
qint64 memoryFigure(const QByteArray &name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(name + ':'))
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

// Lets the peak start again from what the process holds now (Linux 4.0 and later).
void resetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// What the view costs on the picture it shows, once its reduced copies are made: a whole
// repaint fitted and at one to one, a pointer move that paints a segment, and a hover.
struct ViewCosts
{
    double fitted = 0;
    double actual = 0;
    double paintingMove = 0;
    double hover = 0;
};

ViewCosts viewCosts(VelmoraView &view)
{
    ViewCosts costs;
    VelmoraViewProbe::waitForReducedPicture(view, 600000);
    QWidget *port = view.viewport();
    view.fitToWindow();
    QApplication::processEvents();
    costs.fitted = medianMs(15, [&] { port->repaint(); });
    view.resetZoom();
    QApplication::processEvents();
    costs.actual = medianMs(15, [&] { port->repaint(); });

    // Pointer moves as the window system sends them, each followed by the repaint it asks
    // for: a stroke segment at one to one, then the brush outline hovering, fitted.
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent event(type, at, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(port, &event);
    };
    view.setMode(EditorMode::Doodle);
    view.setBrushSize(20);
    const QPoint middle = port->rect().center();
    int step = 0;
    send(QEvent::MouseButtonPress, middle, Qt::LeftButton);
    QApplication::processEvents();
    costs.paintingMove = medianMs(15, [&] {
        ++step; // 40 pixels across, alternately right and left, 3 pixels down each time
        send(QEvent::MouseMove, middle + QPoint(40 * (step % 2), 3 * step), Qt::LeftButton);
        QApplication::processEvents();
    });
    send(QEvent::MouseButtonRelease, middle + QPoint(40 * (step % 2), 3 * step), Qt::NoButton);
    view.undo();
    view.fitToWindow();
    QApplication::processEvents();
    costs.hover = medianMs(15, [&] {
        ++step;
        send(QEvent::MouseMove, middle + QPoint(7 * (step % 5), 3 * (step % 7)), Qt::NoButton);
        QApplication::processEvents();
    });
    return costs;
}

ViewCosts onePicture; // the same on a 1-megapixel picture, the floor of the view's rows

// A stroke as the pointer makes it: the press, then segments `step` pixels apart.
void drawStroke(VelmoraView &view, QPointF from, QPointF to, qreal step = 10)
{
    VelmoraViewProbe::beginStroke(view, from);
    const int n = qMax(1, int(QLineF(from, to).length() / step));
    for (int i = 1; i <= n; ++i)
        VelmoraViewProbe::segment(view, from + (to - from) * i / n);
    VelmoraViewProbe::endStroke(view);
}

void printViewCosts(int megapixels, const ViewCosts &costs, const ViewCosts &floor = onePicture,
                    const char *suffix = "")
{
    const auto named = [suffix](const char *what) {
        static QByteArray text;
        text = QByteArray(what) + suffix;
        return text.constData();
    };
    row(megapixels, named("whole repaint, fitted"), costs.fitted, floor.fitted);
    row(megapixels, named("whole repaint, 1:1"), costs.actual, floor.actual);
    row(megapixels, named("pointer move painting, its repaint"), costs.paintingMove,
        floor.paintingMove);
    row(megapixels, named("pointer hover, its repaint"), costs.hover, floor.hover);
}

bool withObjects = false;

// Beside the picture: its class map, every pixel class 1, and its object map, 1,000 objects
// in a grid of 40 x 25 cells, each touching its neighbours.
void makeObjectFiles(const QString &picture, QSize size)
{
    const QFileInfo info(picture);
    const QString base = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
    QImage classes(size, QImage::Format_Grayscale8);
    classes.fill(1);
    MaskFile::write(classes, base + QStringLiteral("_labels.png"));
    classes = QImage();
    QImage objects(size, QImage::Format_Grayscale16);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<quint16 *>(objects.scanLine(y));
        const int row = int(qint64(y) * 25 / size.height());
        for (int x = 0; x < size.width(); ++x)
            line[x] = quint16(1 + row * 40 + int(qint64(x) * 40 / size.width()));
    }
    MaskFile::write(objects, base + QStringLiteral("_objects.png"));
}

void measure(int megapixels, VelmoraView &view, const QString &folder, const QString &tiny)
{
    const int width = int(std::lround(std::sqrt(megapixels * 1e6 * 4.0 / 3.0)));
    const QSize size(width, int(std::lround(megapixels * 1e6 / width)));
    const qreal pixels = qreal(size.width()) * size.height();
    const QString picture = QDir(folder).filePath(QStringLiteral("p%1.png").arg(megapixels));
    const QString maskFile = QDir(folder).filePath(QStringLiteral("p%1_mask.png").arg(megapixels));
    makeFiles(picture, maskFile, size);
    if (withObjects)
        makeObjectFiles(picture, size);
    const int runs = megapixels >= 400 ? 1 : megapixels >= 24 ? 3 : 5;
    const QPointF centre(size.width() / 2.0, size.height() / 2.0);

    // Memory first, from a clean start: open, 21 strokes, 21 undos and a save.
    view.loadImage(tiny);
    VelmoraViewProbe::waitForReducedPicture(view);
    const QString saved = QDir(folder).filePath(QStringLiteral("saved%1_mask.png").arg(megapixels));
    const qint64 before = memoryFigure("VmRSS");
    resetPeakResident();
    const bool opened = view.loadImage(picture);
    VelmoraViewProbe::waitForReducedPicture(view, 600000);
    view.setMode(EditorMode::Doodle);
    view.setBrushSize(30);
    // Near the top-left corner, where the mask file's blob does not reach: red over red
    // changes nothing and would leave nothing in the history.
    const QPointF corner(40, 40);
    for (int i = 0; i < 21; ++i) {
        const QPointF from = corner + QPointF(20 * i, 0);
        drawStroke(view, from, from + QPointF(707, 707));
    }
    const qint64 history = VelmoraViewProbe::historyBytes(view);
    for (int i = 0; i < 21; ++i)
        view.undo();
    const bool stored =
        MaskFile::store(view.exportMask(), saved) == MaskFile::StoreOutcome::Written;
    const qint64 peak = memoryFigure("VmHWM");
    for (int i = 0; i < 21; ++i)
        view.redo();
    out << QString::asprintf("%4d MP  %-34s %10.1f MiB (the mask itself: %.1f MiB)\n", megapixels,
                             "history after 21 strokes", history / 1048576.0, pixels / 1048576.0);
    // What the process held before (libraries, and heap kept from earlier sizes) is not
    // the session's; both are shown.
    out << QString::asprintf("%4d MP  %-34s %10.2f B/px (peak %.2f B/px, %.2f held before)\n",
                             megapixels, "peak resident of the session", (peak - before) / pixels,
                             peak / pixels, before / pixels);
    out << QString::asprintf("%4d MP  %-34s opened: %s, saved: %s\n", megapixels,
                             "the session's outcome", opened ? "yes" : "NO", stored ? "yes" : "NO");
    out.flush();
    if (megapixels >= 900) { // the session and the view alone: the rest would take long
        printViewCosts(megapixels, viewCosts(view));
        view.loadImage(tiny);
        QFile::remove(picture);
        QFile::remove(maskFile);
        QFile::remove(saved);
        return;
    }

    // Opening: the picture and its mask file, against decoding the two files one after the
    // other.
    // Each open starts once the last one's background work (its reduced copies) is done, as
    // when a person opens a picture: back to back, that work would take a core from the next.
    const auto settled = [] {
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
    };
    const double load = medianMs(
        runs, [&] { view.loadImage(picture); }, settled);
    const double decode = medianMs(runs, [&] {
        QImage a = QImageReader(picture).read();
        QImage b = QImageReader(maskFile).read();
    });
    row(megapixels, "open picture with mask", load, decode);
    // What opening costs beyond decoding the picture: the mask is read beside it.
    const double decodePicture = medianMs(runs, [&] { QImage a = QImageReader(picture).read(); });
    row(megapixels, "open, against the picture alone", load, decodePicture);

    // Export: against one plain pass over the mask layer's pixels.
    const QImage &mask = VelmoraViewProbe::mask(view);
    const double exportTime = medianMs(runs, [&] { view.exportMask(); });
    volatile quint32 sink = 0;
    const double pass = medianMs(runs, [&] {
        quint32 acc = 0;
        const int w = mask.width();
        const int h = mask.height();
        for (int y = 0; y < h; ++y) {
            const uchar *line = mask.constScanLine(y);
            for (int x = 0; x < w; ++x)
                acc += line[x];
        }
        sink = acc;
    });
    row(megapixels, "export mask", exportTime, pass);
    // Each invert is one step; undoing it keeps the history as it was for what follows.
    const double invert = medianMs(
        runs, [&] { view.invertMask(); },
        [&] {
            if (VelmoraViewProbe::undoDepth(view) > 21)
                view.undo();
        });
    for (int i = 0; i < runs; ++i)
        view.undo();
    row(megapixels, "invert (mask menu)", invert, pass);

    // Saving as the window does (export, then encode and write the file atomically), against
    // encoding the same 8-bit mask with the same writer into a file.
    const double save = medianMs(runs, [&] { MaskFile::store(view.exportMask(), saved); });
    const QImage gray = view.exportMask();
    const double encode = medianMs(runs, [&] {
        QImageWriter writer(saved + QStringLiteral(".plain.png"));
        writer.write(gray);
    });
    QFile::remove(saved);
    QFile::remove(saved + QStringLiteral(".plain.png"));
    row(megapixels, "save mask (export, encode, write)", save, encode);

    // One stroke segment, 40 pixels long with brush 20, refresh included, against a plain
    // drawLine of the same line on an image of the same size.
    view.setMode(EditorMode::Doodle);
    view.setBrushSize(20);
    int step = 0;
    VelmoraViewProbe::beginStroke(view, centre);
    const double segment = medianMs(15, [&] {
        ++step; // 40 pixels across, alternately right and left, 3 pixels down each time
        VelmoraViewProbe::segment(view, centre + QPointF(40 * (step % 2), 3 * step));
    });
    VelmoraViewProbe::endStroke(view);
    QImage plain(size, MaskFile::layerFormat);
    plain.fill(0);
    step = 0;
    const double drawLine = medianMs(15, [&] {
        const QPointF from = centre + QPointF(0, 3 * step);
        QPainter painter(&plain);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::red, 20, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawLine(QLineF(from, from + QPointF(40, 0)));
        ++step;
    });
    plain = QImage();
    row(megapixels, "stroke segment with refresh", segment, drawLine);

    // The press that starts a stroke, against one segment of a stroke under way.
    step = 0;
    const double press = medianMs(
        15,
        [&] {
            VelmoraViewProbe::beginStroke(view, centre + QPointF(200 + 3 * step, 0));
            ++step;
        },
        [&] { VelmoraViewProbe::endStroke(view); });
    VelmoraViewProbe::endStroke(view);
    row(megapixels, "press that starts a stroke", press, segment);

    // Undo and redo of a 1000-pixel diagonal stroke 30 wide, against copying the bytes of
    // the stroke's bounding box once.
    view.setBrushSize(30);
    const QPointF from = corner + QPointF(500, 0);
    drawStroke(view, from, from + QPointF(707, 707));
    // Each undo is followed by its redo, so both always work on this stroke.
    bool undone = false;
    const double undo = medianMs(
        runs, [&] { view.undo(); },
        [&] {
            if (undone)
                view.redo();
            undone = true;
        });
    view.redo();
    const double redo = medianMs(
        runs, [&] { view.redo(); }, [&] { view.undo(); });
    const QRect box = QRectF(from, from + QPointF(707, 707)).adjusted(-16, -16, 16, 16).toRect();
    QImage target(box.size(), MaskFile::layerFormat);
    const double boxCopy = medianMs(runs, [&] {
        for (int y = 0; y < box.height(); ++y)
            std::memcpy(target.scanLine(y), mask.constScanLine(box.top() + y) + box.left(),
                        size_t(box.width()));
    });
    row(megapixels, "undo of a 1000 px stroke", undo, boxCopy);
    row(megapixels, "redo of a 1000 px stroke", redo, boxCopy);

    // A lasso of 100,000 points around a quarter of the picture, against one pass over that
    // quarter (filling it with QPainter on an image of the same size).
    view.setMode(EditorMode::Doodle);
    const QRectF quarter(size.width() / 4.0, size.height() / 4.0, size.width() / 2.0,
                         size.height() / 2.0);
    QVector<QPointF> outline;
    const int perSide = 25000;
    const QPointF corners[] = {quarter.topLeft(), quarter.topRight(), quarter.bottomRight(),
                               quarter.bottomLeft(), quarter.topLeft()};
    for (int side = 0; side < 4; ++side)
        for (int i = 0; i < perSide; ++i)
            outline << corners[side] + (corners[side + 1] - corners[side]) * i / perSide;
    view.setMode(EditorMode::Eraser); // the mask file's blob is in that quarter: erase it
    const double lasso = medianMs(
        runs, [&] { VelmoraViewProbe::lasso(view, outline); }, [&] { view.loadImage(picture); });
    QImage same(size, MaskFile::layerFormat);
    same.fill(0);
    const double quarterPass = medianMs(runs, [&] {
        QPainter painter(&same);
        painter.fillRect(quarter, Qt::red);
    });
    same = QImage();
    row(megapixels, "lasso of 100000 points, a quarter", lasso, quarterPass);
    view.setMode(EditorMode::Doodle);

    // The colour wand and the snapping lasso as their gestures end: the region found and
    // put into the mask as one step, against finding the region alone.
    view.loadImage(picture);
    const QImage shown = VelmoraViewProbe::picture(view);
    const QPoint seed(size.width() / 8, size.height() / 8);
    const auto undoLast = [&] {
        if (VelmoraViewProbe::undoDepth(view) > 0)
            view.undo();
    };
    const double wandFound = medianMs(runs, [&] { Region::wand(shown, seed, 32); });
    const double wandApplied = medianMs(
        runs, [&] { view.applyPiece(Region::wand(shown, seed, 32), true); }, undoLast);
    row(megapixels, "colour wand, found and applied", wandApplied, wandFound);
    QPolygonF around;
    for (int i = 0; i < 400; ++i) {
        const qreal angle = 2 * M_PI * i / 400;
        around << centre + QPointF(std::cos(angle) * size.width() * 0.3,
                                   std::sin(angle) * size.height() * 0.3);
    }
    const double snapFound = medianMs(runs, [&] { Region::snappedLasso(shown, around); });
    const double snapApplied = medianMs(
        runs, [&] { view.applyPiece(Region::snappedLasso(shown, around), true); }, undoLast);
    row(megapixels, "snapping lasso, found and applied", snapApplied, snapFound);

    // The view, against the same on a 1-megapixel picture.
    view.loadImage(picture);
    const ViewCosts costs = viewCosts(view);
    printViewCosts(megapixels, costs);
    if (withObjects) {
        // The same picture and classes without its object map, against the rows above.
        const QString objects = QFileInfo(picture).absolutePath() + QLatin1Char('/') +
                                QFileInfo(picture).completeBaseName() +
                                QStringLiteral("_objects.png");
        QFile::rename(objects, objects + QStringLiteral(".away"));
        view.loadImage(picture);
        printViewCosts(megapixels, costs, viewCosts(view), ", with objects / without");
        QFile::rename(objects + QStringLiteral(".away"), objects);
    }

    view.loadImage(tiny); // frees this size before the next
    QFile::remove(picture);
    QFile::remove(maskFile);
}

// Moving to the next picture of a folder of 24-megapixel pictures with masks, a second
// after the current one was shown, against opening that picture cold; and listing a folder
// of 10,000 pictures.
void measureFolder(const QString &folder)
{
    const QSize size(5657, 4243);
    QDir(folder).mkdir(QStringLiteral("walk"));
    const QString walk = QDir(folder).filePath(QStringLiteral("walk"));
    for (int i = 1; i <= 4; ++i)
        makeFiles(QStringLiteral("%1/p%2.png").arg(walk).arg(i),
                  QStringLiteral("%1/p%2_mask.png").arg(walk).arg(i), size);
    MainWindow window;
    window.show();
    QApplication::processEvents();
    VelmoraView *view = window.findChild<VelmoraView *>();
    QAction *next = nullptr;
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QStringLiteral("下一张"))
            next = action;
    }
    std::vector<double> times;
    window.openPicture(walk + QStringLiteral("/p1.png"));
    for (int i = 2; i <= 4; ++i) {
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 1000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        QElapsedTimer timer;
        timer.start();
        next->trigger();
        QApplication::processEvents(); // the repaint that shows it
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    const double cold = medianMs(3, [&] { view->loadImage(walk + QStringLiteral("/p2.png")); });
    row(24, "next picture, read ahead", times[times.size() / 2], cold);

    QDir(folder).mkdir(QStringLiteral("many"));
    const QString many = QDir(folder).filePath(QStringLiteral("many"));
    for (int i = 0; i < 10000; ++i) {
        QFile file(QStringLiteral("%1/IMG_%2.jpg").arg(many).arg(i));
        file.open(QIODevice::WriteOnly);
        if (i % 3 == 0)
            QFile(QStringLiteral("%1/IMG_%2_mask.jpg").arg(many).arg(i)).open(QIODevice::WriteOnly);
    }
    int listed = 0;
    const double listing = medianMs(5, [&] { listed = PictureFolder::read(many).size(); });
    out << QString::asprintf("         %-34s %10.3f ms for %d pictures\n", "list a folder", listing,
                             listed);
}

} // namespace

// Carrying a mask onto the next frame, as Shift+D does: the session's peak resident size
// from before the first frame opened, while the carried mask is moved and fitted. What is held
// is what the window holds: the frame left's mask layer and its grey copy.
void measureCarryMemory(int megapixels, VelmoraView &view, const QString &folder,
                        const QString &tiny)
{
    const int width = int(std::lround(std::sqrt(megapixels * 1e6 * 4.0 / 3.0)));
    const QSize size(width, int(std::lround(megapixels * 1e6 / width)));
    const qreal pixels = qreal(size.width()) * size.height();
    const QString picture = QDir(folder).filePath(QStringLiteral("c%1.png").arg(megapixels));
    makeFiles(picture, QDir(folder).filePath(QStringLiteral("c%1_mask.png").arg(megapixels)), size);
    view.loadImage(tiny);
    VelmoraViewProbe::waitForReducedPicture(view);
    const qint64 before = memoryFigure("VmRSS");
    view.loadImage(picture);
    VelmoraViewProbe::waitForReducedPicture(view, 600000);
    QImage layer = view.getDocument()->mask();
    const Region::MotionCopy copy = Region::motionCopyOf(view.getDocument()->picture());
    view.loadImage(picture); // the next frame
    VelmoraViewProbe::waitForReducedPicture(view, 600000);
    for (int y = 0; y < layer.height(); ++y) { // as the window makes them class numbers
        uchar *row = layer.scanLine(y);
        for (int x = 0; x < layer.width(); ++x)
            row[x] = uchar(row[x] != 0);
    }
    // The window makes this copy while the picture is shown.
    const Region::MotionCopy shown = Region::motionCopyOf(view.getDocument()->picture());
    const qint64 held = memoryFigure("VmRSS");
    resetPeakResident();
    QElapsedTimer timer;
    timer.start();
    view.getDocument()->regions().carry(copy, shown, layer, {}, true);
    while (view.isWorking())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double ms = timer.elapsed();
    const qint64 peak = memoryFigure("VmHWM");
    out << QString::asprintf("%4d MP  %-34s %10.2f B/px (%.2f held before it, %.0f ms)\n",
                             megapixels, "peak resident while carrying", (peak - before) / pixels,
                             (held - before) / pixels, ms);
    out.flush();
    view.loadImage(tiny);
}

int main(int argc, char **argv)
{
    Platform::returnBigBlocksWhenFreed(); // as the program does
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<int> sizes;
    bool withClasses = false, carrying = false;
    for (const QString &arg : app.arguments().mid(1)) {
        if (arg == QLatin1String("--classes"))
            withClasses = true;
        else if (arg == QLatin1String("--objects"))
            withClasses = withObjects = true;
        else if (arg == QLatin1String("--carry"))
            carrying = true;
        else
            sizes << arg.toInt();
    }
    if (sizes.isEmpty())
        sizes = {1, 24, 64, 144, 400};

    QTemporaryDir folder;
    if (withClasses) {
        QFile list(QDir(folder.path()).filePath(QStringLiteral("labels.txt")));
        list.open(QIODevice::WriteOnly);
        list.write("road\ncar\nperson\n");
    }
    out << (withObjects   ? "with three classes and 1,000 objects of one class\n"
            : withClasses ? "with three classes (labels.txt)\n"
                          : "without classes\n");
    const QString tiny = QDir(folder.path()).filePath(QStringLiteral("tiny.png"));
    QImage(8, 8, QImage::Format_RGB32).save(tiny);
    MaskDocument document;
    VelmoraView view(&document);
    view.resize(1200, 800);
    view.show();
    QApplication::processEvents();
    {
        const QString one = QDir(folder.path()).filePath(QStringLiteral("one.png"));
        makeFiles(one, QDir(folder.path()).filePath(QStringLiteral("one_mask.png")),
                  QSize(1155, 866));
        view.loadImage(one);
        onePicture = viewCosts(view);
    }
    if (carrying) {
        for (int megapixels : sizes)
            measureCarryMemory(megapixels, view, folder.path(), tiny);
        return 0;
    }
    out << "size     step                               figure          floor       ratio\n";
    for (int megapixels : sizes)
        measure(megapixels, view, folder.path(), tiny);
    measureFolder(folder.path());
    return 0;
}
