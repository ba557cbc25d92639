#include "files/maskfile.h"

#include "files/picturefile.h"
#include "files/pngwriter.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "video/frames.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QRgba64>
#include <QVector>

#include <algorithm>
#include <cstdlib>

namespace MaskFile {

namespace {

// A file pixel is inside the mask when its grey level is above this; 128 itself is outside.
constexpr int greyThreshold = 128;

// Turns the file's pixels into mask pixels row by row. `greyAt(row, x)` gives the grey
// level that qGray(QImage::pixel(x, y)) would give, without pixel()'s per-call dispatch.
template <typename GreyAt> void markRows(const QImage &file, QImage &mask, GreyAt greyAt)
{
    const int width = mask.width();
    const int height = mask.height();
    for (int y = 0; y < height; ++y) {
        const uchar *src = file.constScanLine(y);
        uchar *dst = mask.scanLine(y);
        for (int x = 0; x < width; ++x) {
            if (greyAt(src, x) > greyThreshold)
                dst[x] = layerInside;
        }
    }
}

// For indexed files the grey level is decided once per colour-table entry.
QVector<int> greyByIndex(const QImage &image)
{
    const QVector<QRgb> table = image.colorTable();
    QVector<int> grey(256, 0);
    for (int i = 0; i < table.size() && i < grey.size(); ++i)
        grey[i] = qGray(table.at(i));
    return grey;
}

// Each branch reads the value that pixel() reports for that format: the colour-table entry
// for indexed formats, the stored word for 32-bit ARGB, the channels as stored for the
// RGBA byte orders and 16-bit formats, and the premultiplied ARGB32 value for the rest.
// Returns false when a conversion the format needs could not be had for want of memory.
bool markInside(const QImage &file, QImage &mask)
{
    switch (file.format()) {
    case QImage::Format_Indexed8: {
        const QVector<int> grey = greyByIndex(file);
        markRows(file, mask, [&](const uchar *row, int x) { return grey.at(row[x]); });
        return true;
    }
    case QImage::Format_Mono: {
        const QVector<int> grey = greyByIndex(file);
        markRows(file, mask, [&](const uchar *row, int x) {
            return grey.at((row[x >> 3] >> (7 - (x & 7))) & 1);
        });
        return true;
    }
    case QImage::Format_MonoLSB: {
        const QVector<int> grey = greyByIndex(file);
        markRows(file, mask,
                 [&](const uchar *row, int x) { return grey.at((row[x >> 3] >> (x & 7)) & 1); });
        return true;
    }
    case QImage::Format_Grayscale8: {
        // qGray of an equal-channel grey is the grey itself. The usual mask file: looked at
        // in blocks, so most of it is passed over without a branch per pixel, and blocks
        // with nothing inside are not written (nor made resident).
        constexpr int block = 32;
        const int width = mask.width();
        for (int y = 0; y < mask.height(); ++y) {
            const uchar *src = file.constScanLine(y);
            uchar *dst = mask.scanLine(y);
            int x = 0;
            for (; x + block <= width; x += block) {
                uchar highest = 0;
                for (int i = 0; i < block; ++i)
                    highest = src[x + i] > highest ? src[x + i] : highest;
                if (highest > greyThreshold) {
                    // Through a block of its own, which the compiler knows aliases neither
                    // row, so both loops run a vector at a time.
                    uchar marks[block];
                    for (int i = 0; i < block; ++i)
                        marks[i] = src[x + i] > greyThreshold ? layerInside : 0;
                    for (int i = 0; i < block; ++i)
                        dst[x + i] |= marks[i];
                }
            }
            for (; x < width; ++x)
                if (src[x] > greyThreshold)
                    dst[x] = layerInside;
        }
        return true;
    }
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        markRows(file, mask, [](const uchar *row, int x) {
            return qGray(reinterpret_cast<const QRgb *>(row)[x]);
        });
        return true;
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        markRows(file, mask, [](const uchar *row, int x) {
            const uchar *p = row + 4 * x;
            return qGray(p[0], p[1], p[2]);
        });
        return true;
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
        markRows(file, mask, [](const uchar *row, int x) {
            return qGray(reinterpret_cast<const QRgba64 *>(row)[x].toArgb32());
        });
        return true;
    default: {
        const QImage argb = file.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (argb.isNull())
            return false;
        markRows(argb, mask, [](const uchar *row, int x) {
            return qGray(reinterpret_cast<const QRgb *>(row)[x]);
        });
        return true;
    }
    }
}

} // namespace

QString pathFor(const QString &imagePath)
{
    const QFileInfo info(imagePath);
    // PNG, JPEG and BMP pictures keep their format; any other gets a PNG mask, never a lossy
    // one (WebP, AVIF, HEIF and JPEG XL would blur its edges) nor one few programs read.
    const QString suffix = info.suffix();
    static const QStringList own{QStringLiteral("png"), QStringLiteral("jpg"),
                                 QStringLiteral("jpeg"), QStringLiteral("bmp")};
    return QStringLiteral("%1/%2_mask.%3")
        .arg(info.absolutePath(), info.completeBaseName(),
             own.contains(suffix.toLower()) ? suffix : QStringLiteral("png"));
}

QString ownerOf(const QString &imagePath)
{
    const QFileInfo picture(imagePath);
    const QString maskSuffix = QFileInfo(pathFor(imagePath)).suffix();
    // A video's frame owns its mask: frames extracted beside their masks are other files.
    if (picture.suffix() == maskSuffix || Frames::isFramePath(imagePath))
        return imagePath;
    return QStringLiteral("%1/%2.%3").arg(picture.path(), picture.completeBaseName(), maskSuffix);
}

bool maskNameTaken(const QString &imagePath)
{
    const QString owner = ownerOf(imagePath);
    return owner != imagePath && QFileInfo::exists(owner);
}

namespace {

// A file that announced the right size and still gave no picture either is damaged or
// needed more memory than there was; the latter shows in a picture of that size that can't
// be had either.
ReadStatus whyNotDecoded(QSize announced)
{
    if (!announced.isValid())
        return ReadStatus::Undecodable;
    const QImage room(announced, QImage::Format_ARGB32);
    return room.isNull() ? ReadStatus::NoMemory : ReadStatus::Undecodable;
}

// Marks the layer from the file, leaving it untouched when the file is missing, not a
// regular file, undecodable or of another size.
Reading markFromFile(const QString &maskPath, QImage &mask,
                     const std::atomic_bool *cancelled = nullptr)
{
    Reading reading{ReadStatus::Absent, stampOf(maskPath)};
    if (!reading.stamp.exists)
        return reading;
    if (!PictureFile::isRegularFile(maskPath)) {
        reading.status = ReadStatus::NotRegular;
        return reading;
    }
    PictureFile::CancellableFile device(maskPath, cancelled);
    if (PictureFile::isCutShort(maskPath) || !device.open(QIODevice::ReadOnly)) {
        reading.status = ReadStatus::Undecodable;
        return reading;
    }
    QImageReader reader(&device);
    // The size is checked before decoding, so a huge foreign file costs nothing.
    const QSize announced = reader.size();
    if (announced.isValid() && announced != mask.size()) {
        reading.status = ReadStatus::OtherSize;
        return reading;
    }
    const QImage file = PictureFile::readWhole(reader);
    if (file.isNull())
        reading.status = whyNotDecoded(announced);
    else if (file.size() != mask.size())
        reading.status = ReadStatus::OtherSize;
    else
        reading.status = markInside(file, mask) ? ReadStatus::Read : ReadStatus::NoMemory;
    return reading;
}

} // namespace

FileStamp stampOf(const QString &maskPath)
{
    return FileStamp::of(maskPath, FileStamp::Contents::Hashed);
}

Reading readInto(const QString &maskPath, QImage &mask)
{
    mask.fill(0);
    return markFromFile(maskPath, mask);
}

QImage newLayer(QSize size)
{
    if (size.isEmpty())
        return QImage();
    // Fresh memory from the system is zero already, so calloc skips the fill, and the
    // parts of a big mask that are never painted cost no resident memory at all.
    // Rows start on 4-byte boundaries, as in any QImage.
    const size_t bytesPerLine = (size_t(size.width()) + 3) & ~size_t(3);
    void *pixels = std::calloc(bytesPerLine, size_t(size.height()));
    if (!pixels)
        return QImage();
    return QImage(static_cast<uchar *>(pixels), size.width(), size.height(), int(bytesPerLine),
                  layerFormat, std::free, pixels);
}

QImage readLayer(const QString &maskPath, QSize size, Reading *reading,
                 const std::atomic_bool *cancelled)
{
    QImage layer = newLayer(size);
    if (layer.isNull())
        return layer;
    const Reading read = markFromFile(maskPath, layer, cancelled);
    // A conversion that ran out of memory half-way may have marked part of the layer.
    if (read.status == ReadStatus::NoMemory)
        layer.fill(0);
    if (reading)
        *reading = read;
    return layer;
}

QImage readLayerBeside(const QString &picturePath, QSize size, Reading *reading,
                       const std::atomic_bool *cancelled)
{
    if (maskNameTaken(picturePath)) {
        if (reading)
            *reading = {ReadStatus::Absent, stampOf(pathFor(picturePath))};
        return newLayer(size);
    }
    const QString maskPath = pathFor(picturePath);
    const Platform::FileIdentity mask = Platform::identityOf(maskPath);
    if (!mask.valid || mask != Platform::identityOf(picturePath))
        return readLayer(maskPath, size, reading, cancelled);
    if (reading)
        *reading = {ReadStatus::Picture, stampOf(maskPath)};
    return newLayer(size);
}

QImage toGray(const QImage &mask)
{
    if (mask.isNull())
        return QImage();
    // Every byte is written next, so the memory comes as the system fills fastest.
    const size_t bytesPerLine = (size_t(mask.width()) + 3) & ~size_t(3);
    void *pixels = Platform::blockToFill(bytesPerLine * size_t(mask.height()));
    if (!pixels)
        return QImage();
    QImage gray(static_cast<uchar *>(pixels), mask.width(), mask.height(), int(bytesPerLine),
                QImage::Format_Grayscale8, std::free, pixels);
    // QImage::width() is an out-of-line call: the bounds are read once, not per pixel.
    const int width = mask.width();
    const int height = mask.height();
    for (int y = 0; y < height; ++y) {
        const uchar *src = mask.constScanLine(y);
        uchar *dst = gray.scanLine(y);
        for (int x = 0; x < width; ++x)
            dst[x] = src[x] != 0 ? 255 : 0;
    }
    return gray;
}

bool isEmpty(const QImage &gray)
{
    // Of a byte a pixel, or two for object numbers.
    const int width = gray.width() * qMax(1, gray.depth() / 8);
    const int height = gray.height();
    for (int y = 0; y < height; ++y) {
        const uchar *row = gray.constScanLine(y);
        if (std::any_of(row, row + width, [](uchar v) { return v != 0; }))
            return false;
    }
    return true;
}

bool write(const QImage &gray, const QString &maskPath, const QMap<QString, QString> &texts,
           const AtomicFile::Options &options, AtomicFile::Failure *why)
{
    AtomicFile::Failure failure = AtomicFile::Failure::WriteFailed;
    // The encoder is chosen from the suffix, as QImage::save(path) would choose it.
    const QByteArray format = QFileInfo(maskPath).suffix().toLower().toLatin1();
    if (!gray.isNull() && QImageWriter::supportedImageFormats().contains(format)) {
        failure = AtomicFile::write(
            maskPath,
            [&](QIODevice &file) {
                // One-channel PNGs without texts go through our own encoder, several times
                // faster on big masks; the rest through Qt's.
                if (format == "png" && texts.isEmpty() && PngWriter::handles(gray))
                    return PngWriter::write(gray, &file);
                QImageWriter writer(&file, format);
                // At the default quality 75 a mask's edges come back with dozens of grey
                // levels, and a reader that tests "== 255" or "> 0" gets another mask than
                // the one painted.
                if (format == "jpg" || format == "jpeg")
                    writer.setQuality(100);
                for (auto it = texts.cbegin(); it != texts.cend(); ++it)
                    writer.setText(it.key(), it.value());
                return writer.write(gray);
            },
            options);
    }
    if (why)
        *why = failure;
    return failure == AtomicFile::Failure::None;
}

StoreOutcome store(const QImage &gray, const QString &maskPath, const AtomicFile::Options &options,
                   AtomicFile::Failure *why)
{
    if (why)
        *why = AtomicFile::Failure::WriteFailed;
    if (gray.isNull())
        return StoreOutcome::WriteFailed;
    if (!isEmpty(gray))
        return write(gray, maskPath, {}, options, why) ? StoreOutcome::Written
                                                       : StoreOutcome::WriteFailed;
    if (!QFile::exists(maskPath))
        return StoreOutcome::NothingToRemove;
    return QFile::remove(maskPath) ? StoreOutcome::Removed : StoreOutcome::RemoveFailed;
}

QString unreadText(ReadStatus status)
{
    QString reason;
    switch (status) {
    case ReadStatus::OtherSize:
        reason = QCoreApplication::translate("MaskStatus", "尺寸不符");
        break;
    case ReadStatus::Undecodable:
        reason = QCoreApplication::translate("MaskStatus", "无法解码");
        break;
    case ReadStatus::NoMemory:
        reason = QCoreApplication::translate("MaskStatus", "内存不足");
        break;
    case ReadStatus::NotRegular:
        reason = QCoreApplication::translate("MaskStatus", "不是普通文件");
        break;
    case ReadStatus::Picture:
        reason = QCoreApplication::translate("MaskStatus", "它就是图片本身");
        break;
    case ReadStatus::Absent:
    case ReadStatus::Read:
        return QString();
    }
    return QCoreApplication::translate("MaskStatus", "掩膜文件未能读取（%1）").arg(reason);
}

} // namespace MaskFile
