// Masks that must not be lost: files that could not be read, files changed by another
// program, pictures that went away, memory that ran out, pictures too big to open, lossy
// JPEG masks, and unsaved work that outlives a killed process.

#include "recovery/recovery.h"
#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <cstring>

namespace {

using TestSupport::contents;
using TestSupport::pngAnnouncing;

const QString changedTitle = QStringLiteral("掩膜文件已被修改");
const QString unreadTitle = QStringLiteral("掩膜文件未能读取");

// A mask file: 255 in a band across the middle.
QImage bandMask(QSize size)
{
    QImage gray(size, QImage::Format_Grayscale8);
    gray.fill(0);
    for (int y = size.height() / 3; y < 2 * size.height() / 3; ++y)
        std::memset(gray.scanLine(y), 255, size_t(size.width()));
    return gray;
}

// Pixels of an 8-bit image that are neither 0 nor 255.
int greyLevels(const QImage &image)
{
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    int count = 0;
    for (int y = 0; y < gray.height(); ++y)
        for (int x = 0; x < gray.width(); ++x)
            count += gray.constScanLine(y)[x] != 0 && gray.constScanLine(y)[x] != 255;
    return count;
}

// A baseline JPEG of a few hundred bytes whose header announces `size`.
QByteArray jpegAnnouncing(QSize size)
{
    QImage small(64, 64, QImage::Format_RGB32);
    small.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpg").write(small);
    const int frame = bytes.indexOf("\xff\xc0");
    qToBigEndian(quint16(size.height()), bytes.data() + frame + 5);
    qToBigEndian(quint16(size.width()), bytes.data() + frame + 7);
    return bytes;
}

qint64 peakResidentBytes()
{
    for (const QByteArray &line : contents(QStringLiteral("/proc/self/status")).split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

} // namespace

class TestSafety : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(QStringLiteral("tst_safety"));
    }
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

