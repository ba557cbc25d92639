#include "bench/runswriter.h"

#include <QIODevice>
#include <QtEndian>

#include <zlib.h>

#include <array>
#include <cstring>

namespace RunsWriter {

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

// The zlib stream of the image's bytes, made of runs: each run of one value is that value,
// then copies of the byte before (deflate's matches at distance 1) of up to 258 bytes each,
// two bits a copy. General compressors look at every byte of a 12-megapixel mask in turn
// (zlib: over 20 ms, the most of a class map's export); this finds the runs a machine word
// at a time and writes a few bits a run, for files about the size of zlib's. The checksum is
// summed a run at a time too.
class RunDeflater
{
public:
    explicit RunDeflater(ChunkWriter &chunks) : chunks(chunks)
    {
        out.reserve(chunkBytes + 16);
        out.append(char(0x78)).append(char(0x01)); // deflate, 32K window, no dictionary
        writeCodes();
        for (int length = 3; length <= 258; ++length)
            matchCode[length] = codeOfMatch(length);
    }

    void add(const uchar *bytes, size_t count)
    {
        size_t at = 0;
        while (at < count) {
            if (runLength > 0 && bytes[at] == value) {
                // How far the run goes: a word at a time while it can.
                size_t end = at;
                const quint64 pattern = 0x0101010101010101ULL * value;
                while (end + 8 <= count) {
                    quint64 word;
                    std::memcpy(&word, bytes + end, 8);
                    if (word != pattern)
                        break;
                    end += 8;
                }
                while (end < count && bytes[end] == value)
                    ++end;
                runLength += end - at;
                at = end;
            } else {
                endRun();
                value = bytes[at++];
                runLength = 1;
            }
        }
    }

    bool failed() const { return broken; }

    bool finish()
    {
        endRun();
        put(symbols[256].bits, symbols[256].count); // end of block
        if (bits > 0)
            put(0, 8 - bits);
        const quint32 checksum = (b << 16) | a;
        out.append(char(checksum >> 24)).append(char(checksum >> 16));
        out.append(char(checksum >> 8)).append(char(checksum));
        flushChunk();
        return !broken;
    }

private:
    struct Code
    {
        quint32 bits;
        int count;
    };

    static constexpr int chunkBytes = 256 * 1024;
    static constexpr quint32 modulus = 65521; // Adler-32's

    // `count` bits of a Huffman code, which deflate writes from its highest bit.
    static quint32 reversed(quint32 code, int count)
    {
        quint32 result = 0;
        for (int i = 0; i < count; ++i)
            result |= ((code >> i) & 1) << (count - 1 - i);
        return result;
    }

    // The block's codes, the same for every mask: a copy of 258 bytes (a stretch of a long
    // run) takes one bit, each of the 227 first symbols (the values, class numbers among
    // them) nine, the other symbols ten; the one distance, one back, one bit.
    static int lengthOf(int symbol) { return symbol == 285 ? 1 : symbol < 227 ? 9 : 10; }

    // Deflate's canonical codes for `lengths`, each already turned to be written lowest
    // bit first.
    template <size_t N> static std::array<Code, N> canonical(const std::array<int, N> &lengths)
    {
        int counts[16] = {};
        for (int length : lengths)
            ++counts[length];
        counts[0] = 0;
        quint32 next[16] = {};
        quint32 code = 0;
        for (int bits = 1; bits < 16; ++bits) {
            code = (code + quint32(counts[bits - 1])) << 1;
            next[bits] = code;
        }
        std::array<Code, N> codes{};
        for (size_t symbol = 0; symbol < N; ++symbol)
            if (lengths[symbol] > 0)
                codes[symbol] = {reversed(next[lengths[symbol]]++, lengths[symbol]),
                                 lengths[symbol]};
        return codes;
    }

    // The block header: last block, dynamic codes, and the code lengths above, themselves
    // written with a code of their own (1 bit for length 1, 2 for lengths 9 and 10).
    void writeCodes()
    {
        put(1, 1); // the last block ...
        put(2, 2); // ... with codes of its own
        put(286 - 257, 5);
        put(1 - 1, 5);
        std::array<int, 19> lengthLengths{};
        lengthLengths[1] = 1;
        lengthLengths[9] = 2;
        lengthLengths[10] = 2;
        static const int order[] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1};
        put(18 - 4, 4);
        for (int symbol : order)
            put(quint32(lengthLengths[size_t(symbol)]), 3);
        const std::array<Code, 19> lengthCodes = canonical(lengthLengths);
        std::array<int, 286> lengths{};
        for (int symbol = 0; symbol < 286; ++symbol) {
            lengths[size_t(symbol)] = lengthOf(symbol);
            const Code &code = lengthCodes[size_t(lengthOf(symbol))];
            put(code.bits, code.count);
        }
        const Code &oneBit = lengthCodes[1];
        put(oneBit.bits, oneBit.count); // the distance code's length: 1
        symbols = canonical(lengths);
    }

    Code literal(uchar byte) const { return symbols[byte]; }

    // A copy of `length` bytes from one back: its length code and extra bits, then the
    // distance code (one bit, 0).
    Code codeOfMatch(int length) const
    {
        static const int bases[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const int extras[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        int index = 28;
        while (bases[index] > length)
            --index;
        Code code = symbols[size_t(257 + index)];
        code.bits |= quint32(length - bases[index]) << code.count;
        code.count += extras[index] + 1;
        return code;
    }

    void put(quint32 value, int count)
    {
        pending |= quint64(value) << bits;
        bits += count;
        while (bits >= 8) {
            out.append(char(pending & 0xff));
            pending >>= 8;
            bits -= 8;
        }
        if (out.size() >= chunkBytes)
            flushChunk();
    }

    void flushChunk()
    {
        if (!out.isEmpty() && !chunks.write("IDAT", out))
            broken = true;
        out.clear();
    }

    void endRun()
    {
        if (runLength == 0)
            return;
        // Adler-32 of the run at once: each byte adds the value to a, and a to b.
        const quint64 n = runLength;
        const quint64 triangle = ((n % modulus) * ((n + 1) % modulus) % modulus) *
                                 ((modulus + 1) / 2) % modulus; // n(n+1)/2
        b = quint32((b + (n % modulus) * a + value * triangle) % modulus);
        a = quint32((a + (n % modulus) * value) % modulus);

        const Code first = literal(value);
        put(first.bits, first.count);
        quint64 left = runLength - 1;
        const Code longest = matchCode[258];
        for (; left >= 258; left -= 258)
            put(longest.bits, longest.count);
        if (left >= 3) {
            put(matchCode[left].bits, matchCode[left].count);
        } else {
            for (; left > 0; --left)
                put(first.bits, first.count);
        }
        runLength = 0;
    }

    ChunkWriter &chunks;
    QByteArray out;
    quint64 pending = 0;
    int bits = 0;
    bool broken = false;
    uchar value = 0;
    quint64 runLength = 0;
    quint32 a = 1, b = 0;
    std::array<Code, 286> symbols{};
    Code matchCode[259] = {};
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

    RunDeflater deflater(chunks);
    const int width = image.width();
    const int height = image.height();
    const uchar none = 0; // each row's filter byte
    for (int y = 0; y < height; ++y) {
        deflater.add(&none, 1);
        deflater.add(image.constScanLine(y), size_t(width));
        if (deflater.failed())
            return false;
    }
    if (!deflater.finish())
        return false;
    return chunks.write("IEND", QByteArray());
}

} // namespace RunsWriter
