#include "editor/maskfile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QVector>

namespace MaskFile {

namespace {

constexpr QRgb maskRed = 0xFFFF0000u;
// A file pixel is inside the mask when its grey level is above this; 128 itself is outside.
constexpr int greyThreshold = 128;

// One decision per colour-table entry, so indexed files need one lookup per pixel.
QVector<bool> insideByIndex(const QImage &image)
{
    const QVector<QRgb> table = image.colorTable();
    QVector<bool> inside(256, false);
    for (int i = 0; i < table.size() && i < inside.size(); ++i)
        inside[i] = qGray(table.at(i)) > greyThreshold;
    return inside;
}

// Puts the file's decisions into `mask` row by row. The cases read the very values that
// QImage::pixel() would report for each format, without its per-pixel dispatch.
void markInside(const QImage &file, QImage &mask)
{
    const int width = mask.width();
    const int height = mask.height();
    const QImage::Format format = file.format();

    if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
        format == QImage::Format_MonoLSB) {
        const QVector<bool> inside = insideByIndex(file);
        for (int y = 0; y < height; ++y) {
            const uchar *src = file.constScanLine(y);
            auto *dst = reinterpret_cast<QRgb *>(mask.scanLine(y));
            for (int x = 0; x < width; ++x) {
                int index;
                if (format == QImage::Format_Indexed8)
                    index = src[x];
                else if (format == QImage::Format_Mono)
                    index = (src[x >> 3] >> (7 - (x & 7))) & 1;
                else
                    index = (src[x >> 3] >> (x & 7)) & 1;
                if (inside.at(index))
                    dst[x] = maskRed;
            }
        }
        return;
    }

    if (format == QImage::Format_Grayscale8) {
        // qGray of an equal-channel grey is the grey itself.
        for (int y = 0; y < height; ++y) {
            const uchar *src = file.constScanLine(y);
            auto *dst = reinterpret_cast<QRgb *>(mask.scanLine(y));
            for (int x = 0; x < width; ++x) {
                if (src[x] > greyThreshold)
                    dst[x] = maskRed;
            }
        }
        return;
    }

    // pixel() hands out the stored word for these three formats and, for every other one,
    // the premultiplied ARGB32 value, which is what this conversion stores.
    QImage argb = file;
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied) {
        argb = file.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (argb.isNull())
            return;
    }
    for (int y = 0; y < height; ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        auto *dst = reinterpret_cast<QRgb *>(mask.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (qGray(src[x]) > greyThreshold)
                dst[x] = maskRed;
        }
    }
}

} // namespace

QString pathFor(const QString &imagePath)
{
    const QFileInfo info(imagePath);
    return QStringLiteral("%1/%2_mask.%3")
        .arg(info.absolutePath(), info.completeBaseName(), info.suffix());
}

void readInto(const QString &maskPath, QImage &mask)
{
    mask.fill(Qt::transparent);
    if (!QFile::exists(maskPath))
        return;

    QImageReader reader(maskPath);
    // The size is checked before decoding, so a huge foreign file costs nothing.
    const QSize announced = reader.size();
    if (announced.isValid() && announced != mask.size())
        return;
    const QImage file = reader.read();
    if (file.isNull() || file.size() != mask.size())
        return;
    markInside(file, mask);
}

QImage toGray(const QImage &mask)
{
    if (mask.isNull())
        return QImage();
    QImage gray(mask.size(), QImage::Format_Grayscale8);
    if (gray.isNull())
        return QImage();
    for (int y = 0; y < mask.height(); ++y) {
        const auto *src = reinterpret_cast<const QRgb *>(mask.constScanLine(y));
        uchar *dst = gray.scanLine(y);
        for (int x = 0; x < mask.width(); ++x)
            dst[x] = qAlpha(src[x]) > 0 ? 255 : 0;
    }
    return gray;
}

bool isEmpty(const QImage &gray)
{
    for (int y = 0; y < gray.height(); ++y) {
        const uchar *row = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); ++x) {
            if (row[x] != 0)
                return false;
        }
    }
    return true;
}

bool write(const QImage &gray, const QString &maskPath)
{
    // The encoder is chosen from the suffix, as QImage::save(path) would choose it.
    const QByteArray format = QFileInfo(maskPath).suffix().toLower().toLatin1();
    if (!QImageWriter::supportedImageFormats().contains(format))
        return false;

    // The complete file is written beside the old one and only then put in its place, so a
    // failure half-way (full disk, encoder error) never leaves a truncated mask behind.
    QSaveFile file(maskPath);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, format);
    if (!writer.write(gray)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace MaskFile
