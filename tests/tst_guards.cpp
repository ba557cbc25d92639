// What no save, crash or odd file may destroy: the picture, the mask file and the unsaved
// strokes. Each case is made as it happens on a user's disk: links and hard links, folders
// the user can't write to, pictures replaced behind the program's back, recovery folders
// that can't be used, files that announce huge pictures, memory that runs out.

#include "files/maskfile.h"
#include "files/picturefile.h"
#include "platform/files.h"
#include "recovery/recovery.h"
#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QLabel>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using TestSupport::contents;

int modeOf(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

using TestSupport::maskOfRows;

} // namespace

class TestGuards : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(QStringLiteral("tst_guards"));
        ::umask(022);
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

    // A mask file that is the picture itself, or another picture of the folder, reached
    // through a link or a hard link, is never written: whatever the kind of save.
    void noSaveWritesOverAPicture_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("victim");
        QTest::addColumn<QString>("save");
        QTest::newRow("link to the picture, 保存掩膜") << "link"
                                                       << "cat.png"
                                                       << "save";
        QTest::newRow("hard link to the picture, 保存掩膜") << "hard"
                                                            << "cat.png"
                                                            << "save";
        QTest::newRow("link to another picture, 保存掩膜") << "link"
                                                           << "dog.png"
                                                           << "save";
        QTest::newRow("link to the picture, auto-save") << "link"
                                                        << "cat.png"
                                                        << "auto";
        QTest::newRow("hard link to another picture, auto-save") << "hard"
                                                                 << "dog.png"
                                                                 << "auto";
        QTest::newRow("link to another picture's mask, 保存掩膜") << "link"
                                                                  << "dog_mask.png"
                                                                  << "save";
        QTest::newRow("hard link to another picture's mask, auto-save") << "hard"
                                                                        << "dog_mask.png"
                                                                        << "auto";
        QTest::newRow("掩膜另存为… onto the picture") << ""
                                                      << "cat.png"
                                                      << "as";
        QTest::newRow("掩膜另存为… onto another picture") << ""
                                                          << "dog.png"
                                                          << "as";
    }
    void noSaveWritesOverAPicture()
    {
        QFETCH(QString, link);
        QFETCH(QString, victim);
        QFETCH(QString, save);
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        picture(QStringLiteral("dog.png"), QSize(80, 50));
        QVERIFY(maskOfRows(QSize(80, 50), 10).save(dir->filePath(QStringLiteral("dog_mask.png"))));
        const QString target = dir->filePath(victim);
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        const QByteArray before = contents(target);
        if (link == QLatin1String("link"))
            QVERIFY(QFile::link(target, maskPath));
        else if (link == QLatin1String("hard"))
            QCOMPARE(::link(QFile::encodeName(target).constData(),
                            QFile::encodeName(maskPath).constData()),
                     0);

        window->openPicture(cat);
        if (!link.isEmpty() && target == cat) {
            // Not read as its own mask, and said so.
            QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*probe->view())), 0);
            QVERIFY(probe->maskWarning()->text().contains(QStringLiteral("它就是图片本身")));
        }
        paint(QPointF(5, 5), QPointF(60, 30));

        QList<TestSupport::SeenBox> seen;
        if (save == QLatin1String("save")) {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
            seen = boxes.seen;
        } else if (save == QLatin1String("auto")) {
            TestSupport::BoxAnswerer boxes({QMessageBox::Ok});
            probe->autoSaveAction()->setChecked(true);
            QVERIFY(!window->close()); // the strokes can't be kept, so the window stays
            seen = boxes.seen;
        } else {
            // The file dialog's own question about replacing is answered yes.
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            TestSupport::answerFileDialog(target);
            probe->saveAsAction()->trigger();
            seen = boxes.seen;
        }
        QVERIFY(!seen.isEmpty());
        QCOMPARE(seen.last().title, victim.endsWith(QLatin1String("_mask.png"))
                                        ? QStringLiteral("不能覆盖其他掩膜")
                                        : QStringLiteral("不能覆盖图片"));
        QCOMPARE(seen.last().icon, QMessageBox::Critical);
        QVERIFY(seen.last().text.contains(target));
        QVERIFY(seen.last().text.contains(save == QLatin1String("as") ? target : maskPath));
        QCOMPARE(contents(target), before);
        QVERIFY(probe->view()->isModified());
        probe->autoSaveAction()->setChecked(false); // a remembered setting
    }

    // A mask file that leads out of the picture's folder is written only once the user
    // agreed, in a box that names where it leads; the link stays a link.
    void aLinkOutOfTheFolderIsWrittenOnlyWhenAgreed()
    {
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        QTemporaryDir elsewhere;
        const QString outside = elsewhere.filePath(QStringLiteral("kept.png"));
        QVERIFY(maskOfRows(QSize(80, 50), 10).save(outside));
        const QByteArray before = contents(outside);
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        QVERIFY(QFile::link(outside, maskPath));
        window->openPicture(cat);
        paint(QPointF(5, 30), QPointF(60, 30));
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Cancel});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("掩膜文件是一个链接"));
            QVERIFY(boxes.seen.at(1).text.contains(outside));
            QCOMPARE(boxes.seen.at(1).defaultButton, QStringLiteral("取消"));
        }
        QCOMPARE(contents(outside), before);
        QVERIFY(probe->view()->isModified());
        probe->revealAction()->setChecked(false);
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 3);
            QCOMPARE(boxes.seen.at(2).title, QStringLiteral("成功"));
        }
        QVERIFY(QFileInfo(maskPath).isSymLink());
        QCOMPARE(QImage(outside).convertToFormat(QImage::Format_Grayscale8),
                 probe->view()->exportMask());
        QVERIFY(!probe->view()->isModified());
    }

    // Where the folder refuses new files but the mask file itself is writable, the old file
    // is not rewritten in place (a crash half-way would destroy it): the save fails, says
    // why, and the strokes stay unsaved, with their recovery copy.
    void aFolderThatRefusesNewFilesKeepsTheOldMaskWhole()
    {
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("shared")));
        const QString folder = dir->filePath(QStringLiteral("shared"));
        const QString cat = folder + QStringLiteral("/cat.png");
        QVERIFY(TestSupport::makePicture(80, 50).save(cat));
        const QString maskPath = folder + QStringLiteral("/cat_mask.png");
        QVERIFY(maskOfRows(QSize(80, 50), 10).save(maskPath));
        QVERIFY(QFile::setPermissions(maskPath, QFileDevice::Permissions(QFlag(0x6666))));
        window->openPicture(cat);
        paint(QPointF(5, 30), QPointF(60, 30));
        const QString copy = probe->recovery()->fileFor(cat);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy), 6000);
        const QByteArray before = contents(maskPath);
        const Platform::FileIdentity identity = Platform::identityOf(maskPath);

        QCOMPARE(::chmod(QFile::encodeName(dir->path()).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        QList<TestSupport::SeenBox> seen;
        const bool ran = TestSupport::asOrdinaryUser([&] {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
            seen = boxes.seen;
        });
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        if (!ran)
            QSKIP("root can't take an ordinary user's permissions here (seteuid failed)");
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen.last().title, QStringLiteral("错误"));
        QVERIFY2(seen.last().text.contains(QStringLiteral("文件夹不可写")),
                 qPrintable(seen.last().text));
        QCOMPARE(contents(maskPath), before);
        QVERIFY(Platform::identityOf(maskPath) == identity);
        QVERIFY(probe->view()->isModified());
        QVERIFY(QFile::exists(copy));
    }

    // A picture replaced on disk since it was opened gets no mask beside it without a word:
    // the box offers 掩膜另存为… and 取消.
    void aPictureReplacedOnDiskGetsNoMaskBesideIt_data()
    {
        QTest::addColumn<bool>("renamedOver");
        QTest::newRow("another picture renamed over it") << true;
        QTest::newRow("rewritten in place, smaller") << false;
    }
    void aPictureReplacedOnDiskGetsNoMaskBesideIt()
    {
        QFETCH(bool, renamedOver);
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        window->openPicture(cat);
        paint(QPointF(5, 30), QPointF(60, 30));
        if (renamedOver) {
            const QString other = picture(QStringLiteral("other.png"), QSize(40, 25));
            QVERIFY(QFile::remove(cat) && QFile::rename(other, cat));
        } else {
            QFile file(cat);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QVERIFY(TestSupport::makePicture(40, 25).save(&file, "png"));
        }
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Cancel});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("图片已在磁盘上更改"));
            QVERIFY(boxes.seen.at(1).text.contains(cat));
            QCOMPARE(boxes.seen.at(1).buttonTexts.size(), 2);
            QVERIFY(boxes.seen.at(1).buttonTexts.contains(QStringLiteral("掩膜另存为…")));
            QCOMPARE(boxes.seen.at(1).defaultButton, QStringLiteral("取消"));
        }
        QVERIFY(!QFile::exists(maskPath));
        QVERIFY(probe->view()->isModified());

        // 掩膜另存为… from the box writes where the user chooses, and only there.
        QTemporaryDir elsewhere;
        const QString chosen = elsewhere.filePath(QStringLiteral("kept_mask.png"));
        TestSupport::answerFileDialog(chosen);
        TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Save, QMessageBox::Ok});
        probe->saveMask();
        QCOMPARE(QImage(chosen).convertToFormat(QImage::Format_Grayscale8),
                 probe->view()->exportMask());
        QVERIFY(!QFile::exists(maskPath));
    }

    // A new mask file is no more readable than its picture; an existing one keeps its own.
    void maskFilesAreNoWiderThanTheirPicture_data()
    {
        QTest::addColumn<int>("pictureMode");
        QTest::addColumn<int>("existingMask"); // 0: no mask file yet
        QTest::addColumn<int>("expected");
        QTest::newRow("private picture") << 0600 << 0 << 0600;
        QTest::newRow("group-readable picture") << 0640 << 0 << 0640;
        QTest::newRow("picture readable by all") << 0644 << 0 << 0644;
        QTest::newRow("read-only picture") << 0444 << 0 << 0644;
        QTest::newRow("existing mask keeps its own") << 0600 << 0664 << 0664;
    }
    void maskFilesAreNoWiderThanTheirPicture()
    {
        QFETCH(int, pictureMode);
        QFETCH(int, existingMask);
        QFETCH(int, expected);
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        QCOMPARE(::chmod(QFile::encodeName(cat).constData(), mode_t(pictureMode)), 0);
        if (existingMask) {
            QVERIFY(maskOfRows(QSize(80, 50), 10).save(maskPath));
            QCOMPARE(::chmod(QFile::encodeName(maskPath).constData(), mode_t(existingMask)), 0);
        }
        window->openPicture(cat);
        paint(QPointF(5, 30), QPointF(60, 30));
        probe->revealAction()->setChecked(false);
        TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
        probe->saveMask();
        QCOMPARE(boxes.seen.last().title, QStringLiteral("成功"));
        QCOMPARE(modeOf(maskPath), expected);
    }

    // Each window keeps a copy of its own; a window's copy is offered and removed by none
    // while it runs; after a crash every copy is offered, newest first. Copies and their
    // folders are the user's alone.
    void everyWindowKeepsItsOwnCopy()
    {
        QTemporaryDir copies;
        const QStringList folders{copies.filePath(QStringLiteral("main")),
                                  copies.filePath(QStringLiteral("spare"))};
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        const QImage firstMask = maskOfRows(QSize(80, 50), 10);
        const QImage secondMask = maskOfRows(QSize(80, 50), 20);
        auto first = std::make_unique<Recovery>(folders, nullptr);
        auto second = std::make_unique<Recovery>(folders, nullptr);
        first->setSource([&] { return firstMask; });
        second->setSource([&] { return secondMask; });
        first->setPicture(cat);
        second->setPicture(cat);
        QVERIFY(first->writeNow());
        QTest::qWait(5);
        QVERIFY(second->writeNow());
        QVERIFY(first->fileFor(cat) != second->fileFor(cat));
        QCOMPARE(modeOf(folders.first()), 0700);
        QCOMPARE(modeOf(first->fileFor(cat)), 0600);

        Recovery later(folders, nullptr); // a third window, opened later
        QVERIFY(later.find(cat).isEmpty());
        first->discard(); // saved or 丢弃 in the first: the second's copy stays
        QVERIFY(!QFile::exists(first->fileFor(cat)));
        QVERIFY(QFile::exists(second->fileFor(cat)));
        QVERIFY(first->writeNow());

        // Both end without removing their copies, as a crash would end them.
        const QString firstFile = first->fileFor(cat);
        const QString secondFile = second->fileFor(cat);
        first.reset();
        second.reset();
        const QVector<Recovery::Found> found = later.find(cat);
        QCOMPARE(found.size(), 2);
        QCOMPARE(found.at(0).file, firstFile); // written last
        QCOMPARE(found.at(1).file, secondFile);
        QCOMPARE(Recovery::read(found.at(0).file), firstMask);
        QCOMPARE(Recovery::read(found.at(1).file), secondMask);
    }

    // When the first folder can't be written, copies go to the second and are offered from
    // there; when neither can, the loss of protection is told, and told again once it is back.
    void copiesFallBackAndTheirAbsenceIsTold()
    {
        QTemporaryDir copies;
        const QStringList folders{copies.filePath(QStringLiteral("main")),
                                  copies.filePath(QStringLiteral("spare"))};
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        const QImage mask = maskOfRows(QSize(80, 50), 10);
        QVERIFY(blockFolder(folders.at(0)));
        Recovery recovery(folders, nullptr);
        QSignalSpy availability(&recovery, &Recovery::availabilityChanged);
        recovery.setSource([&] { return mask; });
        recovery.setPicture(cat);
        QVERIFY(recovery.writeNow());
        QVERIFY(recovery.isAvailable());
        QCOMPARE(QDir(folders.at(1)).entryList({QStringLiteral("*.png")}).size(), 1);

        QVERIFY(QDir(folders.at(1)).removeRecursively() && blockFolder(folders.at(1)));
        QVERIFY(!recovery.writeNow());
        QVERIFY(!recovery.isAvailable());
        QVERIFY(QFile::remove(folders.at(0)));
        QVERIFY(recovery.writeNow());
        QCOMPARE(availability.size(), 2);
        QCOMPARE(availability.at(0).at(0).toBool(), false);
        QCOMPARE(availability.at(1).at(0).toBool(), true);
    }

    // The window says so in the status bar for as long as unsaved strokes have no copy.
    void theWindowSaysWhenNoCopyCanBeMade()
    {
        const QStringList folders = Recovery::defaultFolders();
        for (const QString &folder : folders)
            QVERIFY(QDir(folder).removeRecursively() && blockFolder(folder));
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        window->openPicture(cat);
        paint(QPointF(5, 30), QPointF(60, 30));
        QTRY_VERIFY_WITH_TIMEOUT(probe->protectionLabel()->isVisible(), 6000);
        QCOMPARE(probe->protectionLabel()->text(), QStringLiteral("崩溃保护不可用"));
        window->statusBar()->showMessage(QStringLiteral("something else"));
        QVERIFY(probe->protectionLabel()->isVisible()); // not hidden by other messages
        probe->revealAction()->setChecked(false);
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
        }
        QVERIFY(!probe->protectionLabel()->isVisible());
        for (const QString &folder : folders)
            QVERIFY(QFile::remove(folder));
    }

    // Before decoding a picture that would take much of the memory, or whose file is far too
    // small for the size it announces, the user is asked; 取消 is the default.
    void hugePicturesAreDecodedOnlyWhenAgreed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("agree");
        QTest::newRow("tiny file, 20000 × 20000, cancelled") << "tiny" << true << false;
        QTest::newRow("a quarter of the memory, opened") << "big" << true << true;
        QTest::newRow("an ordinary picture") << "ordinary" << false << false;
    }
    void hugePicturesAreDecodedOnlyWhenAgreed()
    {
        QFETCH(QString, kind);
        QFETCH(bool, asked);
        QFETCH(bool, agree);
        const QString cat = picture(QStringLiteral("cat.png"), QSize(80, 50));
        window->openPicture(cat);
        QString path = dir->filePath(QStringLiteral("other.png"));
        if (kind == QLatin1String("tiny")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(TestSupport::pngAnnouncing(QSize(20000, 20000)));
        } else {
            path = picture(QStringLiteral("other.png"), QSize(1500, 1000));
        }
        TestSupport::BoxAnswerer boxes({agree ? QMessageBox::Open : QMessageBox::Cancel});
        // 12 MB to show the big one, with 40 MB left: more than a quarter.
        const qint64 room = kind == QLatin1String("big") ? 40 << 20 : qint64(8) << 30;
        TestSupport::withMemoryLeft(room, [&] { window->openPicture(path); });
        QCOMPARE(boxes.seen.size(), asked ? 1 : 0);
        if (asked) {
            QCOMPARE(boxes.seen.first().title, QStringLiteral("打开大图片"));
            QCOMPARE(boxes.seen.first().defaultButton, QStringLiteral("取消"));
            QVERIFY(boxes.seen.first().text.contains(kind == QLatin1String("tiny")
                                                         ? QStringLiteral("20000 × 20000")
                                                         : QStringLiteral("1500 × 1000")));
        }
        QCOMPARE(probe->view()->getImagePath(), asked && !agree ? cat : path);
    }

    // Cancelling stops the decoder at its next read: no half picture, and no waiting for the
    // rest of the file.
    void aCancelledReadStopsDecoding()
    {
        // Noise, which does not compress: each buffer the decoder reads gives a row or two,
        // so it stops within a few rows of the cancel. (A plain picture compresses a
        // thousand to one: one buffer would give a fifth of it.)
        const QString path = dir->filePath(QStringLiteral("noise.png"));
        {
            QImage noise(6000, 6000, QImage::Format_Grayscale8);
            quint32 state = 2463534242u;
            for (int y = 0; y < noise.height(); ++y) {
                uchar *row = noise.scanLine(y);
                for (int x = 0; x < noise.width(); ++x) {
                    state ^= state << 13;
                    state ^= state >> 17;
                    state ^= state << 5;
                    row[x] = uchar(state);
                }
            }
            QImageWriter writer(path, "png");
            writer.setCompression(1);
            QVERIFY(writer.write(noise));
        }
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!PictureFile::readWithMask(path).isNull());
        const qint64 whole = timer.restart();

        std::atomic_bool cancelled(true);
        QVERIFY(PictureFile::readWithMask(path, &cancelled).isNull());
        cancelled = false;
        timer.restart();
        QFuture<PictureFile::WithMask> read =
            QtConcurrent::run([&] { return PictureFile::readWithMask(path, &cancelled); });
        QTest::qWait(int(whole / 10));
        cancelled = true;
        QVERIFY(read.result().isNull());
        const qint64 stopped = timer.elapsed();
        QVERIFY2(stopped < whole / 2,
                 qPrintable(QStringLiteral("%1 ms of %2").arg(stopped).arg(whole)));
    }

    // A region command whose work can't get its memory says so, like a stroke does, and
    // leaves the mask as it was. The region functions give a null image then; a real limit
    // is no sure way to get there, since the allocator falls back on memory it already holds.
    void regionWorkWithoutMemorySaysSo()
    {
        const QString big = picture(QStringLiteral("big.png"), QSize(400, 300));
        window->openPicture(big);
        VelmoraView *view = probe->view();
        paint(QPointF(5, 5), QPointF(300, 200));
        const QImage before = view->exportMask();
        view->transformMask([](const QImage &) { return QImage(); });
        QTRY_VERIFY(!view->isWorking());
        QCOMPARE(view->exportMask(), before);
        QCOMPARE(probe->statusLabel()->text(),
                 QStringLiteral("内存不足，操作没有完成，掩膜未改动"));
    }

private:
    void paint(const QPointF &from, const QPointF &to)
    {
        probe->view()->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*probe->view(), QVector<QPointF>{from, to});
    }
    QString picture(const QString &name, QSize size)
    {
        const QString path = dir->filePath(name);
        return TestSupport::makePicture(size.width(), size.height()).save(path) ? path : QString();
    }
    // A regular file where the folder should be: no copy can be made there.
    static bool blockFolder(const QString &folder)
    {
        QDir().mkpath(QFileInfo(folder).absolutePath());
        QFile file(folder);
        return file.open(QIODevice::WriteOnly);
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
};

QTEST_MAIN(TestGuards)
#include "tst_guards.moc"
