#include "files/pngwriter.h"

#include <QIODevice>
#include <QtEndian>

#include <zlib.h>

#include <memory>
#include <vector>

namespace PngWriter {

namespace {

class ChunkWriter
{
public:
    explicit ChunkWriter(QIODevice *device) : device(device) {}

    bool write(const char type[4], const QByteArray &data)
    {
        return write(type, reinterpret_cast<const uchar *>(data.constData()), data.size());
    }

    bool write(const char type[4], const uchar *data, qsizetype size)
    {
        uchar length[4];
        qToBigEndian(quint32(size), length);
        uLong crc = crc32(0L, reinterpret_cast<const Bytef *>(type), 4);
        crc = crc32(crc, data, uInt(size));
        uchar check[4];
        qToBigEndian(quint32(crc), check);
        return put(length, 4) && put(reinterpret_cast<const uchar *>(type), 4) && put(data, size) &&
               put(check, 4);
    }

private:
    bool put(const uchar *data, qsizetype size)
    {
        return size == 0 || device->write(reinterpret_cast<const char *>(data), size) == size;
    }

    QIODevice *device;
};

QByteArray header(const QImage &image)
{
    QByteArray bytes(13, 0);
    auto *data = reinterpret_cast<uchar *>(bytes.data());
    qToBigEndian(quint32(image.width()), data);
    qToBigEndian(quint32(image.height()), data + 4);
    data[8] = 8;                                                 // bits a sample
    data[9] = image.format() == QImage::Format_Indexed8 ? 3 : 0; // palette or grey
    // Deflate, no filter choice beyond "none", no interlacing: the remaining bytes are 0.
    return bytes;
}

} // namespace

bool handles(const QImage &image)
{
    return image.format() == QImage::Format_Grayscale8 ||
           (image.format() == QImage::Format_Indexed8 && image.colorCount() > 0 &&
            image.colorCount() <= 256);
}

bool write(const QImage &image, QIODevice *device)
{
    if (!handles(image) || image.isNull())
        return false;
    static const char signature[] = "\x89PNG\r\n\x1a\n";
    if (device->write(signature, 8) != 8)
        return false;
    ChunkWriter chunks(device);
    if (!chunks.write("IHDR", header(image)))
        return false;
    if (image.format() == QImage::Format_Indexed8) {
        QByteArray colours, alphas;
        bool translucent = false;
        for (const QRgb colour : image.colorTable()) {
            colours.append(char(qRed(colour))).append(char(qGreen(colour)));
            colours.append(char(qBlue(colour)));
            alphas.append(char(qAlpha(colour)));
            translucent = translucent || qAlpha(colour) < 255;
        }
        if (!chunks.write("PLTE", colours) || (translucent && !chunks.write("tRNS", alphas)))
            return false;
    }

    z_stream stream{};
    // Run-length matching only: a mask is runs of one value, which it packs about as well as
    // the full search does, many times faster.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK)
        return false;
    const std::unique_ptr<z_stream, int (*)(z_stream *)> ending(&stream, deflateEnd);
    std::vector<uchar> out(256 * 1024);
    const auto flushOut = [&](int flush) {
        do {
            stream.next_out = out.data();
            stream.avail_out = uInt(out.size());
            if (deflate(&stream, flush) == Z_STREAM_ERROR)
                return false;
            const qsizetype made = qsizetype(out.size()) - stream.avail_out;
            if (made > 0 && !chunks.write("IDAT", out.data(), made))
                return false;
        } while (stream.avail_out == 0);
        return true;
    };
    const int width = image.width();
    const int height = image.height();
    uchar none = 0; // each row's filter byte
    for (int y = 0; y < height; ++y) {
        stream.next_in = &none;
        stream.avail_in = 1;
        if (!flushOut(Z_NO_FLUSH))
            return false;
        stream.next_in = const_cast<uchar *>(image.constScanLine(y));
        stream.avail_in = uInt(width);
        if (!flushOut(Z_NO_FLUSH))
            return false;
    }
    stream.avail_in = 0;
    if (!flushOut(Z_FINISH))
        return false;
    return chunks.write("IEND", QByteArray());
}

} // namespace PngWriter