    // A mask file that is there but not shown is never replaced or removed without asking.
    void unreadMaskFileIsKeptUntilTheUserAgrees_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<bool>("strokes");
        QTest::newRow("other size, strokes") << "size"
                                             << "掩膜文件未能读取（尺寸不符）" << true;
        QTest::newRow("other size, empty mask") << "size"
                                                << "掩膜文件未能读取（尺寸不符）" << false;
        QTest::newRow("damaged, strokes") << "damaged"
                                          << "掩膜文件未能读取（无法解码）" << true;
    }
    void unreadMaskFileIsKeptUntilTheUserAgrees()
    {
        QFETCH(QString, kind);
        QFETCH(QString, warning);
        QFETCH(bool, strokes);
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        if (kind == QLatin1String("size")) {
            QVERIFY(bandMask(QSize(160, 100)).save(maskPath));
        } else {
            QVERIFY(bandMask(QSize(80, 50)).save(maskPath));
            QFile file(maskPath);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.resize(file.size() / 2));
        }
        const QByteArray before = contents(maskPath);
        window->openPicture(cat);
        QCOMPARE(probe->view()->getImagePath(), cat);

        // Told at once, beside the usual status text and on the picture's row.
        QCOMPARE(probe->statusLabel()->text(), QStringLiteral("已加载: ") + cat);
        QVERIFY(probe->maskWarning()->isVisibleTo(window.get()));
        QCOMPARE(probe->maskWarning()->text(), warning);
        QListWidget *rows = probe->folderPanel()->findChild<QListWidget *>();
        QCOMPARE(rows->count(), 1);
        QVERIFY(rows->item(0)->text().contains(warning));
        QVERIFY(findLabel(QStringLiteral("已完成 0 / 1")));

        if (strokes)
            paint(QPointF(5, 5), QPointF(40, 20));
        // 保存掩膜 asks, and 取消 keeps the file and the strokes.
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Cancel});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).title, unreadTitle);
            QVERIFY(boxes.seen.at(1).text.contains(warning));
            QCOMPARE(boxes.seen.at(1).defaultButton, QStringLiteral("取消"));
            QCOMPARE(boxes.seen.at(1).buttonTexts.contains(QStringLiteral("删除")), !strokes);
        }
        QCOMPARE(contents(maskPath), before);
        QCOMPARE(probe->view()->isModified(), strokes);
        // So does the quiet save before leaving the picture.
        if (strokes) {
            TestSupport::BoxAnswerer boxes({QMessageBox::Save, QMessageBox::Cancel});
            QCloseEvent event;
            QApplication::sendEvent(window.get(), &event);
            QVERIFY(!event.isAccepted());
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).title, unreadTitle);
            QCOMPARE(contents(maskPath), before);
        }
        // Agreed to, the save goes through.
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 3);
            QCOMPARE(boxes.seen.at(2).title, QStringLiteral("成功"));
        }
        QCOMPARE(QFile::exists(maskPath), strokes);
        QVERIFY(!probe->maskWarning()->isVisibleTo(window.get()));
        QCOMPARE(rows->item(0)->text(), QStringLiteral("cat.png"));
    }

    // Pictures not opened yet: their masks' headers already tell which are of no use.
    void theListCountsOnlyMasksThatCanBeShown()
    {
        const QSize size(80, 50);
        for (const char *name : {"a.png", "b.png", "c.png"})
            QVERIFY(!picture(QString::fromLatin1(name), size).isEmpty());
        QVERIFY(bandMask(QSize(40, 25)).save(dir->filePath(QStringLiteral("a_mask.png"))));
        QFile damaged(dir->filePath(QStringLiteral("b_mask.png")));
        QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write("not a picture") > 0);
        damaged.close();
        QVERIFY(bandMask(size).save(dir->filePath(QStringLiteral("c_mask.png"))));
        window->openFolder(dir->path());
        QListWidget *rows = probe->folderPanel()->findChild<QListWidget *>();
        QTRY_VERIFY(findLabel(QStringLiteral("已完成 1 / 3")));
        QVERIFY(rows->item(0)->text().contains(QStringLiteral("掩膜文件未能读取（尺寸不符）")));
        QVERIFY(rows->item(1)->text().contains(QStringLiteral("掩膜文件未能读取（无法解码）")));
        QCOMPARE(rows->item(2)->text(), QStringLiteral("c.png"));
    }

    // Another program wrote the mask file after it was read, or made one where there was none.
    void aFileChangedBehindOurBackIsAskedAbout_data()
    {
        QTest::addColumn<bool>("hadMask");
        QTest::addColumn<bool>("strokes");
        QTest::newRow("replaced, strokes") << true << true;
        QTest::newRow("created, strokes") << false << true;
        QTest::newRow("created, nothing painted") << false << false;
    }
    void aFileChangedBehindOurBackIsAskedAbout()
    {
        QFETCH(bool, hadMask);
        QFETCH(bool, strokes);
        const QSize size(80, 50);
        const QString cat = picture(QStringLiteral("cat.png"), size);
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        if (hadMask)
            QVERIFY(bandMask(size).save(maskPath));
        window->openPicture(cat);
        if (strokes)
            paint(QPointF(5, 5), QPointF(40, 45));
        QImage theirs(size, QImage::Format_Grayscale8);
        theirs.fill(255);
        QVERIFY(theirs.save(maskPath)); // a colleague's save, in the same second
        const QByteArray theirBytes = contents(maskPath);

        const auto save = [&](QMessageBox::StandardButton answer) {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, answer, QMessageBox::Ok});
            probe->saveMask();
            return boxes.seen;
        };
        const QList<TestSupport::SeenBox> cancelled = save(QMessageBox::Cancel);
        QCOMPARE(cancelled.size(), 2);
        QCOMPARE(cancelled.at(1).title, changedTitle);
        QCOMPARE(cancelled.at(1).text,
                 maskPath + QStringLiteral(" 在打开后被其他程序修改过，覆盖会丢失那些修改。"));
        QCOMPARE(cancelled.at(1).escapeButton, QStringLiteral("取消"));
        QCOMPARE(contents(maskPath), theirBytes);
        QCOMPARE(probe->view()->isModified(), strokes);

        const QList<TestSupport::SeenBox> replaced = save(QMessageBox::Yes);
        QCOMPARE(replaced.size(), 3);
        QCOMPARE(replaced.at(2).title, QStringLiteral("成功"));
        QCOMPARE(QFile::exists(maskPath), strokes);
        if (strokes)
            QCOMPARE(QImage(maskPath).convertToFormat(QImage::Format_Grayscale8),
                     probe->view()->exportMask());
        QVERIFY(!probe->view()->isModified());
    }

    // While the picture is open: without unsaved strokes the mask follows the file.
    void aChangedFileIsReloadedWhenNothingIsUnsaved()
    {
        const QSize size(80, 50);
        const QString cat = picture(QStringLiteral("cat.png"), size);
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        window->openPicture(cat);
        QVERIFY(bandMask(size).save(maskPath));
        QTRY_COMPARE(probe->view()->exportMask(), bandMask(size));
        QVERIFY(!probe->view()->isModified());
        QVERIFY(findLabel(QStringLiteral("已完成 1 / 1")));

        // With strokes, the status bar says so and the mask stays as painted.
        paint(QPointF(5, 5), QPointF(40, 5));
        const QImage painted = probe->view()->exportMask();
        QVERIFY(QImage(size, QImage::Format_Grayscale8).save(maskPath));
        QTRY_VERIFY(
            window->statusBar()->currentMessage().contains(QStringLiteral("保存时会先询问")));
        QCOMPARE(probe->view()->exportMask(), painted);
    }

    void aPictureThatWentAwayIsNotSavedBeside_data()
    {
        QTest::addColumn<bool>("renamed");
        QTest::newRow("removed") << false;
        QTest::newRow("renamed") << true;
    }
    void aPictureThatWentAwayIsNotSavedBeside()
    {
        QFETCH(bool, renamed);
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        window->openPicture(cat);
        paint(QPointF(5, 5), QPointF(40, 20));
        if (renamed)
            QVERIFY(QFile::rename(cat, dir->filePath(QStringLiteral("kitten.png"))));
        else
            QVERIFY(QFile::remove(cat));
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("图片已不在"));
            QVERIFY(boxes.seen.at(1).text.contains(cat));
            QVERIFY(boxes.seen.at(1).text.contains(QStringLiteral("掩膜另存为…")));
        }
        QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("cat_mask.png"))));
        QVERIFY(probe->view()->isModified());

        // 掩膜另存为… writes where the user says, and the mask stays unsaved beside the picture.
        const QString chosen = dir->filePath(QStringLiteral("kept"));
        TestSupport::BoxAnswerer boxes({QMessageBox::Ok});
        TestSupport::answerFileDialog(chosen);
        probe->saveAsAction()->trigger();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.at(0).title, QStringLiteral("成功"));
        QCOMPARE(QImage(chosen + QStringLiteral(".png")), probe->view()->exportMask());
        QVERIFY(probe->view()->isModified());
    }

    // An export that could not be made (a null image) is a failed save, never an empty mask:
    // an empty one would remove the file beside the picture.
    void aMissingExportChangesNoFile_data()
    {
        QTest::addColumn<bool>("fileThere");
        QTest::newRow("an old mask file") << true;
        QTest::newRow("no mask file") << false;
    }
    void aMissingExportChangesNoFile()
    {
        QFETCH(bool, fileThere);
        const QString maskPath = dir->filePath(QStringLiteral("scan_mask.png"));
        if (fileThere)
            QVERIFY(bandMask(QSize(40, 30)).save(maskPath));
        const QByteArray before = contents(maskPath);
        QCOMPARE(MaskFile::store(QImage(), maskPath), MaskFile::StoreOutcome::WriteFailed);
        QVERIFY(!MaskFile::write(QImage(), maskPath));
        QCOMPARE(QFile::exists(maskPath), fileThere);
        QCOMPARE(contents(maskPath), before);
    }

    // The window's side of an export that ran out of memory: 保存掩膜, and closing with 保存
    // or with auto-save, each report the failure, keep the window and its strokes, and leave
    // the file beside the picture as it was.
    void aFailedExportIsReportedEverywhere_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("保存掩膜") << "save";
        QTest::newRow("closing, 保存") << "close";
        QTest::newRow("closing, auto-save") << "auto-save";
    }
    void aFailedExportIsReportedEverywhere()
    {
        QFETCH(QString, way);
        const QSize size(80, 50);
        const QString cat = picture(QStringLiteral("cat.png"), size);
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        QVERIFY(bandMask(size).save(maskPath));
        const QByteArray before = contents(maskPath);
        window->openPicture(cat);
        paint(QPointF(5, 5), QPointF(40, 20));
        // What the mask layer is when its memory could not be had: no 8-bit copy can be made.
        VelmoraViewProbe::mutableMask(*probe->view()) = QImage();
        QVERIFY(probe->view()->exportMask().isNull());

        QList<QMessageBox::StandardButton> answers{QMessageBox::Yes, QMessageBox::Ok};
        if (way == QLatin1String("close"))
            answers = {QMessageBox::Save, QMessageBox::Ok};
        if (way == QLatin1String("auto-save")) {
            probe->autoSaveAction()->setChecked(true);
            answers = {QMessageBox::Ok};
        }
        TestSupport::BoxAnswerer boxes(answers);
        QCloseEvent event;
        if (way == QLatin1String("save"))
            probe->saveMask();
        else
            QApplication::sendEvent(window.get(), &event);
        probe->autoSaveAction()->setChecked(false);
        QVERIFY(event.isAccepted() == (way == QLatin1String("save")));
        const TestSupport::SeenBox &failure = boxes.seen.last();
        QCOMPARE(failure.title, QStringLiteral("错误"));
        QVERIFY(failure.text.contains(QStringLiteral("内存不足")));
        QCOMPARE(contents(maskPath), before);
        QVERIFY(probe->view()->isModified());
        VelmoraViewProbe::mutableMask(*probe->view()) = QImage(size, MaskFile::layerFormat);
    }

    // The header is read first: billions of announced pixels are refused before decoding.
    void aPictureTooBigForMemoryIsRefusedBeforeDecoding_data()
    {
        QTest::addColumn<QSize>("announced");
        QTest::addColumn<bool>("refused");
        QTest::newRow("60000 x 60000") << QSize(60000, 60000) << true;
        QTest::newRow("a header that lies") << QSize(300, 200) << false;
    }
    void aPictureTooBigForMemoryIsRefusedBeforeDecoding()
    {
        QFETCH(QSize, announced);
        QFETCH(bool, refused);
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        window->openPicture(cat);
        const QString huge = dir->filePath(QStringLiteral("huge.png"));
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(pngAnnouncing(announced));
        file.close();

        const qint64 peak = peakResidentBytes();
        TestSupport::BoxAnswerer boxes({QMessageBox::Ok});
        TestSupport::withMemoryLeft(qint64(2) << 30, [&] { window->openPicture(huge); });
        QCOMPARE(probe->view()->getImagePath(), cat);
        QCOMPARE(boxes.seen.size(), refused ? 1 : 0);
        if (refused) {
            QCOMPARE(boxes.seen.first().title, QStringLiteral("图片太大"));
            QVERIFY(boxes.seen.first().text.contains(QStringLiteral("60000 × 60000")));
            // What was compared: the estimate (8 bytes a pixel) and an eighth more.
            const qint64 estimate = qint64(60000) * 60000 * 8;
            const QLocale locale;
            QVERIFY2(boxes.seen.first().text.contains(
                         locale.formattedDataSize(estimate + estimate / 8) +
                         QStringLiteral(" 内存（图片和掩膜 ") + locale.formattedDataSize(estimate)),
                     qPrintable(boxes.seen.first().text));
            QCOMPARE(probe->statusLabel()->text(), QStringLiteral("已加载: ") + cat);
        } else {
            QCOMPARE(probe->statusLabel()->text(), QStringLiteral("无法加载: ") + huge);
        }
        QVERIFY(peakResidentBytes() - peak < 64 * 1024 * 1024);
    }

    // JPEG's compression adds grey levels at a mask's edges; the best quality keeps them few.
    void jpegMasksStayNearlyBinary()
    {
        const QString photo = picture(QStringLiteral("LadyBird.jpg"), QSize(300, 200));
        window->openPicture(photo);
        probe->view()->setBrushSize(60);
        paint({QPointF(60, 60), QPointF(200, 140)});
        const QImage exported = probe->view()->exportMask();
        QByteArray atDefault;
        QBuffer buffer(&atDefault);
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(QImageWriter(&buffer, "jpg").write(exported));
        const int defaultLevels = greyLevels(QImage::fromData(atDefault, "jpg"));

        TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
        probe->saveMask();
        const int savedLevels =
            greyLevels(QImage(dir->filePath(QStringLiteral("LadyBird_mask.jpg"))));
        QVERIFY2(defaultLevels > 100, qPrintable(QString::number(defaultLevels)));
        QVERIFY2(savedLevels * 10 < defaultLevels,
                 qPrintable(QStringLiteral("%1 against %2").arg(savedLevels).arg(defaultLevels)));
    }

    // Unsaved work is copied to the data folder a few seconds after it changes, and the copy
    // goes when the work is saved, undone or discarded.
    void recoveryCopyFollowsUnsavedWork()
    {
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        const QString copy = probe->recovery()->fileFor(cat);
        window->openPicture(cat);
        VelmoraView *view = probe->view();
        paint(QPointF(5, 5), QPointF(40, 20));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy), 6000);
        QCOMPARE(Recovery::read(copy), view->exportMask());
        QVERIFY(!QFileInfo(copy).absolutePath().startsWith(dir->path()));

        view->undo(); // back to the mask on disk
        QVERIFY(!QFile::exists(copy));
        view->redo();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy), 6000);
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
        }
        QVERIFY(!QFile::exists(copy));

        paint(QPointF(5, 40), QPointF(40, 40));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy), 6000);
        TestSupport::BoxAnswerer boxes({QMessageBox::Discard});
        QVERIFY(window->close());
        QVERIFY(!QFile::exists(copy));
    }

    // Copies of pictures that are gone are kept a month, in case their folder comes back.
    void oldCopiesOfGonePicturesArePruned()
    {
        QTemporaryDir copies;
        const QString kept = picture(QStringLiteral("kept.png"), QSize(8, 6));
        const QString gone = picture(QStringLiteral("gone.png"), QSize(8, 6));
        const QString recent = picture(QStringLiteral("recent.png"), QSize(8, 6));
        QStringList files;
        {
            Recovery recovery(QStringList{copies.path()}, nullptr);
            recovery.setSource([] { return bandMask(QSize(8, 6)); });
            for (const QString &path : {kept, gone, recent}) {
                recovery.setPicture(path);
                QVERIFY(recovery.writeNow());
                files << recovery.fileFor(path);
            }
        }
        QVERIFY(QFile::remove(gone) && QFile::remove(recent));
        const QDateTime monthAgo = QDateTime::currentDateTimeUtc().addDays(-31);
        for (const QString &file : files.mid(0, 2)) {
            QFile copy(file);
            QVERIFY(copy.open(QIODevice::ReadWrite));
            QVERIFY(copy.setFileTime(monthAgo, QFileDevice::FileModificationTime));
        }
        Recovery pruning(QStringList{copies.path()}, nullptr);
        QVERIFY(QFile::exists(files.at(0)));  // its picture is there
        QVERIFY(!QFile::exists(files.at(1))); // gone for a month
        QVERIFY(QFile::exists(files.at(2)));  // gone, but recently
    }

    // A real editor process is killed (SIGKILL) or asked to end (SIGTERM) with unsaved
    // strokes; the next start offers them back, byte for byte.
    void unsavedWorkOutlivesTheProcess_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("maskWritten"); // by another program, after the end
        QTest::newRow("SIGKILL, 恢复") << int(SIGKILL) << "恢复" << false;
        QTest::newRow("SIGTERM, 恢复") << int(SIGTERM) << "恢复" << false;
        QTest::newRow("SIGKILL, 丢弃") << int(SIGKILL) << "丢弃" << false;
        QTest::newRow("SIGKILL, mask file written meanwhile, 恢复")
            << int(SIGKILL) << "恢复" << true;
    }
    void unsavedWorkOutlivesTheProcess()
    {
        QFETCH(int, signal);
        QFETCH(QString, answer);
        QFETCH(bool, maskWritten);
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        QProcess painter;
        painter.start(QStringLiteral(VELMORA_PAINTER), {cat});
        QVERIFY(painter.waitForReadyRead(20000));
        QCOMPARE(painter.readAllStandardOutput().trimmed(), QByteArray("painted"));
        if (signal == SIGKILL) // killed once the copy is there: no chance to write anything
            QTRY_VERIFY_WITH_TIMEOUT(copiesOnDisk(cat).size() == 1, 10000);
        ::kill(pid_t(painter.processId()), signal);
        QVERIFY(painter.waitForFinished(20000));
        if (signal == SIGTERM) {
            QCOMPARE(painter.exitStatus(), QProcess::NormalExit);
            QCOMPARE(painter.exitCode(), 0);
        }
        QCOMPARE(copiesOnDisk(cat).size(), 1);
        QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("cat_mask.png"))));
        const QImage written = bandMask(QSize(80, 50));
        if (maskWritten)
            QVERIFY(written.save(dir->filePath(QStringLiteral("cat_mask.png"))));

        const QImage expected(cat + QStringLiteral(".expected.png"));
        QVERIFY(!expected.isNull());
        TestSupport::BoxAnswerer boxes(
            {answer == QStringLiteral("恢复") ? QMessageBox::Yes : QMessageBox::Discard});
        window->openPicture(cat);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().title, QStringLiteral("恢复未保存的掩膜"));
        QVERIFY(boxes.seen.first().text.startsWith(QStringLiteral("cat.png 有未保存的修改（")));
        QCOMPARE(boxes.seen.first().defaultButton, QStringLiteral("恢复"));
        QCOMPARE(boxes.seen.first().text.contains(QStringLiteral("被其他程序改过")), maskWritten);
        if (answer == QStringLiteral("丢弃")) {
            QVERIFY(copiesOnDisk(cat).isEmpty());
            QVERIFY(!probe->view()->isModified());
            return;
        }
        QCOMPARE(probe->view()->exportMask(), expected.convertToFormat(QImage::Format_Grayscale8));
        QVERIFY(probe->view()->isModified());
        QVERIFY(window->windowTitle().startsWith(QStringLiteral("cat.png[*]")) &&
                window->isWindowModified());
        QCOMPARE(copiesOnDisk(cat).size(), 1); // the window's own now, the orphan gone
        probe->view()->undo();                 // back to the mask file
        if (maskWritten)
            QCOMPARE(probe->view()->exportMask(), written);
        else
            QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*probe->view())), 0);
    }

    // When no copy can be made anywhere, a request to end says on standard error whose
    // strokes are lost and ends with a failure status, so whatever asked can tell.
    void anEndWithoutProtectionSaysWhatIsLost()
    {
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        QTemporaryDir home;
        const QString runtime = home.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(runtime));
        QVERIFY(QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ExeOwner));
        // A file where each of the painter's recovery folders would be.
        for (const QString &folder :
             {home.filePath(QStringLiteral(".qttest/share/tst_safety/recovery")),
              runtime + QStringLiteral("/tst_safety-recovery")}) {
            QVERIFY(QDir().mkpath(QFileInfo(folder).absolutePath()));
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        QProcess painter;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        painter.setProcessEnvironment(environment);
        painter.start(QStringLiteral(VELMORA_PAINTER), {cat});
        QVERIFY(painter.waitForReadyRead(20000));
        ::kill(pid_t(painter.processId()), SIGTERM);
        QVERIFY(painter.waitForFinished(20000));
        QCOMPARE(painter.exitStatus(), QProcess::NormalExit);
        QCOMPARE(painter.exitCode(), 1);
        const QString said = QString::fromLocal8Bit(painter.readAllStandardError());
        QVERIFY2(said.contains(QStringLiteral("崩溃保护不可用")) && said.contains(cat),
                 qPrintable(said));
    }

    // A request to end while a huge picture is decoded ends the program at once: the decoder
    // is not waited for (a JPEG's goes on without reading once it began).
    void anEndDuringAHugeOpeningIsPrompt()
    {
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        const QString huge = dir->filePath(QStringLiteral("huge.jpg"));
        {
            QFile file(huge);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(jpegAnnouncing(QSize(30000, 30000)));
        }
        QProcess painter;
        painter.start(QStringLiteral(VELMORA_PAINTER), {cat, huge});
        QVERIFY(painter.waitForReadyRead(20000));
        QByteArray said = painter.readAllStandardOutput();
        while (!said.contains("opening") && painter.waitForReadyRead(20000))
            said += painter.readAllStandardOutput();
        QVERIFY2(said.contains("opening"), said.constData());
        QTest::qWait(500); // the decoder is at work
        QElapsedTimer ending;
        ending.start();
        ::kill(pid_t(painter.processId()), SIGTERM);
        QVERIFY(painter.waitForFinished(20000));
        QVERIFY2(ending.elapsed() < 3000, qPrintable(QString::number(ending.elapsed())));
        QCOMPARE(painter.exitCode(), 0);
        QCOMPARE(QImage(dir->filePath(QStringLiteral("cat_mask.png")))
                     .convertToFormat(QImage::Format_Grayscale8),
                 QImage(cat + QStringLiteral(".expected.png"))
                     .convertToFormat(QImage::Format_Grayscale8));
    }

