// Measures the command line on a folder of 12-megapixel pictures with masks, each beside the
// floor of decoding the same mask files alone in the same run:
//
//   velmora_bench_cli [PICTURES] [coco|yolo|voc|stats|import ...]   default: 5000, all five
//
// import reads the COCO export back into a folder of the same pictures without masks,
// beside the floor of writing the same mask files alone.
//
// The folder holds one picture and one mask file, linked under every name (hard links), so
// a big folder takes no disk; every export still reads and analyses every mask file.

#include "bench/timing.h"
#include "cli/commandline.h"
#include "files/maskfile.h"
#include "platform/memory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtConcurrent>

#include <unistd.h>

namespace {

QTextStream out(stdout);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Platform::keepBigBlocksForReuse(); // as the program's command line does
    const int count = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5000;
    QStringList chosen = app.arguments().mid(2);
    if (chosen.isEmpty())
        chosen = QStringList{"coco", "yolo", "voc", "stats", "import"};
    QTemporaryDir folder;
    const QSize size(4000, 3000);
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x & 0xff, y & 0xff, (x ^ y) & 0xff);
    }
    const QString first = folder.filePath(QStringLiteral("IMG_00000.jpg"));
    picture.save(first, "JPEG", 90);
    // Three objects, one with a hole, as a mask file of the usual kind.
    QImage mask(size, QImage::Format_Grayscale8);
    mask.fill(0);
    QPainter painter(&mask);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRect(400, 300, 1200, 900));
    painter.drawRect(2200, 500, 1000, 1400);
    painter.drawEllipse(QRect(800, 1800, 2400, 1000));
    painter.setBrush(Qt::black);
    painter.drawEllipse(QRect(2500, 900, 300, 300));
    painter.end();
    const QString firstMask = MaskFile::pathFor(first);
    mask.save(firstMask);
    for (int i = 1; i < count; ++i) {
        const QString name =
            folder.filePath(QStringLiteral("IMG_%1.jpg").arg(i, 5, 10, QChar('0')));
        ::link(QFile::encodeName(first).constData(), QFile::encodeName(name).constData());
        ::link(QFile::encodeName(firstMask).constData(),
               QFile::encodeName(MaskFile::pathFor(name)).constData());
    }
    out << count << " pictures of 12 MP with masks, " << QThread::idealThreadCount()
        << " threads\n";

    // The floor: decoding every mask file, on the same pool.
    QStringList masks;
    for (int i = 0; i < count; ++i)
        masks << MaskFile::pathFor(
            folder.filePath(QStringLiteral("IMG_%1.jpg").arg(i, 5, 10, QChar('0'))));
    const double decode = 1e-3 * Timing::elapsedMs([&] {
                              QtConcurrent::blockingMap(
                                  masks, [](const QString &path) { QImageReader(path).read(); });
                          });
    QString sink;
    QTextStream quiet(&sink), errors(&sink);
    for (const char *format : {"coco", "yolo", "voc"}) {
        if (!chosen.contains(QLatin1String(format)))
            continue;
        const QString target = folder.filePath(QStringLiteral("out-") + QLatin1String(format));
        QStringList arguments{"velmora",
                              "export",
                              "--format",
                              format,
                              folder.path(),
                              "-o",
                              format == QByteArray("coco") ? target + QStringLiteral(".json")
                                                           : target};
        int status = -1;
        const double seconds =
            1e-3 * Timing::elapsedMs([&] { status = CommandLine::run(arguments, quiet, errors); });
        out << QString::asprintf("export %-4s %8.1f s  (decoding the masks alone %6.1f s, %.2fx)"
                                 "  status %d\n",
                                 format, seconds, decode, seconds / decode, status);
        out.flush();
        sink.clear();
    }
    if (chosen.contains(QStringLiteral("stats"))) {
        int status = -1;
        const double seconds =
            1e-3 * Timing::elapsedMs([&] {
                status = CommandLine::run({"velmora", "stats", folder.path()}, quiet, errors);
            });
        out << QString::asprintf("stats       %8.1f s  (decoding the masks alone %6.1f s, %.2fx)"
                                 "  status %d\n",
                                 seconds, decode, seconds / decode, status);
        out.flush();
    }
    if (!chosen.contains(QStringLiteral("import")))
        return 0;
    const QString json = folder.filePath(QStringLiteral("out-coco.json"));
    if (!QFile::exists(json))
        CommandLine::run({"velmora", "export", "--format", "coco", folder.path(), "-o", json},
                         quiet, errors);
    QTemporaryDir bare;
    QStringList written;
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("IMG_%1.jpg").arg(i, 5, 10, QChar('0'));
        ::link(QFile::encodeName(first).constData(),
               QFile::encodeName(bare.filePath(name)).constData());
        written << MaskFile::pathFor(folder.filePath(QStringLiteral("floor-%1.jpg").arg(i)));
    }
    // The floor: writing every mask file, on the same pool.
    const QImage gray = QImage(firstMask).convertToFormat(QImage::Format_Grayscale8);
    const double write = 1e-3 * Timing::elapsedMs([&] {
                             QtConcurrent::blockingMap(written, [&](const QString &path) {
                                 MaskFile::write(gray, path);
                             });
                         });
    int status = -1;
    const double seconds =
        1e-3 * Timing::elapsedMs([&] {
            status = CommandLine::run({"velmora", "import", "--format", "coco", json, bare.path()},
                                      quiet, errors);
        });
    out << QString::asprintf("import coco %8.1f s  (writing the masks alone %6.1f s, %.2fx)"
                             "  status %d\n",
                             seconds, write, seconds / write, status);
    return 0;
}
