// The mask file: its name beside the picture, reading it into the mask layer, exporting.

#include "files/maskfile.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A pixel inside the mask, as QImage::pixel() reads the one-byte layer.
constexpr QRgb inside = 0xFF000000u;

// What reading a file must give: each pixel judged by QImage::pixel() and qGray.
QImage expectedMask(const QImage &file)
{
    QImage mask(file.size(), MaskFile::layerFormat);
    mask.fill(Qt::transparent);
    for (int y = 0; y < file.height(); ++y)
        for (int x = 0; x < file.width(); ++x)
            if (qGray(file.pixel(x, y)) > 128)
                mask.setPixel(x, y, inside);
    return mask;
}

QImage readMask(const QString &path, QSize size)
{
    QImage mask(size, MaskFile::layerFormat);
    mask.fill(0x12345678u); // whatever was there must go
    MaskFile::readInto(path, mask);
    return mask;
}

// Colours around the threshold and across the range, repeated over the picture.
QImage varied(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    quint32 seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int g = 120 + int((seed >> 16) % 17); // 120 to 136, around 128
            const QRgb around = qRgba(g, g, g, int((seed >> 8) & 0xff));
            const QRgb any = qRgba(int(seed >> 24), int((seed >> 16) & 0xff),
                                   int((seed >> 4) & 0xff), int((seed >> 12) & 0xff));
            image.setPixel(x, y, (x + y) % 3 ? around : any);
        }
    }
    return image;
}

} // namespace

class TestMaskFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void maskPathIsBuiltFromThePictureName_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("mask");
        QTest::newRow("png") << "/img/cat.png"
                             << "/img/cat_mask.png";
        QTest::newRow("two dots") << "/img/cat.left.png"
                                  << "/img/cat.left_mask.png";
        QTest::newRow("upper-case suffix") << "/img/CAT.PNG"
                                           << "/img/CAT_mask.PNG";
        QTest::newRow("jpeg") << "/img/cat.jpeg"
                              << "/img/cat_mask.jpeg";
        QTest::newRow("spaces, Chinese, %1") << "/my pics/%1 猫 %2.bmp"
                                             << "/my pics/%1 猫 %2_mask.bmp";
        QTest::newRow("relative") << "rel/dog.jpg" << QDir::currentPath() + "/rel/dog_mask.jpg";
    }
    void maskPathIsBuiltFromThePictureName()
    {
        QFETCH(QString, picture);
        QFETCH(QString, mask);
        QCOMPARE(MaskFile::pathFor(picture), mask);
    }

    void greyLevelAbove128IsInside()
    {
        // qGray: (11 r + 16 g + 5 b) / 32.
        const QList<QPair<QRgb, bool>> cases = {
            {qRgb(128, 128, 128), false}, {qRgb(129, 129, 129), true}, {qRgb(255, 255, 255), true},
            {qRgb(255, 0, 0), false},     {qRgb(0, 255, 0), false},    {qRgb(0, 0, 255), false},
            {qRgb(255, 255, 0), true},    {qRgb(0, 0, 0), false},
        };
        QImage file(cases.size(), 1, QImage::Format_RGB32);
        for (int i = 0; i < cases.size(); ++i)
            file.setPixel(i, 0, cases.at(i).first);
        const QString path = dir.filePath(QStringLiteral("grey.png"));
        QVERIFY(file.save(path));
        const QImage mask = readMask(path, file.size());
        for (int i = 0; i < cases.size(); ++i)
            QCOMPARE(mask.pixel(i, 0), cases.at(i).second ? inside : 0u);
    }

    // Decoders hand out many formats; every one must read as pixel() would see it.
    void everyDecodedFormatReadsLikePixel_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format");
        QTest::newRow("png argb32") << "a.png" << int(QImage::Format_ARGB32);
        QTest::newRow("png rgb32") << "b.png" << int(QImage::Format_RGB32);
        QTest::newRow("png grey") << "c.png" << int(QImage::Format_Grayscale8);
        QTest::newRow("png indexed") << "d.png" << int(QImage::Format_Indexed8);
        QTest::newRow("png mono") << "e.png" << int(QImage::Format_Mono);
        QTest::newRow("png 16-bit") << "f.png" << int(QImage::Format_RGBA64);
        QTest::newRow("png 16-bit grey") << "g.png" << int(QImage::Format_Grayscale16);
        QTest::newRow("png rgba8888") << "m.png" << int(QImage::Format_RGBA8888);
        QTest::newRow("png rgb888") << "n.png" << int(QImage::Format_RGB888);
        QTest::newRow("bmp rgb") << "h.bmp" << int(QImage::Format_RGB32);
        QTest::newRow("bmp indexed") << "i.bmp" << int(QImage::Format_Indexed8);
        QTest::newRow("bmp mono") << "j.bmp" << int(QImage::Format_Mono);
        QTest::newRow("jpeg colour") << "k.jpg" << int(QImage::Format_RGB32);
        QTest::newRow("jpeg grey") << "l.jpg" << int(QImage::Format_Grayscale8);
    }
    void everyDecodedFormatReadsLikePixel()
    {
        QFETCH(QString, name);
        QFETCH(int, format);
        const QImage source = varied(61, 37).convertToFormat(QImage::Format(format),
                                                             Qt::ThresholdDither | Qt::AvoidDither);
        const QString path = dir.filePath(name);
        QVERIFY(source.save(path));
        const QImage decoded(path);
        QVERIFY(!decoded.isNull());
        const QImage mask = readMask(path, decoded.size());
        QCOMPARE(mask, expectedMask(decoded));
    }

    void unusableFilesLeaveTheMaskEmpty_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("one pixel wider") << "wider";
        QTest::newRow("one pixel taller") << "taller";
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("zero bytes") << "empty";
        QTest::newRow("not an image") << "text";
        QTest::newRow("a folder") << "folder";
    }
    void unusableFilesLeaveTheMaskEmpty()
    {
        QFETCH(QString, kind);
        QTemporaryDir here;
        const QString path = here.filePath(QStringLiteral("m_mask.png"));
        QImage white(20, 10, QImage::Format_Grayscale8);
        white.fill(255);
        if (kind == QLatin1String("wider")) {
            QVERIFY(QImage(21, 10, QImage::Format_Grayscale8).save(path));
        } else if (kind == QLatin1String("taller")) {
            QImage taller(20, 11, QImage::Format_Grayscale8);
            taller.fill(255);
            QVERIFY(taller.save(path));
        } else if (kind == QLatin1String("truncated")) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(white.save(&buffer, "PNG"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes.left(bytes.size() / 2));
        } else if (kind == QLatin1String("empty")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (kind == QLatin1String("text")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("this is not a picture\n");
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir(here.path()).mkdir(QStringLiteral("m_mask.png")));
        }
        const QImage mask = readMask(path, white.size());
        QImage transparent(white.size(), MaskFile::layerFormat);
        transparent.fill(Qt::transparent);
        QCOMPARE(mask, transparent);
    }

