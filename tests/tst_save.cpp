// Saving the mask: the questions and messages, what lands on disk, and the file browser.

#include "files/maskfile.h"
#include "folder/picturefolder.h"
#include "platform/filebrowser.h"
#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// A pixel inside the mask, as QImage::pixel() reads the one-byte layer.
constexpr QRgb inside = 0xFF000000u;
const QString askTitle = QStringLiteral("确认保存");
const QString askText = QStringLiteral("确定要将掩膜保存为文件吗？");

using TestSupport::contents;
} // namespace

class TestSave : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        // A log of its own per test: a browser started late by one test can't spoil the next.
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

    void withoutAPictureOnlyWarns()
    {
        TestSupport::BoxAnswerer boxes({QMessageBox::Ok});
        probe->saveMask();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().title, QStringLiteral("警告"));
        QCOMPARE(boxes.seen.first().text, QStringLiteral("请先打开一张图片！"));
        QCOMPARE(boxes.seen.first().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(boxes.seen.first().icon, QMessageBox::Warning);
    }

    void answeringNoTouchesNothing()
    {
        const QString picture = open(QStringLiteral("cat.png"));
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        QVERIFY(QFile::copy(picture, maskPath)); // some earlier file, any content
        const QByteArray before = contents(maskPath);
        TestSupport::BoxAnswerer boxes({QMessageBox::No});
        probe->saveMask();
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(boxes.seen.first().title, askTitle);
        QCOMPARE(boxes.seen.first().text, askText);
        QCOMPARE(boxes.seen.first().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(contents(maskPath), before);
        QVERIFY(!QFile::exists(browserLog));
    }

    void oneFaintPixelIsWrittenAs255ThenTheBrowserOpens()
    {
        const QString picture = open(QStringLiteral("cat.png"));
        VelmoraViewProbe::mutableMask(*probe->view()).setPixelColor(5, 7, QColor(255, 0, 0, 1));
        const QImage maskBefore = VelmoraViewProbe::mask(*probe->view());

        auto boxes = std::make_unique<TestSupport::BoxAnswerer>(
            QList<QMessageBox::StandardButton>{QMessageBox::Yes, QMessageBox::Ok});
        bool browserBeforeBoxClosed = false;
        bool busyWhileBoxOpen = false;
        boxes->whileOpen = [&] {
            browserBeforeBoxClosed |= QFile::exists(browserLog);
            busyWhileBoxOpen |= QApplication::overrideCursor() != nullptr;
        };
        probe->saveMask();
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        QCOMPARE(boxes->seen.size(), 2);
        QCOMPARE(boxes->seen.at(1).title, QStringLiteral("成功"));
        QCOMPARE(boxes->seen.at(1).text, QStringLiteral("掩膜已保存至:\n") + maskPath);
        QCOMPARE(boxes->seen.at(1).icon, QMessageBox::Information);
        boxes.reset();
        QVERIFY(!browserBeforeBoxClosed);
        QVERIFY(!busyWhileBoxOpen);
        QVERIFY(QApplication::overrideCursor() == nullptr);

        const QImage written(maskPath);
        QCOMPARE(written.size(), QSize(40, 30));
        QCOMPARE(written.format(), QImage::Format_Grayscale8);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                QCOMPARE(int(written.constScanLine(y)[x]), (x == 5 && y == 7) ? 255 : 0);
        QTRY_COMPARE(contents(browserLog),
                     QByteArray("xdg-open [") + dir->path().toLocal8Bit() + "]\n");

        // Saving changes nothing in the view.
        QCOMPARE(VelmoraViewProbe::mask(*probe->view()), maskBefore);
        QCOMPARE(VelmoraViewProbe::undoDepth(*probe->view()), 0);
        QCOMPARE(probe->view()->getImagePath(), picture);

        // A second save replaces the file and opens the browser again.
        VelmoraViewProbe::mutableMask(*probe->view()).setPixel(6, 7, inside);
        TestSupport::BoxAnswerer again({QMessageBox::Yes, QMessageBox::Ok});
        probe->saveMask();
        QCOMPARE(again.seen.size(), 2);
        QCOMPARE(QImage(maskPath).pixelColor(6, 7).value(), 255);
        QTRY_COMPARE(contents(browserLog).count('\n'), 2);
    }

    // With 保存后显示文件 off the save still says where the file went, and no browser opens;
    // the choice outlives the window.
    void revealOffOpensNoFileBrowser()
    {
        probe->revealAction()->setChecked(false);
        QVERIFY(showNewWindow(window, probe));
        QVERIFY(!probe->revealAction()->isChecked());
        open(QStringLiteral("cat.png"));
        VelmoraViewProbe::mutableMask(*probe->view()).setPixel(1, 1, inside);
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("成功"));
        }
        QTest::qWait(200);
        QVERIFY(!QFile::exists(browserLog));
        probe->revealAction()->setChecked(true);
    }

    void emptyMaskRemovesAnOldFile()
    {
        open(QStringLiteral("cat.png"));
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("提示"));
            QCOMPARE(boxes.seen.at(1).text,
                     QStringLiteral("掩膜为空，未找到对应的掩膜文件，无需操作。"));
            QVERIFY(!QFile::exists(maskPath));
        }
        // A mask file read when the picture was opened, holding no pixel of the mask.
        QImage black(40, 30, QImage::Format_Grayscale8);
        black.fill(0);
        QVERIFY(black.save(maskPath));
        open(QStringLiteral("cat.png"));
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("成功"));
            QCOMPARE(boxes.seen.at(1).text,
                     QStringLiteral("掩膜为空，已删除旧的掩膜文件:\n") + maskPath);
            QVERIFY(!QFile::exists(maskPath));
        }
        QVERIFY(!QFile::exists(browserLog));
    }

    void aFolderInTheMasksPlaceFailsCalmly()
    {
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("cat_mask.png")));
        open(QStringLiteral("cat.png"));
        // The folder was never read as a mask: each save asks before touching it.
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask(); // empty mask: the folder cannot be removed
            QCOMPARE(boxes.seen.size(), 3);
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("掩膜文件未能读取"));
            QCOMPARE(boxes.seen.at(2).title, QStringLiteral("错误"));
            QCOMPARE(boxes.seen.at(2).text,
                     QStringLiteral("掩膜为空，但删除旧文件失败，请检查权限:\n") + maskPath);
            QCOMPARE(boxes.seen.at(2).icon, QMessageBox::Critical);
        }
        VelmoraViewProbe::mutableMask(*probe->view()).setPixel(1, 1, inside);
        {
            // Agreed to once, the same entry is not asked about again.
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask(); // nor written over
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("错误"));
            QCOMPARE(boxes.seen.at(1).text, QStringLiteral("保存失败，请检查权限！"));
        }
        QVERIFY(QFileInfo(maskPath).isDir());
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"cat.png"})); // no temporary file left behind
        QVERIFY(!QFile::exists(browserLog));
    }

    void anOddSuffixGetsAPngMaskAndLeavesOtherFilesAlone()
    {
        // PNG content under a suffix that names no encoder: it opens, and its mask is a PNG
        // file, whatever the suffix; a file named after the odd suffix is not touched.
        const QString picture = dir->filePath(QStringLiteral("scan.raw"));
        QVERIFY(TestSupport::makePicture(40, 30).save(picture, "PNG"));
        const QString other = dir->filePath(QStringLiteral("scan_mask.raw"));
        QFile old(other);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an older mask the user cares about");
        old.close();
        window->openPicture(picture);
        QCOMPARE(probe->view()->getImagePath(), picture);
        VelmoraViewProbe::mutableMask(*probe->view()).setPixel(1, 1, inside);

        TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
        probe->saveMask();
        QCOMPARE(boxes.seen.size(), 2);
        QCOMPARE(boxes.seen.at(1).title, QStringLiteral("成功"));
        QCOMPARE(contents(other), QByteArray("an older mask the user cares about"));
        QCOMPARE(QImageReader(dir->filePath(QStringLiteral("scan_mask.png"))).format(),
                 QByteArray("png"));
    }

    void maskFileFollowsThePicturesNameAndFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("maskName");
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("jpeg") << "photo.jpg"
                              << "photo_mask.jpg" << QByteArray("\xFF\xD8");
        QTest::newRow("bmp") << "scan.bmp"
                             << "scan_mask.bmp" << QByteArray("BM");
        QTest::newRow("two dots") << "cat.left.png"
                                  << "cat.left_mask.png" << QByteArray("\x89PNG");
        QTest::newRow("upper case") << "CAT.PNG"
                                    << "CAT_mask.PNG" << QByteArray("\x89PNG");
        QTest::newRow("spaces Chinese %1") << "我的 %1 猫.png"
                                           << "我的 %1 猫_mask.png" << QByteArray("\x89PNG");
    }
    void maskFileFollowsThePicturesNameAndFormat()
    {
        QFETCH(QString, name);
        QFETCH(QString, maskName);
        QFETCH(QByteArray, magic);
        open(name);
        // Another picture's mask beside it is neither written nor removed.
        const QString otherMask = dir->filePath(QStringLiteral("cat_mask.png"));
        QVERIFY(QFile::copy(dir->filePath(name), otherMask));
        const QByteArray other = contents(otherMask);
        QImage &mask = VelmoraViewProbe::mutableMask(*probe->view());
        for (int y = 10; y < 20; ++y)
            for (int x = 10; x < 30; ++x)
                mask.setPixel(x, y, inside);

        TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
        probe->saveMask();
        const QString maskPath = dir->filePath(maskName);
        QCOMPARE(boxes.seen.size(), 2);
        QCOMPARE(boxes.seen.at(1).text, QStringLiteral("掩膜已保存至:\n") + maskPath);
        QVERIFY(contents(maskPath).startsWith(magic));
        QCOMPARE(contents(otherMask), other);

        // Reopening shows the same pixels again (JPEG noise stays on its side of 128).
        QVERIFY(probe->view()->loadImage(dir->filePath(name)));
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*probe->view())), 200);
        QCOMPARE(VelmoraViewProbe::mask(*probe->view()).pixel(10, 10), inside);
    }

    void aSaveThatLeavesTheFileMatchingTheMaskMarksItSaved()
    {
        open(QStringLiteral("cat.png"));
        VelmoraView *view = probe->view();
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        const auto save = [&](QMessageBox::StandardButton answer) {
            TestSupport::BoxAnswerer boxes({answer, QMessageBox::Ok});
            probe->saveMask();
            return boxes.seen.size() > 1 ? boxes.seen.at(1).title : QString();
        };
        view->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*view, QPointF(5, 5), QPointF(30, 20));
        QVERIFY(view->isModified());
        save(QMessageBox::No);
        QVERIFY(view->isModified());
        QCOMPARE(save(QMessageBox::Yes), QStringLiteral("成功")); // written
        QVERIFY(!view->isModified());

        view->undo();
        QVERIFY(view->isModified());
        QCOMPARE(save(QMessageBox::Yes), QStringLiteral("成功")); // old file removed
        QVERIFY(!QFile::exists(maskPath));
        QVERIFY(!view->isModified());
        view->redo();
        view->undo();
        QVERIFY(!view->isModified());

        view->redo();
        QString fullDisk;
        TestSupport::withFileSizeLimit(10, [&] { fullDisk = save(QMessageBox::Yes); });
        QCOMPARE(fullDisk, QStringLiteral("错误")); // nothing written
        QVERIFY(view->isModified());
        view->undo();
        QCOMPARE(save(QMessageBox::Yes), QStringLiteral("提示")); // empty, nothing to remove
        QVERIFY(!view->isModified());
    }

    // A box that opens while Ctrl is held takes the key's release: its hint does not stay in
    // the status bar after the box.
    void aModifierHintEndsWithABox()
    {
        open(QStringLiteral("cat.png"));
        paint(QPointF(5, 5), QPointF(30, 5));
        VelmoraView *view = probe->view();
        QApplication::setActiveWindow(window.get());
        view->setFocus();
        QTRY_VERIFY(view->hasFocus());
        window->statusBar()->showMessage(QStringLiteral("before"));
        QTest::keyPress(view, Qt::Key_Control);
        QVERIFY(window->statusBar()->currentMessage().contains(QStringLiteral("魔棒")));
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::No});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 1);
        }
        QVERIFY2(!window->statusBar()->currentMessage().contains(QStringLiteral("魔棒")),
                 qPrintable(window->statusBar()->currentMessage()));
    }

    void fileBrowserFallsBackToTheFolderWithoutASessionBus()
    {
        const QString file = dir->filePath(QStringLiteral("a b_mask.png"));
        Platform::showInFileBrowser(file);
        QTRY_COMPARE(contents(browserLog),
                     QByteArray("xdg-open [") + dir->path().toLocal8Bit() + "]\n");
    }

    // 安静保存, turned on from 确认保存's check box: a successful save asks nothing and says
    // where it went in the status bar (still there once Ctrl is released) and the list;
    // failures and a file changed on disk still come as boxes; turned off, both boxes are back.
    void quietSavingDropsOnlyTheBoxesOfSuccess()
    {
        const QString picture = open(QStringLiteral("cat.png"));
        const QString maskPath = dir->filePath(QStringLiteral("cat_mask.png"));
        paint(QPointF(5, 5), QPointF(30, 5));
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            boxes.whileOpen = [] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (box && box->checkBox())
                    box->checkBox()->setChecked(true);
            };
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 1); // ticked: this save is quiet already, no 成功
        }
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已保存: ") + maskPath);
        QVERIFY(probe->quietSaveAction()->isChecked());
        QVERIFY(QSettings(QStringLiteral("Ostrenza"), QStringLiteral("Velmora"))
                    .value(QStringLiteral("QuietSave"))
                    .toBool());

        paint(QPointF(5, 20), QPointF(30, 20));
        VelmoraView *view = probe->view();
        QTest::keyPress(view, Qt::Key_Control); // Ctrl+S, as a person presses it
        {
            TestSupport::BoxAnswerer boxes({});
            probe->saveMask();
            QVERIFY(boxes.seen.isEmpty());
        }
        QTest::keyRelease(view, Qt::Key_Control);
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已保存: ") + maskPath);
        QCOMPARE(QImage(maskPath).convertToFormat(QImage::Format_Grayscale8), view->exportMask());
        QVERIFY(!view->isModified());
        QVERIFY(probe->folder()->entries().first().hasMask);

        // Another program writes the mask file: the question still comes.
        paint(QPointF(5, 25), QPointF(30, 25));
        QVERIFY(QImage(40, 30, QImage::Format_Grayscale8).save(maskPath));
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Cancel});
            probe->saveMask();
            QCOMPARE(boxes.seen.size(), 1);
            QCOMPARE(boxes.seen.first().title, QStringLiteral("掩膜文件已被修改"));
        }
        // A failure still comes as a box.
        QVERIFY(QFile::remove(maskPath) && QDir(dir->path()).mkdir(QStringLiteral("cat_mask.png")));
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
            QCOMPARE(boxes.seen.last().title, QStringLiteral("错误"));
        }
        QVERIFY(view->isModified());
        QVERIFY(QDir(dir->path()).rmdir(QStringLiteral("cat_mask.png")));

        probe->quietSaveAction()->setChecked(false);
        TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
        probe->saveMask();
        QCOMPARE(boxes.seen.size(), 2);
        QCOMPARE(boxes.seen.at(0).title, askTitle);
        QCOMPARE(boxes.seen.at(1).title, QStringLiteral("成功"));
        Q_UNUSED(picture);
    }

private:
    void paint(const QPointF &from, const QPointF &to)
    {
        probe->view()->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*probe->view(), from, to);
    }
    QString open(const QString &name)
    {
        const QString path = dir->filePath(name);
        if (!TestSupport::makePicture(40, 30).save(path))
            return QString();
        window->openPicture(path);
        return probe->view()->getImagePath() == path ? path : QString();
    }

    QTemporaryDir logDir;
    int logCount = 0;
    std::unique_ptr<QTemporaryDir> dir;
    QString browserLog;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
};

QTEST_MAIN(TestSave)
#include "tst_save.moc"
