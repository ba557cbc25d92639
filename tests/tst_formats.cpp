// The picture formats beyond PNG, JPEG and BMP: opened, listed, their headers read, their
// masks written as PNG, damaged files refused, and 16-bit pictures shown at full range.

#include "files/maskfile.h"
#include "files/picturefile.h"
#include "folder/picturefolder.h"
#include "folder/savetarget.h"
#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

class TestFormats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        QVERIFY(showNewWindow(window, probe));
    }
    void cleanup()
    {
        probe.reset();
        window.reset();
    }

    void eachFormat_data()
    {
        QTest::addColumn<QString>("suffix");
        for (const char *suffix : {"webp", "tif", "tiff", "avif", "heic", "heif", "jxl"})
            QTest::newRow(suffix) << QString::fromLatin1(suffix);
    }
    // Opened, listed, its size read from the header, its mask saved as PNG and read back;
    // a damaged copy is refused and the picture shown stays.
    void eachFormat()
    {
        QFETCH(QString, suffix);
        if (!QImageWriter::supportedImageFormats().contains(suffix.toLatin1()))
            QSKIP("no plugin writes this format here");
        const QString picture = dir->filePath(QStringLiteral("frame.") + suffix);
        QImageWriter writer(picture);
        writer.setQuality(90);
        QVERIFY2(writer.write(TestSupport::makePicture(96, 64)), qPrintable(writer.errorString()));
        QVERIFY(PictureFile::hasPictureSuffix(picture));
        QCOMPARE(PictureFile::footprintOf(picture).size, QSize(96, 64));
        QCOMPARE(PictureFolder::read(dir->path()).size(), 1);
        QCOMPARE(MaskFile::pathFor(picture), dir->filePath(QStringLiteral("frame_mask.png")));

        window->openPicture(picture);
        VelmoraView &view = *probe->view();
        QCOMPARE(view.getImagePath(), picture);
        QCOMPARE(view.pictureSize(), QSize(96, 64));
        view.setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(view, QPointF(10, 10), QPointF(40, 30));
        probe->quietSaveAction()->setChecked(true);
        probe->saveMask();
        QVERIFY(!view.isModified());
        const QString maskPath = dir->filePath(QStringLiteral("frame_mask.png"));
        QCOMPARE(QImageReader(maskPath).format(), QByteArray("png"));
        QCOMPARE(PictureFolder::read(dir->path()).size(), 1); // the mask is no picture
        const int painted = TestSupport::maskedPixels(VelmoraViewProbe::mask(view));
        window->openPicture(picture);
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*probe->view())), painted);

        QFile whole(picture);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        const QString damaged = dir->filePath(QStringLiteral("damaged.") + suffix);
        QFile part(damaged);
        QVERIFY(part.open(QIODevice::WriteOnly));
        part.write(bytes.left(bytes.size() / 3));
        part.close();
        window->openPicture(damaged);
        QCOMPARE(probe->view()->getImagePath(), picture);
        QCOMPARE(probe->statusLabel()->text(), QStringLiteral("无法加载: ") + damaged);
    }

    // Big pictures are decoded into memory of our own (in huge pages where the system has
    // them): every format and depth must come out exactly as Qt's decoder gives it, and a
    // truncated file must be refused or taken as Qt does.
    void bigPicturesDecodeAsQtDoes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format");
        const QImage::Format rgb = QImage::Format_RGB32;
        for (const char *name : {"rgb.png", "rgb.jpg", "rgb.bmp", "rgb.webp", "rgb.tif"})
            QTest::newRow(name) << QString::fromLatin1(name) << int(rgb);
        QTest::newRow("alpha.png") << QStringLiteral("alpha.png") << int(QImage::Format_ARGB32);
        QTest::newRow("grey.png") << QStringLiteral("grey.png") << int(QImage::Format_Grayscale8);
        QTest::newRow("grey16.png")
            << QStringLiteral("grey16.png") << int(QImage::Format_Grayscale16);
        QTest::newRow("indexed.png")
            << QStringLiteral("indexed.png") << int(QImage::Format_Indexed8);
        QTest::newRow("mono.png") << QStringLiteral("mono.png") << int(QImage::Format_Mono);
    }
    void bigPicturesDecodeAsQtDoes()
    {
        QFETCH(QString, name);
        QFETCH(int, format);
        const QString path = dir->filePath(name);
        if (!QImageWriter::supportedImageFormats().contains(QFileInfo(path).suffix().toLatin1()))
            QSKIP("no plugin writes this format here");
        QImage source = TestSupport::makePicture(2000, 1500);
        if (format == QImage::Format_ARGB32)
            source = source.convertToFormat(QImage::Format_ARGB32);
        else if (format != QImage::Format_RGB32)
            source = source.convertToFormat(QImage::Format(format), Qt::ThresholdDither);
        QVERIFY(source.save(path));
        const QImage expected = QImageReader(path).read();
        QVERIFY(!expected.isNull());
        QCOMPARE(PictureFile::read(path), expected);

        QFile whole(path);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        const QString cut = dir->filePath(QStringLiteral("cut.") + QFileInfo(path).suffix());
        QFile part(cut);
        QVERIFY(part.open(QIODevice::WriteOnly));
        part.write(bytes.left(bytes.size() / 2));
        part.close();
        // Qt takes a BMP cut short and leaves its missing rows as the memory was: such a
        // file is refused, never half shown. Other cut files are refused or taken as Qt does.
        const QImage ours = PictureFile::read(cut);
        const QImage qts = QImageReader(cut).read();
        if (cut.endsWith(QLatin1String(".bmp"))) {
            QVERIFY(ours.isNull());
            QVERIFY(PictureFile::readWithMask(cut).isNull());
            // Nor is a mask file cut short read as a mask.
            QVERIFY(QFile::rename(cut, MaskFile::pathFor(path)));
            QCOMPARE(PictureFile::readWithMask(path).maskReading.status,
                     MaskFile::ReadStatus::Undecodable);
        } else {
            QCOMPARE(ours.isNull(), qts.isNull());
            QCOMPARE(ours.size(), qts.size());
        }
    }

    void sixteenBitPicturesShowTheirFullRange_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::newRow("grey") << QImage::Format_Grayscale16;
        QTest::newRow("RGB") << QImage::Format_RGBX64;
    }
    // A 12-bit scan in a 16-bit file (levels 1000 to 3520) shows from black to white.
    void sixteenBitPicturesShowTheirFullRange()
    {
        QFETCH(QImage::Format, format);
        QImage wide(64, 8, format);
        for (int y = 0; y < 8; ++y) {
            auto *row = reinterpret_cast<quint16 *>(wide.scanLine(y));
            for (int x = 0; x < 64; ++x) {
                const quint16 level = quint16(1000 + x * 40);
                if (format == QImage::Format_Grayscale16)
                    row[x] = level;
                else
                    for (int c = 0; c < 4; ++c)
                        row[4 * x + c] = c == 3 ? 0xffff : (c == 1 ? level : 1000);
            }
        }
        const QString picture = dir->filePath(QStringLiteral("scan.tif"));
        QVERIFY(wide.save(picture));
        window->openPicture(picture);
        const QImage &shown = VelmoraViewProbe::picture(*probe->view());
        QCOMPARE(qGreen(shown.pixel(0, 0)), 0);
        QCOMPARE(qGreen(shown.pixel(63, 0)), 255);
        QVERIFY(qAbs(qGreen(shown.pixel(32, 0)) - 129) <= 1);
        if (format != QImage::Format_Grayscale16)
            QCOMPARE(qRed(shown.pixel(63, 0)), 0); // the darkest level of all channels
    }

    // A CMYK TIFF (as print workflows make them) shows in its colours.
    void cmykTiff()
    {
        const int width = 8, height = 4;
        // Little-endian TIFF: header, pixel data, the BitsPerSample values, then one IFD.
        QByteArray tiff("II*\0", 4);
        const auto u16 = [&](int v) {
            tiff.append(char(v & 0xff)).append(char(v >> 8));
        };
        const auto u32 = [&](quint32 v) {
            u16(int(v & 0xffff));
            u16(int(v >> 16));
        };
        const quint32 pixels = 8, bits = pixels + width * height * 4, ifd = bits + 8;
        u32(ifd);
        for (int i = 0; i < width * height; ++i)
            tiff.append(QByteArray("\x00\xff\xff\x00", 4)); // C 0, M 255, Y 255, K 0: red
        for (int i = 0; i < 4; ++i)
            u16(8);
        const QVector<QVector<quint32>> tags{{256, 3, 1, quint32(width)},
                                             {257, 3, 1, quint32(height)},
                                             {258, 3, 4, bits},
                                             {259, 3, 1, 1},
                                             {262, 3, 1, 5}, // separated: CMYK
                                             {273, 4, 1, pixels},
                                             {277, 3, 1, 4},
                                             {278, 3, 1, quint32(height)},
                                             {279, 4, 1, quint32(width * height * 4)},
                                             {284, 3, 1, 1},
                                             {332, 3, 1, 1}}; // ink set: CMYK
        u16(tags.size());
        for (const QVector<quint32> &tag : tags) {
            u16(int(tag[0]));
            u16(int(tag[1]));
            u32(tag[2]);
            if (tag[1] == 3 && tag[2] == 1) {
                u16(int(tag[3]));
                u16(0);
            } else {
                u32(tag[3]);
            }
        }
        u32(0);
        const QString picture = dir->filePath(QStringLiteral("print.tif"));
        QFile file(picture);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(tiff);
        file.close();
        window->openPicture(picture);
        QCOMPARE(probe->view()->pictureSize(), QSize(width, height));
        const QRgb shown = VelmoraViewProbe::picture(*probe->view()).pixel(2, 2);
        QVERIFY2(qRed(shown) > 200 && qGreen(shown) < 50 && qBlue(shown) < 50,
                 qPrintable(QString::number(shown, 16)));
    }

    // cat.png and cat.webp would share cat_mask.png: it stays cat.png's.
    void aNameInTwoFormatsKeepsItsMask()
    {
        QVERIFY(TestSupport::makePicture(96, 64).save(dir->filePath(QStringLiteral("cat.png"))));
        const QString webp = dir->filePath(QStringLiteral("cat.webp"));
        QVERIFY(TestSupport::makePicture(96, 64).save(webp));
        window->openPicture(webp);
        probe->view()->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*probe->view(), QPointF(10, 10), QPointF(40, 30));
        probe->quietSaveAction()->setChecked(true);
        TestSupport::BoxAnswerer boxes({QMessageBox::Ok});
        probe->saveMask();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().title, QStringLiteral("不能覆盖其他掩膜"));
        QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("cat_mask.png"))));
        QVERIFY(probe->view()->isModified());
        // The picture of the mask's own format saves it.
        const QString png = dir->filePath(QStringLiteral("cat.png"));
        QVERIFY(SaveTarget::check(MaskFile::pathFor(png), png).kind == SaveTarget::Kind::Free);

        // Once saved, it is cat.png's alone: cat.webp opens without it, and the folder does
        // not count cat.webp as done.
        QImage saved(96, 64, QImage::Format_Grayscale8);
        saved.fill(255);
        QVERIFY(saved.save(MaskFile::pathFor(png)));
        probe->view()->undo();
        QVERIFY(!probe->view()->isModified());
        window->openPicture(png);
        QCOMPARE(probe->view()->getImagePath(), png);
        QVERIFY(TestSupport::maskedPixels(VelmoraViewProbe::mask(*probe->view())) > 0);
        window->openPicture(webp);
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*probe->view())), 0);
        for (const FolderEntry &entry : PictureFolder::read(dir->path()))
            if (entry.name.startsWith(QLatin1String("cat.")))
                QCOMPARE(entry.hasMask, entry.name == QLatin1String("cat.png"));
    }

    // The open dialog offers every format at once first.
    void filterListsEveryFormat()
    {
        const QString all =
            PictureFile::filterOf(QStringLiteral("所有图片"), PictureFile::pictureSuffixes());
        for (const char *suffix : {"*.png", "*.jpg", "*.bmp", "*.webp", "*.tif", "*.heic"})
            QVERIFY2(all.contains(QLatin1String(suffix)), suffix);
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
};

QTEST_MAIN(TestFormats)
#include "tst_formats.moc"
