// Working through a folder: which files are its pictures and in what order, moving to the
// previous and next picture, the list with its marks, auto-save, and the picture read ahead.

#include "folder/picturefolder.h"
#include "folder/readahead.h"
#include "mainwindow/folderpanel.h"
#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList namesOf(const QVector<FolderEntry> &entries)
{
    QStringList names;
    for (const FolderEntry &entry : entries)
        names << entry.name + (entry.hasMask ? QStringLiteral(" +mask") : QString());
    return names;
}

bool touch(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

} // namespace

class TestFolder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        QSettings(QStringLiteral("Ostrenza"), QStringLiteral("Velmora")).clear();
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
    }
    void cleanup()
    {
        probe.reset();
        window.reset();
    }

    void naturalOrder_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::newRow("numbers by value") << "img2.png"
                                          << "img10.png";
        QTest::newRow("case does not matter") << "img2.png"
                                              << "IMG3.JPG";
        QTest::newRow("upper case among numbers") << "IMG3.JPG"
                                                  << "img10.png";
        QTest::newRow("shorter first") << "cat"
                                       << "cat2";
        QTest::newRow("long numbers") << "scan99999999999999999999.png"
                                      << "scan100000000000000000000.png";
        QTest::newRow("digits before letters") << "a1"
                                               << "ab";
        QTest::newRow("leading zeros, then a fixed order") << "p007.png"
                                                           << "p7.png";
        QTest::newRow("names differing in case") << "A.png"
                                                 << "a.png";
        QTest::newRow("Chinese") << "图 2.png"
                                 << "图 10.png";
    }
    void naturalOrder()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QVERIFY(PictureFolder::naturalLess(a, b));
        QVERIFY(!PictureFolder::naturalLess(b, a));
        QVERIFY(!PictureFolder::naturalLess(a, a));
    }

    void folderListsItsPicturesWithoutTheirMasks()
    {
        for (const char *name : {"img10.png", "img2.png", "IMG3.JPG", "b.jpeg", "a.bmp", "cat.png",
                                 "cat_mask.png", "cat.left.png", "cat.left_mask.png", "x_mask.png",
                                 "notes.txt", "scan.PNG", "scan_mask.PNG", "我的 %1 图.png"})
            QVERIFY(touch(dir->filePath(QString::fromUtf8(name))));
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("folder.png")));
        QCOMPARE(namesOf(PictureFolder::read(dir->path())),
                 QStringList({"a.bmp", "b.jpeg", "cat.left.png +mask", "cat.png +mask", "img2.png",
                              "IMG3.JPG", "img10.png", "scan.PNG +mask", "x_mask.png",
                              "我的 %1 图.png"}));
    }

    void previousAndNextStopAtTheEnds()
    {
        makeFolder({"p1.png", "p2.png", "p10.png"});
        startWindow();
        window->openPicture(dir->filePath(QStringLiteral("p1.png")));
        QVERIFY(!probe->previousAction()->isEnabled());
        QVERIFY(probe->nextAction()->isEnabled());
        QTest::keyClick(window.get(), Qt::Key_D);
        QCOMPARE(current(), QStringLiteral("p2.png"));
        QVERIFY(probe->previousAction()->isEnabled());
        QTest::keyClick(window.get(), Qt::Key_PageDown);
        QCOMPARE(current(), QStringLiteral("p10.png"));
        QVERIFY(!probe->nextAction()->isEnabled());
        QTest::keyClick(window.get(), Qt::Key_D);
        QCOMPARE(current(), QStringLiteral("p10.png"));
        QTest::keyClick(window.get(), Qt::Key_A);
        QTest::keyClick(window.get(), Qt::Key_PageUp);
        QCOMPARE(current(), QStringLiteral("p1.png"));
        QCOMPARE(list()->currentRow(), 0);
        QCOMPARE(list()->count(), 3);

        // A row of the list opens its picture.
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                          list()->visualItemRect(list()->item(2)).center());
        QCOMPARE(current(), QStringLiteral("p10.png"));
        QCOMPARE(list()->currentRow(), 2);
    }

    void marksFollowSavesAndRemovals()
    {
        makeFolder({"p1.png", "p2.png", "p3.png"});
        startWindow();
        window->openFolder(dir->path());
        QCOMPARE(current(), QStringLiteral("p1.png"));
        QCOMPARE(progress(), QStringLiteral("已完成 0 / 3"));
        QVERIFY(!marked(0));

        paint();
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
        }
        QCOMPARE(progress(), QStringLiteral("已完成 1 / 3"));
        QVERIFY(marked(0));
        QVERIFY(!marked(1));

        probe->view()->clearMask();
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
        }
        QCOMPARE(progress(), QStringLiteral("已完成 0 / 3"));
        QVERIFY(!marked(0));

        // Opening the folder goes to the first picture without a mask.
        QVERIFY(touch(dir->filePath(QStringLiteral("p1_mask.png"))));
        window->openFolder(dir->path());
        QCOMPARE(current(), QStringLiteral("p2.png"));
    }

    void autoSaveSavesInsteadOfAsking()
    {
        makeFolder({"p1.png", "p2.png", "p3.png"});
        startWindow();
        window->openPicture(dir->filePath(QStringLiteral("p1.png")));
        QVERIFY(!probe->autoSaveAction()->isChecked());
        paint();
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Discard});
            probe->nextAction()->trigger();
            QCOMPARE(boxes.seen.size(), 1);
            QCOMPARE(boxes.seen.first().title, QStringLiteral("保存更改"));
        }
        QCOMPARE(current(), QStringLiteral("p2.png"));
        QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("p1_mask.png"))));

        probe->autoSaveAction()->trigger();
        QVERIFY(QSettings(QStringLiteral("Ostrenza"), QStringLiteral("Velmora"))
                    .value(QStringLiteral("AutoSave"))
                    .toBool());
        paint();
        {
            TestSupport::BoxAnswerer boxes({});
            probe->nextAction()->trigger();
            QVERIFY(boxes.seen.isEmpty());
        }
        QCOMPARE(current(), QStringLiteral("p3.png"));
        QVERIFY(QFile::exists(dir->filePath(QStringLiteral("p2_mask.png"))));
        QCOMPARE(progress(), QStringLiteral("已完成 1 / 3"));

        // A failed auto-save says so and stays.
        paint();
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("p3_mask.png")));
        {
            // What appeared in the mask's place is replaced only when the user says so.
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->previousAction()->trigger();
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.first().title, QStringLiteral("掩膜文件已被修改"));
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("错误"));
        }
        QCOMPARE(current(), QStringLiteral("p3.png"));
        QVERIFY(probe->view()->isModified());

        // The setting outlives the window.
        probe.reset();
        window.reset();
        startWindow();
        QVERIFY(probe->autoSaveAction()->isChecked());
    }

    void pictureReadAheadIsDroppedWhenItsFilesChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("nothing") << "nothing";
        QTest::newRow("picture rewritten") << "picture";
        QTest::newRow("mask file added") << "mask";
        QTest::newRow("picture deleted") << "deleted";
    }
    void pictureReadAheadIsDroppedWhenItsFilesChanged()
    {
        QFETCH(QString, change);
        makeFolder({"p1.png", "p2.png"});
        const QString p2 = dir->filePath(QStringLiteral("p2.png"));
        ReadAhead ahead;
        ahead.start(p2);
        QCOMPARE(ahead.pending(), p2);
        QVERIFY(ahead.take(dir->filePath(QStringLiteral("p1.png"))).isNull()); // not that one
        QVERIFY(ahead.pending().isEmpty());

        // Through the window: the next picture is read ahead while p1 is shown.
        startWindow();
        window->openPicture(dir->filePath(QStringLiteral("p1.png")));
        QCOMPARE(probe->readAheadPending(), p2);
        if (change == QLatin1String("picture")) {
            QVERIFY(TestSupport::makePicture(90, 50).save(p2));
        } else if (change == QLatin1String("mask")) {
            QImage mask(80, 60, QImage::Format_Grayscale8);
            mask.fill(255);
            QVERIFY(mask.save(dir->filePath(QStringLiteral("p2_mask.png"))));
        } else if (change == QLatin1String("deleted")) {
            QVERIFY(QFile::remove(p2));
        }
        probe->nextAction()->trigger();
        if (change == QLatin1String("deleted")) {
            QCOMPARE(current(), QStringLiteral("p1.png"));
            QCOMPARE(probe->statusLabel()->text(), QStringLiteral("无法加载: ") + p2);
            QCOMPARE(list()->count(), 1); // it left the list
            return;
        }
        QCOMPARE(current(), QStringLiteral("p2.png"));
        const QSize shown = VelmoraViewProbe::picture(*probe->view()).size();
        QCOMPARE(shown, change == QLatin1String("picture") ? QSize(90, 50) : QSize(80, 60));
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*probe->view())),
                 change == QLatin1String("mask") ? 80 * 60 : 0);
    }

    void listFollowsTheFolderOnDisk()
    {
        makeFolder({"p1.png", "p2.png"});
        startWindow();
        window->openPicture(dir->filePath(QStringLiteral("p2.png")));
        QVERIFY(!probe->nextAction()->isEnabled());
        QVERIFY(TestSupport::makePicture(20, 20).save(dir->filePath(QStringLiteral("p3.png"))));
        QTRY_COMPARE(list()->count(), 3);
        QVERIFY(probe->nextAction()->isEnabled());
        QVERIFY(QFile::remove(dir->filePath(QStringLiteral("p3.png"))));
        QTRY_COMPARE(list()->count(), 2);

        // The folder itself goes away: the list empties and nothing moves.
        const QString moved = dir->path() + QStringLiteral("-moved");
        QVERIFY(QDir().rename(dir->path(), moved));
        QTRY_COMPARE(list()->count(), 0);
        QVERIFY(!probe->previousAction()->isEnabled());
        probe->previousAction()->trigger();
        QCOMPARE(current(), QStringLiteral("p2.png"));
        QVERIFY(QDir().rename(moved, dir->path()));
    }

    void openingAFolder()
    {
        startWindow();
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("empty")));
        const QString empty = dir->filePath(QStringLiteral("empty"));
        QVERIFY(touch(dir->filePath(QStringLiteral("empty/readme.txt"))));
        window->openFolder(empty);
        QCOMPARE(probe->statusLabel()->text(), QStringLiteral("文件夹中没有图片: ") + empty);
        QVERIFY(probe->view()->getImagePath().isEmpty());

        // Through the folder dialog; with every picture done, the first one opens.
        makeFolder({"b.png", "a.png", "a_mask.png", "b_mask.png"});
        TestSupport::answerFileDialog(dir->path());
        probe->openFolderAction()->trigger();
        QCOMPARE(current(), QStringLiteral("a.png"));
        QCOMPARE(progress(), QStringLiteral("已完成 2 / 2"));
        window->openPath(empty);
        QCOMPARE(current(), QStringLiteral("a.png")); // the document stays
    }

    void theListsVisibilityIsRemembered()
    {
        startWindow();
        QVERIFY(probe->folderDock()->isVisible());
        QVERIFY(window->close()); // closing the window is not closing the list
        probe.reset();
        window.reset();
        startWindow();
        QVERIFY(probe->folderDock()->isVisible());
        probe->folderDock()->close();
        probe.reset();
        window.reset();
        startWindow();
        QVERIFY(!probe->folderDock()->isVisible());
        probe->folderDock()->toggleViewAction()->trigger();
        QVERIFY(probe->folderDock()->isVisible());
        QVERIFY(QSettings(QStringLiteral("Ostrenza"), QStringLiteral("Velmora"))
                    .value(QStringLiteral("PictureListVisible"))
                    .toBool());
    }

private:
    void makeFolder(const QList<const char *> &names)
    {
        for (const char *name : names)
            TestSupport::makePicture(80, 60).save(dir->filePath(QString::fromUtf8(name)));
    }
    void startWindow() { QVERIFY(showNewWindow(window, probe)); }
    QString current() const { return QFileInfo(probe->view()->getImagePath()).fileName(); }
    QListWidget *list() const { return probe->folderPanel()->findChild<QListWidget *>(); }
    QString progress() const
    {
        for (QLabel *label : probe->folderPanel()->findChildren<QLabel *>()) {
            if (label->text().startsWith(QStringLiteral("已完成")))
                return label->text();
        }
        return QString();
    }
    // Whether row `row` shows the mark of a picture that has its mask, by its colour.
    bool marked(int row) const
    {
        const QImage icon = list()->item(row)->icon().pixmap(12, 12).toImage();
        const QColor centre = icon.pixelColor(6, 6);
        return centre.green() > 140 && centre.red() < 80 && centre.alpha() == 255;
    }
    void paint()
    {
        probe->view()->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*probe->view(), QPointF(10, 10), QPointF(60, 40));
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
};

QTEST_MAIN(TestFolder)
#include "tst_folder.moc"
