// Measures the overview on a folder of 24-megapixel JPEG photos: how soon the grid of 5,000
// pictures shows (placeholders first), how long a frame of scrolling takes while thumbnails
// arrive, one thumbnail against decoding the whole photo, and what the cache keeps a picture.
//
//   velmora_bench_overview [PICTURES] [PHOTO]   default: 5000, a photo of mate-backgrounds
//
// The folder holds one photo linked under every name (hard links): no disk is taken, and every
// thumbnail is still made from its file. The cache is the test-mode one, emptied first.

#include "folder/picturefolder.h"
#include "mainwindow/overview.h"
#include "thumbs/thumbnails.h"

#include "bench/timing.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

using Timing::elapsedMs;
using Timing::median;
QTextStream out(stdout);

void row(const QString &what, double figure, const QString &unit, const QString &against)
{
    out << QString::asprintf("%-52s %9.1f %-3s %s\n", qPrintable(what), figure, qPrintable(unit),
                             qPrintable(against));
    out.flush();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5000;
    const QString photoPath =
        argc > 2 ? QString::fromLocal8Bit(argv[2])
                 : QStringLiteral("/usr/share/backgrounds/mate/nature/LadyBird.jpg");
    const QImage photo(photoPath);
    if (photo.isNull()) {
        out << "Give a photo (Debian: mate-backgrounds has some).\n";
        return 1;
    }
    QDir(Thumbnails::cacheFolder()).removeRecursively();
    QTemporaryDir folder;
    const QString first = folder.filePath(QStringLiteral("IMG_00000.jpg"));
    photo.scaled(6000, 4000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .save(first, "JPEG", 92);
    for (int i = 1; i < count; ++i)
        ::link(QFile::encodeName(first).constData(),
               QFile::encodeName(
                   folder.filePath(QStringLiteral("IMG_%1.jpg").arg(i, 5, 10, QChar('0'))))
                   .constData());
    out << count << " pictures of 24 MP (" << QFileInfo(first).size() / 1024 << " KB each)\n";

    // One thumbnail, against decoding the whole photo.
    const Thumbnails::Colours colours{0, qRgba(255, 0, 0, 140)};
    std::vector<double> thumbs, wholes;
    QImage thumbnail;
    for (int i = 0; i < 5; ++i) {
        thumbs.push_back(elapsedMs([&] { thumbnail = Thumbnails::make(first, colours); }));
        wholes.push_back(elapsedMs([&] { QImageReader(first).read(); }));
    }
    row(QStringLiteral("thumbnail of a 24 MP JPEG"), median(thumbs), QStringLiteral("ms"),
        QStringLiteral("(decoding it whole %1 ms; target 100 ms)").arg(median(wholes), 0, 'f', 1));
    const QByteArray key = Thumbnails::keyOf(first, colours);
    Thumbnails::store(key, thumbnail);
    row(QStringLiteral("cache, a picture"),
        QFileInfo(Thumbnails::cacheFolder() + '/' + key + ".jpg").size() / 1024.0,
        QStringLiteral("KB"), QStringLiteral("(target 40 KB)"));

    // The grid of the whole folder, shown: placeholders first.
    PictureFolder pictures;
    Overview *grid = nullptr;
    const double shown = elapsedMs([&] {
        pictures.setFolder(folder.path());
        grid = new Overview(
            &pictures, [](const QString &) { return ReviewMarks::Mark::None; }, nullptr);
        grid->setColours(colours);
        grid->resize(1000, 660);
        grid->show();
        grid->viewport()->repaint();
    });
    row(QStringLiteral("grid of the folder shown"), shown, QStringLiteral("ms"),
        QStringLiteral("(target 500 ms)"));

    // Scrolling a third of a row a frame while thumbnails arrive.
    std::vector<double> frames;
    QElapsedTimer all;
    all.start();
    for (int frame = 0; frame < 600; ++frame) {
        QScrollBar *bar = grid->verticalScrollBar();
        frames.push_back(elapsedMs([&] {
            app.processEvents(); // thumbnails that arrived
            bar->setValue(bar->value() + 16);
            grid->viewport()->repaint();
        }));
    }
    row(QStringLiteral("a frame of scrolling while thumbnails arrive, median"), median(frames),
        QStringLiteral("ms"), QStringLiteral("(target 16 ms)"));
    row(QStringLiteral("a frame of scrolling while thumbnails arrive, slowest"),
        *std::max_element(frames.begin(), frames.end()), QStringLiteral("ms"),
        QStringLiteral("(600 frames in %1 s)").arg(all.elapsed() / 1000.0, 0, 'f', 1));
    delete grid;
    QDir(Thumbnails::cacheFolder()).removeRecursively();
    return 0;
}