#ifdef Q_OS_LINUX
    // A 16-bit grey file is converted before reading; without memory for that the mask
    // stays empty instead of being read from a null image.
    void noMemoryForConvertingLeavesTheMaskEmpty()
    {
        QImage source(2000, 1500, QImage::Format_Grayscale16);
        source.fill(Qt::white);
        const QString path = dir.filePath(QStringLiteral("deep_mask.png"));
        QVERIFY(source.save(path));
        QImage mask(source.size(), MaskFile::layerFormat);
        mask.fill(0x12345678u);
        MaskFile::Reading reading;
        TestSupport::withMemoryLeft(8 * 1024 * 1024,
                                    [&] { reading = MaskFile::readInto(path, mask); });
        // Remembered as a file that is there and was not read, so no save takes it for empty.
        QCOMPARE(reading.status, MaskFile::ReadStatus::NoMemory);
        QVERIFY(reading.stamp.exists);
        QImage transparent(source.size(), MaskFile::layerFormat);
        transparent.fill(Qt::transparent);
        QCOMPARE(mask, transparent);
    }
#endif

    void exportMarksEveryPixelWithAlpha()
    {
        QVERIFY(MaskFile::toGray(QImage()).isNull());
        QImage mask(5, 3, MaskFile::layerFormat);
        mask.fill(Qt::transparent);
        mask.setPixel(0, 0, 0x01FF0000u); // a faint stroke edge
        mask.setPixel(4, 2, 0xFFFF0000u);
        mask.setPixel(2, 1, 0x00FFFFFFu); // colour without alpha stays outside
        const QImage gray = MaskFile::toGray(mask);
        QCOMPARE(gray.format(), QImage::Format_Grayscale8);
        QCOMPARE(gray.size(), mask.size());
        int in = 0;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const int v = gray.constScanLine(y)[x];
                QVERIFY(v == 0 || v == 255);
                in += v == 255;
            }
        QCOMPARE(in, 2);
        QCOMPARE(int(gray.constScanLine(0)[0]), 255);
        QCOMPARE(int(gray.constScanLine(2)[4]), 255);
        QVERIFY(!MaskFile::isEmpty(gray));

        mask.fill(Qt::transparent);
        QVERIFY(MaskFile::isEmpty(MaskFile::toGray(mask)));
    }

    void savedMaskReadsBackAsTheSamePixels()
    {
        QImage mask(33, 17, MaskFile::layerFormat);
        mask.fill(Qt::transparent);
        for (int x = 3; x < 30; x += 2)
            mask.setPixel(x, x / 2, x % 4 ? 0x40FF0000u : 0xFFFF0000u);
        for (const char *suffix : {"png", "bmp"}) {
            const QString path = dir.filePath(QStringLiteral("round_mask.") + suffix);
            QVERIFY(MaskFile::write(MaskFile::toGray(mask), path));
            const QImage back = readMask(path, mask.size());
            QCOMPARE(MaskFile::toGray(back), MaskFile::toGray(mask));
        }
    }

    // The PNG writer: Qt's decoder must read back the very bytes and colours, through rows of
    // odd widths, long rows, translucent palettes and 16-bit samples (object numbers).
    void oneChannelPngsReadBackExactly_data()
    {
        QTest::addColumn<QImage>("image");
        const auto pattern = [](QImage image) {
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    image.scanLine(y)[x] = uchar((x / 7 + y * 3) % 5 == 0 ? 0 : (x ^ y) % 4);
            return image;
        };
        QTest::newRow("grey, odd width") << pattern(QImage(33, 17, QImage::Format_Grayscale8));
        QTest::newRow("grey, long rows") << pattern(QImage(300001, 3, QImage::Format_Grayscale8));
        QImage everyValue(256, 40, QImage::Format_Grayscale8);
        for (int y = 0; y < everyValue.height(); ++y)
            for (int x = 0; x < everyValue.width(); ++x)
                everyValue.scanLine(y)[x] = uchar(y < 20 ? x : (x / 9) * 9); // short, long runs
        QTest::newRow("grey, every value and run length") << everyValue;
        QImage palette = pattern(QImage(65, 9, QImage::Format_Indexed8));
        palette.setColorTable({qRgb(0, 0, 0), qRgb(128, 0, 0), qRgb(0, 128, 0), qRgb(1, 2, 3)});
        QTest::newRow("palette") << palette;
        QImage translucent = palette;
        translucent.setColor(0, qRgba(0, 0, 0, 0));
        QTest::newRow("translucent palette") << translucent;
        QImage wide(257, 31, QImage::Format_Grayscale16);
        for (int y = 0; y < wide.height(); ++y) {
            auto *row = reinterpret_cast<quint16 *>(wide.scanLine(y));
            for (int x = 0; x < wide.width(); ++x)
                row[x] = quint16(y < 10 ? x * 255 + y : (x / 16) * 4099); // both bytes vary
        }
        QTest::newRow("16-bit grey") << wide;
    }

    void oneChannelPngsReadBackExactly()
    {
        QFETCH(QImage, image);
        const QString path = dir.filePath(QStringLiteral("own_mask.png"));
        QVERIFY(MaskFile::write(image, path));
        const QImage back(path);
        QCOMPARE(back.size(), image.size());
        QCOMPARE(back.format(), image.format());
        for (int y = 0; y < image.height(); ++y)
            QVERIFY(memcmp(back.constScanLine(y), image.constScanLine(y),
                           size_t(image.width() * image.depth() / 8)) == 0);
        if (image.format() == QImage::Format_Indexed8)
            QCOMPARE(back.colorTable().mid(0, image.colorCount()), image.colorTable());

        // A disk that fills half-way leaves the file before it in place.
        const QByteArray before = TestSupport::contents(path);
        QImage big(3000, 3000, QImage::Format_Grayscale8);
        for (int y = 0; y < big.height(); ++y)
            for (int x = 0; x < big.width(); ++x)
                big.scanLine(y)[x] = uchar(x * 7 + y * 13);
        bool written = true;
        TestSupport::withFileSizeLimit(before.size() + 1000,
                                       [&] { written = MaskFile::write(big, path); });
        QVERIFY(!written);
        QCOMPARE(TestSupport::contents(path), before);
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(TestMaskFile)
#include "tst_maskfile.moc"
