// Files that are not what they seem: a disk that fills up during a save, and fifos or
// devices where a picture or a mask file should be.

#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QLabel>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

// A pixel inside the mask, as QImage::pixel() reads the one-byte layer.
constexpr QRgb inside = 0xFF000000u;
// QSaveFile keeps this much in its buffer; a file that fits is written only by commit().
constexpr int saveFileBuffer = 16 * 1024;

using TestSupport::contents;

// Makes a fifo or a link to an endless device at `path`.
bool makeOddEntry(const QString &kind, const QString &path)
{
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
    return QFile::link(QStringLiteral("/dev/zero"), path);
}

bool devZeroIntact()
{
    struct stat info
    {
    };
    return ::stat("/dev/zero", &info) == 0 && S_ISCHR(info.st_mode);
}

} // namespace

class TestBadFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(logDir.isValid());
    }

    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        browserLog = logDir.filePath(QStringLiteral("browser-%1.log").arg(++logCount));
        qputenv("VELMORA_BROWSER_LOG", browserLog.toLocal8Bit());
        QVERIFY(showNewWindow(window, probe));
    }
    void cleanup()
    {
        probe.reset();
        window.reset();
        qunsetenv("VELMORA_BROWSER_LOG");
    }

    void fullDiskKeepsTheOldMask_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("maskName");
        QTest::addColumn<bool>("large");
        QTest::newRow("png, a few strokes") << "cat.png"
                                            << "cat_mask.png" << false;
        QTest::newRow("png, large") << "cat.png"
                                    << "cat_mask.png" << true;
        QTest::newRow("jpeg, a few strokes") << "photo.jpg"
                                             << "photo_mask.jpg" << false;
        QTest::newRow("jpeg, large") << "photo.jpg"
                                     << "photo_mask.jpg" << true;
        QTest::newRow("bmp, a few strokes") << "scan.bmp"
                                            << "scan_mask.bmp" << false;
        QTest::newRow("bmp, large") << "scan.bmp"
                                    << "scan_mask.bmp" << true;
    }
    void fullDiskKeepsTheOldMask()
    {
        QFETCH(QString, name);
        QFETCH(QString, maskName);
        QFETCH(bool, large);
        const QSize size = large ? QSize(640, 480) : QSize(60, 40);
        const QString picture = dir->filePath(name);
        QVERIFY(TestSupport::makePicture(size.width(), size.height()).save(picture));
        window->openPicture(picture);
        QCOMPARE(probe->view()->getImagePath(), picture);
        QImage &mask = VelmoraViewProbe::mutableMask(*probe->view());
        if (large) {
            // Noise compresses badly, so the encoded file is far beyond the save buffer.
            QRandomGenerator noise(7);
            for (int y = 0; y < size.height(); ++y) {
                uchar *row = mask.scanLine(y);
                for (int x = 0; x < size.width(); ++x)
                    row[x] = noise.bounded(2) ? MaskFile::layerInside : 0;
            }
        } else {
            for (int y = 10; y < 20; ++y)
                for (int x = 5; x < 50; ++x)
                    mask.setPixel(x, y, inside);
        }
        QByteArray encoded;
        QBuffer buffer(&encoded);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(QImageWriter(&buffer, QFileInfo(name).suffix().toLatin1())
                    .write(probe->view()->exportMask()));
        QCOMPARE(encoded.size() > saveFileBuffer, large);

        const QString maskPath = dir->filePath(maskName);
        QFile old(maskPath);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray("an older mask the user cares about").repeated(40));
        old.close();
        const QByteArray oldBytes = contents(maskPath);

        {
            // The old file came after the picture was opened: 覆盖, then the disk fills up.
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Ok});
            TestSupport::withFileSizeLimit(encoded.size() / 2, [&] { probe->saveMask(); });
            QCOMPARE(boxes.seen.size(), 3);
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("掩膜文件已被修改"));
            QCOMPARE(boxes.seen.at(2).title, QStringLiteral("错误"));
            QCOMPARE(boxes.seen.at(2).text, QStringLiteral("保存失败，请检查权限！"));
        }
        QCOMPARE(contents(maskPath), oldBytes);
        QStringList expected{name, maskName}; // no temporary file left beside them
        expected.sort();
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
        QTest::qWait(100);
        QVERIFY(!QFile::exists(browserLog));

        // With room on the disk again the same save goes through.
        TestSupport::BoxAnswerer again({QMessageBox::Yes, QMessageBox::Ok});
        probe->saveMask();
        QCOMPARE(again.seen.size(), 2);
        QCOMPARE(again.seen.at(1).title, QStringLiteral("成功"));
        QCOMPARE(QImage(maskPath).size(), size);
    }

    void oddEntryInThePicturesPlace_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("link to /dev/zero") << "device";
    }
    void oddEntryInThePicturesPlace()
    {
        QFETCH(QString, kind);
        const QString good = dir->filePath(QStringLiteral("good.png"));
        QVERIFY(TestSupport::makePicture(40, 30).save(good));
        window->openPicture(good);
        QCOMPARE(probe->view()->getImagePath(), good);
        VelmoraViewProbe::mutableMask(*probe->view()).setPixel(3, 3, inside);
        const QString odd = dir->filePath(QStringLiteral("odd.png"));
        QVERIFY(makeOddEntry(kind, odd));

        TestSupport::FailIfStuck guard(20);
        TestSupport::answerFileDialog(odd);
        probe->openImage();
        QCOMPARE(probe->statusLabel()->text(), QStringLiteral("无法加载: ") + odd);
        QCOMPARE(probe->view()->getImagePath(), good);
        QCOMPARE(VelmoraViewProbe::mask(*probe->view()).pixel(3, 3), inside);
    }

    void oddEntryInTheMasksPlace_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("link to /dev/zero") << "device";
    }
    void oddEntryInTheMasksPlace()
    {
        QFETCH(QString, kind);
        const QString picture = dir->filePath(QStringLiteral("cat.png"));
        QVERIFY(TestSupport::makePicture(40, 30).save(picture));
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        QVERIFY(makeOddEntry(kind, maskPath));
        TestSupport::FailIfStuck guard(20);

        // Opening reads it as no mask at all.
        window->openPicture(picture);
        QCOMPARE(probe->view()->getImagePath(), picture);
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*probe->view())), 0);

        // A mask is not written into it, nor through it into the device.
        VelmoraViewProbe::mutableMask(*probe->view()).setPixel(3, 3, inside);
        {
            // It was never read: the save asks first, and once agreed, fails calmly.
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 3);
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("掩膜文件未能读取"));
            QCOMPARE(boxes.seen.at(2).title, QStringLiteral("错误"));
            QCOMPARE(boxes.seen.at(2).text, QStringLiteral("保存失败，请检查权限！"));
        }
        QVERIFY(QFileInfo(maskPath).exists() && !QFileInfo(maskPath).isFile());
        QVERIFY(devZeroIntact());

        // An empty mask removes the entry, as it would an old mask file.
        probe->view()->clearMask();
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).text,
                     QStringLiteral("掩膜为空，已删除旧的掩膜文件:\n") + maskPath);
        }
        QVERIFY(!QFileInfo(maskPath).exists() && !QFileInfo(maskPath).isSymLink());
        QVERIFY(devZeroIntact());
    }

private:
    QTemporaryDir logDir;
    int logCount = 0;
    std::unique_ptr<QTemporaryDir> dir;
    QString browserLog;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
};

QTEST_MAIN(TestBadFiles)
#include "tst_badfiles.moc"