private:
    // A Doodle stroke through `points`, as the pointer makes it.
    void paint(const QVector<QPointF> &points)
    {
        probe->view()->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*probe->view(), points);
    }
    void paint(const QPointF &from, const QPointF &to) { paint(QVector<QPointF>{from, to}); }
    QString picture(const QString &name, QSize size)
    {
        const QString path = dir->filePath(name);
        return TestSupport::makePicture(size.width(), size.height()).save(path) ? path : QString();
    }
    // Every recovery copy of `picture` on disk, by any window, running or not.
    static QStringList copiesOnDisk(const QString &picture)
    {
        const QStringList folders = Recovery::defaultFolders();
        const QString own = QFileInfo(Recovery(folders, nullptr).fileFor(picture)).fileName();
        const QString pattern = own.left(own.indexOf(QLatin1Char('-'))) + QStringLiteral("*.png");
        QStringList files;
        for (const QString &folder : folders)
            for (const QString &name : QDir(folder).entryList({pattern}, QDir::Files))
                files << folder + QLatin1Char('/') + name;
        return files;
    }
    bool findLabel(const QString &text) const
    {
        for (QLabel *label : probe->folderPanel()->findChildren<QLabel *>())
            if (label->text() == text)
                return true;
        return false;
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
};

QTEST_MAIN(TestSafety)
#include "tst_safety.moc"
