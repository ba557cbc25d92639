#ifndef VELMORA_TESTS_TESTFILES_H
#define VELMORA_TESTS_TESTFILES_H

// What tests without widgets share: pictures and masks made in memory, files read back
// whole, and the failures of a real disk and of real memory.

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QSize>
#include <QString>
#include <QtEndian>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <csignal>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace TestSupport {

// The bytes of the file at `path`; empty when it can't be read.
inline QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The alpha of every pixel (of a 32-bit image, or of the one-byte mask layer), as an 8-bit
// image: what decides whether a pixel is in the mask.
inline QImage alphaOf(const QImage &layer)
{
    QImage alpha(layer.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < layer.height(); ++y) {
        uchar *out = alpha.scanLine(y);
        for (int x = 0; x < layer.width(); ++x)
            out[x] =
                layer.depth() == 8 ? layer.constScanLine(y)[x] : uchar(qAlpha(layer.pixel(x, y)));
    }
    return alpha;
}

// A picture with some texture, so a shown picture differs from an empty view.
inline QImage makePicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgb((x * 7) & 0xff, (y * 5) & 0xff, 0x40);
    }
    return image;
}

// An 8-bit mask of `size` whose first `rows` rows are inside (255).
inline QImage maskOfRows(QSize size, int rows)
{
    QImage gray(size, QImage::Format_Grayscale8);
    gray.fill(0);
    for (int y = 0; y < rows; ++y)
        std::fill(gray.scanLine(y), gray.scanLine(y) + size.width(), uchar(255));
    return gray;
}

// Counts the mask layer's pixels above 0.
inline int maskedPixels(const QImage &mask)
{
    int count = 0;
    const QImage alpha = alphaOf(mask);
    for (int y = 0; y < alpha.height(); ++y) {
        const uchar *row = alpha.constScanLine(y);
        for (int x = 0; x < alpha.width(); ++x)
            count += row[x] > 0 ? 1 : 0;
    }
    return count;
}

inline QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray body = QByteArray(type, 4) + data;
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : body) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(data.size()), chunk.data());
    chunk += body;
    QByteArray tail(4, '\0');
    qToBigEndian(crc ^ 0xFFFFFFFFu, tail.data());
    return chunk + tail;
}

// A 1-bit grey PNG whose header announces `size`, followed by only a few rows of pixels.
inline QByteArray pngAnnouncing(QSize size)
{
    QByteArray header(13, '\0');
    qToBigEndian(quint32(size.width()), header.data());
    qToBigEndian(quint32(size.height()), header.data() + 4);
    header[8] = 1; // bit depth; colour type 0 (grey), no interlace
    const QByteArray rows = qCompress(QByteArray(4 * (1 + (size.width() + 7) / 8), '\0'));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", rows.mid(4)) + pngChunk("IEND", QByteArray());
}

#ifdef Q_OS_LINUX
// Runs `step` with the address space capped at what the process holds now plus `room`
// bytes, so a big allocation inside it fails as it would when memory runs out.
template <typename Step> void withMemoryLeft(qint64 room, Step step)
{
    // Memory freed earlier and still held by the allocator would serve allocations beyond
    // the room without asking the system; it is given back first.
    malloc_trim(0);
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    long pages = 0;
    if (FILE *statm = fopen("/proc/self/statm", "r")) {
        if (fscanf(statm, "%ld", &pages) != 1)
            pages = 0;
        fclose(statm);
    }
    rlimit tight = old;
    tight.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + rlim_t(room);
    setrlimit(RLIMIT_AS, &tight);
    step();
    setrlimit(RLIMIT_AS, &old);
}

// Runs `step` as on a disk that is full after `bytes` bytes of any file: writes beyond fail
// with EFBIG instead of killing the process.
template <typename Step> void withFileSizeLimit(qint64 bytes, Step step)
{
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &tight);
    step();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
}

// Runs `step` with the file permissions of an ordinary user: when the tests run as root, who
// passes every permission check, as the user nobody for its length (the effective user of
// every thread). Returns false, without running it, when that can't be had.
template <typename Step> bool asOrdinaryUser(Step step)
{
    if (::geteuid() != 0) {
        step();
        return true;
    }
    constexpr uid_t nobody = 65534;
    if (::seteuid(nobody) != 0)
        return false;
    step();
    return ::seteuid(0) == 0;
}

// Ends the test process when it is still inside this scope after `seconds`: a read that
// blocks forever fails the test instead of stalling it until CTest's timeout.
class FailIfStuck
{
public:
    explicit FailIfStuck(unsigned seconds) { alarm(seconds); }
    ~FailIfStuck() { alarm(0); }
    FailIfStuck(const FailIfStuck &) = delete;
    FailIfStuck &operator=(const FailIfStuck &) = delete;
};
#endif

} // namespace TestSupport

#endif
