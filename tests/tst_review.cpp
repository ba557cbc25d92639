// Marks of review: the folder's file, merged with what others wrote meanwhile and written
// whole, its refusal to replace a file it can't read; the keys, the picture list and its
// filter.

#include "folder/reviewmarks.h"
#include "mainwindow/folderpanel.h"
#include "support/testsupport.h"
#include "support/windowprobe.h"

#include <QCheckBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>

using ReviewMarks::Mark;

class TestReview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
    }

    // Each mark is written as its word and read back as itself, 插值 too.
    void everyMarkReadsBack()
    {
        const QString folder = dir->path();
        const QList<QPair<Mark, QByteArray>> marks{{Mark::Flagged, "flagged"},
                                                   {Mark::Reviewed, "reviewed"},
                                                   {Mark::Interpolated, "interpolated"}};
        for (const auto &mark : marks) {
            QCOMPARE(ReviewMarks::set(folder, "f.png", mark.first), ReviewMarks::Outcome::Written);
            QCOMPARE(ReviewMarks::read(folder).byName.value("f.png"), mark.first);
            QVERIFY(TestSupport::contents(ReviewMarks::fileFor(folder)).contains(mark.second));
        }
    }

    // Another person's marks, written between two of ours, are kept; taking a mark off
    // leaves the others.
    void setMergesWithTheFileAsItIsNow()
    {
        const QString folder = dir->path();
        QCOMPARE(ReviewMarks::set(folder, "a.jpg", Mark::Flagged), ReviewMarks::Outcome::Written);
        // Someone else's program, with its own idea of the file.
        QFile file(ReviewMarks::fileFor(folder));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray theirs = file.readAll();
        file.close();
        theirs.replace("\"a.jpg\"", "\"b.jpg\": {\"mark\": \"reviewed\"}, \"a.jpg\"");
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(theirs);
        file.close();
        QCOMPARE(ReviewMarks::set(folder, "c.jpg", Mark::Reviewed), ReviewMarks::Outcome::Written);
        QCOMPARE(ReviewMarks::set(folder, "a.jpg", Mark::None), ReviewMarks::Outcome::Written);
        const ReviewMarks::Marks marks = ReviewMarks::read(folder);
        QVERIFY(marks.readable);
        QCOMPARE(marks.byName,
                 (QHash<QString, Mark>{{"b.jpg", Mark::Reviewed}, {"c.jpg", Mark::Reviewed}}));
        QVERIFY(!QFile::exists(ReviewMarks::fileFor(folder) + ".lock"));
    }

    // A file that is not a list of marks is left as it is, and so is a folder that refuses
    // writing; nothing half-written stays behind.
    void unreadableOrUnwritableFilesAreLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("damaged") << QByteArray("{\"marks\": {\"a.jpg\": ");
        QTest::newRow("not an object") << QByteArray("[1, 2]");
        QTest::newRow("marks not an object") << QByteArray("{\"marks\": 3}");
    }
    void unreadableOrUnwritableFilesAreLeftAlone()
    {
        QFETCH(QByteArray, contents);
        const QString path = ReviewMarks::fileFor(dir->path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();
        QVERIFY(!ReviewMarks::read(dir->path()).readable);
        QCOMPARE(ReviewMarks::set(dir->path(), "a.jpg", Mark::Flagged),
                 ReviewMarks::Outcome::Unreadable);
        QCOMPARE(TestSupport::contents(path), contents);
        // A folder where the file is.
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path));
        QCOMPARE(ReviewMarks::set(dir->path(), "a.jpg", Mark::Flagged),
                 ReviewMarks::Outcome::Unreadable);
    }

    // F and R mark the picture shown, the same key again takes the mark off; the list shows
    // the marks, and 只看需复查 leaves the flagged pictures alone in it.
    void keysListAndFilter()
    {
        for (const char *name : {"a.png", "b.png", "c.png"})
            QVERIFY(TestSupport::makePicture(40, 30).save(dir->filePath(QLatin1String(name))));
        std::unique_ptr<MainWindow> window;
        std::unique_ptr<MainWindowProbe> probe;
        QVERIFY(showNewWindow(window, probe, true));
        window->openPicture(dir->filePath("a.png"));
        auto *panel = window->findChild<FolderPanel *>();
        auto *list = panel->findChild<QListWidget *>();
        auto *only = panel->findChild<QCheckBox *>();
        QTest::keyClick(window.get(), Qt::Key_F);
        window->openPicture(dir->filePath("b.png"));
        QTest::keyClick(window.get(), Qt::Key_R);
        window->openPicture(dir->filePath("c.png"));
        QTest::keyClick(window.get(), Qt::Key_F);
        QTest::keyClick(window.get(), Qt::Key_F); // off again
        // Written aside, in the order pressed.
        window->findChild<ReviewMarks::Keeper *>()->waitForDone();
        QCOMPARE(ReviewMarks::read(dir->path()).byName,
                 (QHash<QString, Mark>{{"a.png", Mark::Flagged}, {"b.png", Mark::Reviewed}}));
        QCOMPARE(list->item(0)->text(), QStringLiteral("a.png  需复查"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("b.png  已复查"));
        QCOMPARE(list->item(2)->text(), QStringLiteral("c.png"));
        only->setChecked(true);
        QVERIFY(!list->item(0)->isHidden() && list->item(1)->isHidden() &&
                list->item(2)->isHidden());
        only->setChecked(false);
        QVERIFY(!list->item(1)->isHidden());
        // A mark another person sets shows by itself.
        QCOMPARE(ReviewMarks::set(dir->path(), "c.png", Mark::Flagged),
                 ReviewMarks::Outcome::Written);
        QTRY_COMPARE(list->item(2)->text(), QStringLiteral("c.png  需复查"));
    }

    // What the program does not know of the file stays: other keys of the file and of the
    // entries. The file is written compact and read back whole.
    void unknownContentIsKeptAndTheFileIsCompact()
    {
        const QString path = ReviewMarks::fileFor(dir->path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\n  \"version\": 1,\n  \"team\": {\"lead\": \"mei\"},\n  \"marks\": {\n"
                   "    \"a.jpg\": {\"mark\": \"reviewed\", \"note\": \"edges ok\"},\n"
                   "    \"b.jpg\": {\"mark\": \"flagged\"}\n  }\n}\n");
        file.close();
        QCOMPARE(ReviewMarks::set(dir->path(), "a.jpg", Mark::Flagged),
                 ReviewMarks::Outcome::Written);
        const QByteArray written = TestSupport::contents(path);
        QVERIFY(!written.contains('\n'));
        const QJsonObject root = QJsonDocument::fromJson(written).object();
        QCOMPARE(root.value("team").toObject().value("lead").toString(), QStringLiteral("mei"));
        const QJsonObject a = root.value("marks").toObject().value("a.jpg").toObject();
        QCOMPARE(a.value("note").toString(), QStringLiteral("edges ok"));
        QCOMPARE(a.value("mark").toString(), QStringLiteral("flagged"));
        QCOMPARE(ReviewMarks::read(dir->path()).byName,
                 (QHash<QString, Mark>{{"a.jpg", Mark::Flagged}, {"b.jpg", Mark::Flagged}}));
    }

    // A full disk and a link out of the folder leave every byte where it was; the window
    // says so in a box, and the list shows the marks the file really has.
    void failedWritesKeepTheFile_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::newRow("full disk") << true;
        QTest::newRow("link out of the folder") << false;
    }
    void failedWritesKeepTheFile()
    {
        QFETCH(bool, fullDisk);
        QVERIFY(TestSupport::makePicture(40, 30).save(dir->filePath("a.png")));
        QTemporaryDir elsewhere;
        const QString path = ReviewMarks::fileFor(dir->path());
        const QString theirs = elsewhere.filePath("theirs.json");
        // Bigger than the lock file, so a disk that fills within the new file lets the lock be.
        QFile file(ReviewMarks::fileFor(fullDisk ? dir->path() : elsewhere.path()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"marks\": {\"b.png\": {\"mark\": \"reviewed\"}}, \"notes\": \"" +
                   QByteArray(400, 'n') + "\"}");
        file.close();
        if (!fullDisk) {
            QVERIFY(QFile::rename(ReviewMarks::fileFor(elsewhere.path()), theirs));
            QVERIFY(QFile::link(theirs, path));
        }
        const QString kept = fullDisk ? path : theirs;
        const QByteArray before = TestSupport::contents(kept);
        // The disk fills after the lock file, within the new review file.
        const qint64 room = fullDisk ? before.size() : 1 << 20;
        AtomicFile::Failure why = AtomicFile::Failure::None;
        TestSupport::withFileSizeLimit(room, [&] {
            QCOMPARE(ReviewMarks::set(dir->path(), "a.png", Mark::Flagged, &why),
                     ReviewMarks::Outcome::NotWritten);
        });
        QCOMPARE(why, fullDisk ? AtomicFile::Failure::WriteFailed
                               : AtomicFile::Failure::LinkOutOfFolder);
        QCOMPARE(TestSupport::contents(kept), before);

        std::unique_ptr<MainWindow> window;
        std::unique_ptr<MainWindowProbe> probe;
        QVERIFY(showNewWindow(window, probe, true));
        window->openPicture(dir->filePath("a.png"));
        auto *list = window->findChild<FolderPanel *>()->findChild<QListWidget *>();
        TestSupport::BoxAnswerer boxes({QMessageBox::Ok});
        TestSupport::withFileSizeLimit(room, [&] {
            QTest::keyClick(window.get(), Qt::Key_F);
            QTRY_COMPARE(boxes.seen.size(), 1);
        });
        QCOMPARE(boxes.seen.first().title, QStringLiteral("复查标记未保存"));
        QVERIFY2(boxes.seen.first().text.contains(fullDisk ? QStringLiteral("磁盘可能已满")
                                                           : QStringLiteral("链接")),
                 qPrintable(boxes.seen.first().text));
        QCOMPARE(TestSupport::contents(kept), before);
        QTRY_COMPARE(list->item(0)->text(), QStringLiteral("a.png"));
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
};

QTEST_MAIN(TestReview)
#include "tst_review.moc"
