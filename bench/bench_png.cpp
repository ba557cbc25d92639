// How masks are written as PNG: write time, read time (the editor reads masks with Qt's PNG
// reader) and size for libpng's levels, strategies and filters, beside Qt's own writer and
// the run writer masks were written with before, on masks made from photos at 12 MP.
// build/bench/velmora_bench_png [PHOTO ...]   (default: three of mate-backgrounds' photos)

#include "bench/runswriter.h"
#include "files/pngwriter.h"

#include "bench/timing.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QTextStream>

#include <png.h>
#include <zlib.h>

#include <functional>
#include <vector>

namespace {

QTextStream out(stdout);
const QSize size(4000, 3000);

QImage greyOf(const QImage &photo)
{
    return photo.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_Grayscale8);
}

int meanOf(const QImage &grey)
{
    qint64 sum = 0;
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            sum += grey.constScanLine(y)[x];
    return int(sum / (qint64(grey.width()) * grey.height()));
}

// Big smooth regions, as painted or snapped around objects: the photo at a sixteenth,
// smoothed back up and cut at its mean.
QImage cleanMask(const QImage &grey, int levels)
{
    const QImage smooth = grey.scaled(size / 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                              .convertToFormat(QImage::Format_Grayscale8); // smoothing gives RGB32
    const int mean = meanOf(smooth);
    QImage mask(size, QImage::Format_Grayscale8);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int v = smooth.constScanLine(y)[x];
            mask.scanLine(y)[x] =
                levels == 2 ? (v > mean ? 255 : 0) : uchar(std::min(levels - 1, v * levels / 256));
        }
    return mask;
}

// The photo's own texture cut at its mean: a wand with a wide tolerance on grass.
QImage speckledMask(const QImage &grey)
{
    const int mean = meanOf(grey);
    QImage mask(size, QImage::Format_Grayscale8);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            mask.scanLine(y)[x] = grey.constScanLine(y)[x] > mean ? 255 : 0;
    return mask;
}

// Object numbers in 16 bits: each class region of the class map cut into tiles of objects.
QImage objectMap(const QImage &classes)
{
    QImage map(size, QImage::Format_Grayscale16);
    for (int y = 0; y < size.height(); ++y) {
        auto *row = reinterpret_cast<quint16 *>(map.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int c = classes.constScanLine(y)[x];
            row[x] = c ? quint16(c * 1000 + (y / 300) * 14 + x / 300) : 0;
        }
    }
    return map;
}

struct Kind
{
    QString name;
    std::vector<QImage> images;
};

struct Candidate
{
    QString name;
    std::function<bool(const QImage &, QIODevice *)> write;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList paths = app.arguments().mid(1);
    if (paths.isEmpty()) {
        const QDir nature(QStringLiteral("/usr/share/backgrounds/mate/nature"));
        for (const char *name : {"LadyBird.jpg", "GreenMeadow.jpg", "Garden.jpg"})
            paths << nature.filePath(QString::fromLatin1(name));
    }
    std::vector<Kind> kinds{{QStringLiteral("clean mask"), {}},
                            {QStringLiteral("speckled mask"), {}},
                            {QStringLiteral("class map"), {}},
                            {QStringLiteral("object map 16"), {}}};
    for (const QString &path : paths) {
        const QImage photo(path);
        if (photo.isNull())
            continue;
        const QImage grey = greyOf(photo);
        kinds[0].images.push_back(cleanMask(grey, 2));
        kinds[1].images.push_back(speckledMask(grey));
        kinds[2].images.push_back(cleanMask(grey, 4));
        kinds[3].images.push_back(objectMap(kinds[2].images.back()));
    }
    if (kinds[0].images.empty()) {
        out << "Give photos (Debian: mate-backgrounds has some).\n";
        return 1;
    }
    std::vector<Candidate> candidates{
        {QStringLiteral("Qt's writer (zlib default)"),
         [](const QImage &image, QIODevice *device) {
             return QImageWriter(device, "png").write(image);
         }},
        {QStringLiteral("runs of our own (before)"), [](const QImage &image, QIODevice *device) {
             return RunsWriter::handles(image) ? RunsWriter::write(image, device)
                                               : QImageWriter(device, "png").write(image);
         }}};
    const struct
    {
        const char *name;
        int strategy;
    } strategies[] = {{"default", Z_DEFAULT_STRATEGY}, {"rle", Z_RLE}, {"filtered", Z_FILTERED}};
    const struct
    {
        const char *name;
        int filters;
    } filters[] = {{"none", PNG_FILTER_NONE}, {"up", PNG_FILTER_UP}, {"all", PNG_ALL_FILTERS}};
    for (int level : {1, 3, 6, 9})
        for (const auto &strategy : strategies)
            for (const auto &filter : filters) {
                if (strategy.strategy == Z_FILTERED && filter.filters == PNG_FILTER_NONE)
                    continue; // the same as default without filters
                const PngWriter::Settings settings{level, strategy.strategy, filter.filters};
                candidates.push_back(
                    {QStringLiteral("libpng %1 %2 %3")
                         .arg(level)
                         .arg(QLatin1String(strategy.name), QLatin1String(filter.name)),
                     [settings](const QImage &image, QIODevice *device) {
                         return PngWriter::write(image, device, settings);
                     }});
            }

    out << QStringLiteral("PNG of masks at 12 MP, %1 photos each: median write ms / read ms / "
                          "size KB\n")
               .arg(kinds[0].images.size());
    out << QStringLiteral("%1").arg(QString(), -30);
    for (const Kind &kind : kinds)
        out << QStringLiteral("%1").arg(kind.name, 26);
    out << '\n';
    for (const Candidate &candidate : candidates) {
        out << QStringLiteral("%1").arg(candidate.name, -30);
        for (const Kind &kind : kinds) {
            std::vector<double> writes, reads, sizes;
            for (const QImage &image : kind.images) {
                QByteArray bytes;
                for (int run = 0; run < 2; ++run) {
                    bytes.clear();
                    QBuffer buffer(&bytes);
                    buffer.open(QIODevice::WriteOnly);
                    writes.push_back(Timing::elapsedMs([&] { candidate.write(image, &buffer); }));
                }
                for (int run = 0; run < 2; ++run) {
                    QBuffer buffer(&bytes);
                    buffer.open(QIODevice::ReadOnly);
                    QImage read;
                    reads.push_back(
                        Timing::elapsedMs([&] { read = QImageReader(&buffer, "png").read(); }));
                    if (read.isNull() || read.convertToFormat(image.format()) != image)
                        out << " [differs]";
                }
                sizes.push_back(bytes.size() / 1024.0);
            }
            out << QStringLiteral("%1 /%2 /%3")
                       .arg(Timing::median(writes), 8, 'f', 1)
                       .arg(Timing::median(reads), 6, 'f', 1)
                       .arg(Timing::median(sizes), 7, 'f', 0);
        }
        out << '\n';
        out.flush();
    }
    return 0;
}
