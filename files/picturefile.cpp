#include "files/picturefile.h"

#include "display/pyramid.h"
#include "files/maskfile.h"
#include "platform/memory.h"
#include "video/frames.h"
#include "video/videofile.h"

#include <QFile>
#include <QFileInfo>
#include <QFuture>
#include <QImageReader>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <QtEndian>

#include <cstdlib>

namespace PictureFile {

namespace {

// The readers' threads are made once and kept: a thread that could not be started when
// memory is short would hold its task forever, and the open waiting for it too.
class ReaderPool : public QThreadPool
{
public:
    ReaderPool() { setExpiryTimeout(-1); }
};
Q_GLOBAL_STATIC(ReaderPool, readerPool)

// Bytes a picture pixel takes once shown: 4 for the picture, 1 for its mask layer, 2 for
// the reduced copies of both (a third more of each), and 1 for a mask file decoded at one
// byte a pixel while the rest is there.
constexpr qint64 bytesPerPixel = 8;
// A file smaller than a byte for this many pixels is suspicious...
constexpr qint64 pixelsPerSuspiciousByte = 1000;
// ...when the picture is this big: smaller ones decode quickly whatever their files hold, and
// a plain scan of a page may well compress that far.
constexpr qint64 leastSuspiciousBytes = qint64(512) << 20;

struct LayerRead
{
    QImage layer;
    QVector<QImage> levels;
    MaskFile::Reading reading;
    QStringList classNames;
    ClassFiles::MapStatus mapStatus = ClassFiles::MapStatus::Absent;
    bool disagreed = false;
    QImage objects;
    ClassFiles::MapStatus objectStatus = ClassFiles::MapStatus::Absent;
};

// The mask's reduced copies are made here too, beside the picture's decoding, and the
// classes are joined in when the folder has them.
LayerRead readLayer(const QString &picturePath, QSize size, const std::atomic_bool *cancelled)
{
    LayerRead read;
    read.layer = MaskFile::readLayerBeside(picturePath, size, &read.reading, cancelled);
    const ClassFiles::List list = ClassFiles::readList(ClassFiles::listPathFor(picturePath));
    Display::Reduction reduction = Display::Reduction::Mean;
    if (!read.layer.isNull()) {
        // Read with or without a list: a class map whose list went away is still classes.
        const QImage numbers = ClassFiles::readMap(ClassFiles::mapPathFor(picturePath), size,
                                                   &read.mapStatus, cancelled);
        read.classNames = ClassFiles::classNames(list.names, ClassFiles::highestOf(numbers));
        if (!read.classNames.isEmpty()) {
            read.disagreed = ClassFiles::joinMap(read.layer, numbers);
            reduction = Display::Reduction::Highest;
            // Objects lie in classes: without a class map they have no class to be in.
            if (read.mapStatus == ClassFiles::MapStatus::Read)
                read.objects = ClassFiles::readObjects(ClassFiles::objectsPathFor(picturePath),
                                                       size, &read.objectStatus, cancelled);
        }
    }
    read.levels = Display::Pyramid::reduce(read.layer, nullptr, reduction);
    return read;
}

// A picture of 16 bits a channel with its levels stretched so the darkest it holds is black
// and the brightest white: scans and microscopy often use a fraction of the range, and a
// plain conversion would show them nearly black. Null for other formats.
QImage fullRangeOf(const QImage &picture)
{
    const QImage::Format format = picture.format();
    const bool grey = format == QImage::Format_Grayscale16;
    if (!grey && format != QImage::Format_RGBX64 && format != QImage::Format_RGBA64 &&
        format != QImage::Format_RGBA64_Premultiplied)
        return QImage();
    const QImage wide = grey ? picture : picture.convertToFormat(QImage::Format_RGBA64);
    const int channels = grey ? 1 : 4;
    quint16 low = 0xffff, high = 0;
    const int wideWidth = wide.width(); // not read again for each pixel
    for (int y = 0; y < wide.height(); ++y) {
        const auto *row = reinterpret_cast<const quint16 *>(wide.constScanLine(y));
        for (int x = 0; x < wideWidth; ++x)
            for (int c = 0; c < qMin(channels, 3); ++c) {
                low = qMin(low, row[x * channels + c]);
                high = qMax(high, row[x * channels + c]);
            }
    }
    const double scale = high > low ? 255.0 / (high - low) : 0.0;
    const bool alpha = wide.hasAlphaChannel() && !grey;
    QImage shown(wide.size(), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (shown.isNull())
        return QImage();
    const auto level = [&](quint16 value) {
        return int((value - low) * scale + 0.5);
    };
    for (int y = 0; y < wide.height(); ++y) {
        const auto *row = reinterpret_cast<const quint16 *>(wide.constScanLine(y));
        auto *out = reinterpret_cast<QRgb *>(shown.scanLine(y));
        for (int x = 0; x < wideWidth; ++x) {
            if (grey) {
                const int v = level(row[x]);
                out[x] = qRgb(v, v, v);
            } else {
                const quint16 *p = row + 4 * x;
                out[x] = qRgba(level(p[0]), level(p[1]), level(p[2]), alpha ? p[3] >> 8 : 255);
            }
        }
    }
    return alpha ? std::move(shown).convertToFormat(QImage::Format_ARGB32_Premultiplied) : shown;
}

// The two formats the screen draws fastest; a picture in another is converted once, on the
// reading thread, in place where the format's size allows.
QImage forDrawing(QImage picture)
{
    const QImage stretched = fullRangeOf(picture);
    if (!stretched.isNull() || picture.isNull() || picture.depth() == 64 ||
        picture.format() == QImage::Format_Grayscale16)
        return stretched;
    const QImage::Format format = picture.format();
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32_Premultiplied)
        return picture;
    const QImage::Format wanted =
        picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    return std::move(picture).convertToFormat(wanted);
}

} // namespace

const QVector<Format> &formats()
{
    static const QVector<Format> found = [] {
        const QVector<Format> known{
            {QStringLiteral("PNG"), {QStringLiteral("png")}},
            {QStringLiteral("JPEG"), {QStringLiteral("jpg"), QStringLiteral("jpeg")}},
            {QStringLiteral("BMP"), {QStringLiteral("bmp")}},
            {QStringLiteral("WebP"), {QStringLiteral("webp")}},
            {QStringLiteral("TIFF"), {QStringLiteral("tif"), QStringLiteral("tiff")}},
            {QStringLiteral("AVIF"), {QStringLiteral("avif")}},
            {QStringLiteral("HEIF"), {QStringLiteral("heic"), QStringLiteral("heif")}},
            {QStringLiteral("JPEG XL"), {QStringLiteral("jxl")}},
        };
        // A format whose plugin is missing is not offered: its files could not be opened.
        const QList<QByteArray> readable = QImageReader::supportedImageFormats();
        QVector<Format> usable;
        for (const Format &format : known)
            if (readable.contains(format.suffixes.first().toLatin1()))
                usable.append(format);
        return usable;
    }();
    return found;
}

QStringList pictureSuffixes()
{
    QStringList all;
    for (const Format &format : formats())
        all += format.suffixes;
    return all;
}

bool hasPictureSuffix(const QString &name)
{
    static const QStringList all = pictureSuffixes();
    return all.contains(QFileInfo(name).suffix().toLower());
}

QString filterOf(const QString &name, const QStringList &suffixes)
{
    QStringList patterns;
    for (const QString &suffix : suffixes)
        patterns << QStringLiteral("*.") + suffix;
    return QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' ')));
}

bool isRegularFile(const QString &path)
{
    // QFileInfo follows links and reports a fifo, socket or device as neither file nor folder.
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

bool isPicture(const QString &path)
{
    return Frames::isFramePath(path) || isRegularFile(path);
}

QSize sizeOf(const QString &path)
{
    const Frames::Frame frame = Frames::frameOf(path);
    if (frame.isValid()) {
        const auto video = VideoFile::shared(frame.video);
        return video && frame.number <= video->frameCount() ? video->size() : QSize();
    }
    return isRegularFile(path) ? QImageReader(path).size() : QSize();
}

namespace {

QImage readFrame(const Frames::Frame &frame, const std::atomic_bool *cancelled)
{
    const auto video = VideoFile::shared(frame.video);
    return video ? video->frame(frame.number, cancelled) : QImage();
}

} // namespace

bool isCutShort(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(34);
    if (header.size() < 34 || !header.startsWith("BM"))
        return false;
    const auto number = [&header](int at) {
        return qFromLittleEndian<qint32>(header.constData() + at);
    };
    const qint64 offset = quint32(number(10));
    const qint64 infoSize = quint32(number(14));
    if (infoSize < 40) // the old OS/2 header: left to the decoder
        return false;
    const qint64 width = number(18);
    const qint64 height = qAbs(qint64(number(22)));
    const int bits = qFromLittleEndian<quint16>(header.constData() + 28);
    const quint32 compression = quint32(number(30));
    // Run-length coded files have no fixed length; bit fields are plain rows.
    if (compression != 0 && compression != 3 && compression != 6)
        return false;
    const qint64 bytesPerRow = ((width * bits + 31) / 32) * 4;
    return width > 0 && file.size() < offset + bytesPerRow * height;
}

QImage readWhole(QImageReader &reader)
{
    const QSize size = reader.size();
    const QImage::Format format = reader.imageFormat();
    if (!size.isValid() || format == QImage::Format_Invalid)
        return reader.read();
    const int depth = QImage(1, 1, format).depth();
    const size_t bytesPerLine = ((size_t(size.width()) * size_t(depth) + 31) / 32) * 4;
    void *pixels = Platform::blockToFill(bytesPerLine * size_t(size.height()));
    if (!pixels)
        return QImage();
    // A decoder that gives another format or size than its header told makes an image of
    // its own, and this one's memory is let go.
    QImage image(static_cast<uchar *>(pixels), size.width(), size.height(), int(bytesPerLine),
                 format, std::free, pixels);
    return reader.read(&image) ? image : QImage();
}

QImage read(const QString &path)
{
    const Frames::Frame frame = Frames::frameOf(path);
    if (frame.isValid())
        return readFrame(frame, nullptr);
    if (!isRegularFile(path) || isCutShort(path))
        return QImage();
    QImageReader reader(path);
    return readWhole(reader);
}

Footprint footprintOf(const QString &path)
{
    Footprint footprint;
    if (!isPicture(path))
        return footprint;
    footprint.size = sizeOf(path);
    footprint.fileBytes = QFileInfo(Frames::sourceOf(path)).size();
    if (footprint.size.isValid())
        footprint.bytes = qint64(footprint.size.width()) * footprint.size.height() * bytesPerPixel;
    return footprint;
}

bool Footprint::isSuspicious() const
{
    const qint64 pixels = qint64(size.width()) * size.height();
    return size.isValid() && bytes >= leastSuspiciousBytes &&
           fileBytes * pixelsPerSuspiciousByte < pixels;
}

bool needsConsent(const Footprint &footprint, qint64 available)
{
    return footprint.isSuspicious() || (available >= 0 && footprint.bytes > available / 4);
}

WithMask readWithMask(const QString &path, const std::atomic_bool *cancelled)
{
    QImage picture;
    LayerRead layer;
    const Frames::Frame frame = Frames::frameOf(path);
    if (frame.isValid()) {
        // The frame decodes while its mask is read; every frame has the video's size.
        const QSize size = sizeOf(path);
        if (!size.isValid())
            return WithMask();
        QFuture<LayerRead> mask = QtConcurrent::run(readerPool(), readLayer, path, size, cancelled);
        picture = readFrame(frame, cancelled);
        layer = mask.result();
    } else {
        if (!isRegularFile(path) || isCutShort(path))
            return WithMask();
        CancellableFile file(path, cancelled);
        if (!file.open(QIODevice::ReadOnly))
            return WithMask();
        QImageReader reader(&file);
        // The header tells the size, so the mask can be read while the picture decodes.
        const QSize announced = reader.size();
        QFuture<LayerRead> mask;
        if (announced.isValid())
            mask = QtConcurrent::run(readerPool(), readLayer, path, announced, cancelled);
        picture = forDrawing(readWhole(reader));
        if (announced.isValid())
            layer = mask.result();
    }
    if (picture.isNull() || (cancelled && cancelled->load()))
        return WithMask();
    if (layer.layer.size() != picture.size())
        layer = readLayer(path, picture.size(), cancelled);
    if (layer.layer.isNull())
        return WithMask();
    WithMask result;
    result.picture = std::move(picture);
    result.mask = std::move(layer.layer);
    result.maskLevels = std::move(layer.levels);
    result.maskReading = layer.reading;
    result.classNames = layer.classNames;
    result.mapStatus = layer.mapStatus;
    result.classesDisagreed = layer.disagreed;
    result.objects = std::move(layer.objects);
    result.objectStatus = layer.objectStatus;
    return result;
}

} // namespace PictureFile
