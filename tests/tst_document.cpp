// The document as the window keeps it: its title, the question before unsaved strokes are
// dropped (by the open dialog, a drop, or closing), and pictures that come from outside.

#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include "mainwindow/progress.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QUrl>
#include <QWindow>
#include <QtConcurrent>
#include <QtTest>

namespace {

const QString guardTitle = QStringLiteral("保存更改");
const QString guardText = QStringLiteral("当前掩膜有未保存的修改，是否保存？");

// Answers the guard, and in a failing save the error box after it.
QList<QMessageBox::StandardButton> answersFor(const QString &answer)
{
    if (answer == QLatin1String("save"))
        return {QMessageBox::Save};
    if (answer == QLatin1String("discard"))
        return {QMessageBox::Discard};
    if (answer == QLatin1String("cancel"))
        return {QMessageBox::Cancel};
    return {QMessageBox::Save, QMessageBox::Ok}; // a save that fails
}

} // namespace

class TestDocument : public QObject
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

    // Work that takes more than about a second shows its progress; meanwhile no key reaches
    // the window, and 取消 ends the wait. Quick work shows nothing.
    void longWorkShowsProgressAndCanBeCancelled_data()
    {
        QTest::addColumn<int>("workMs");
        QTest::addColumn<bool>("cancellable");
        QTest::newRow("quick") << 50 << true;
        QTest::newRow("long, cancelled") << 8000 << true;
        QTest::newRow("long, no cancel") << 1600 << false;
    }
    void longWorkShowsProgressAndCanBeCancelled()
    {
        QFETCH(int, workMs);
        QFETCH(bool, cancellable);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QSemaphore done;
        QFuture<void> work = QtConcurrent::run([&done, workMs] { done.tryAcquire(1, workMs); });
        QString seenLabel;
        bool seenCancel = false;
        QTimer::singleShot(300, [&] { QTest::keyClick(probe->view(), Qt::Key_B); });
        QTimer::singleShot(1400, [&] {
            auto *progress = window->findChild<QProgressDialog *>();
            if (!progress || !progress->isVisible())
                return;
            seenLabel = progress->labelText();
            const QList<QPushButton *> buttons = progress->findChildren<QPushButton *>();
            seenCancel = !buttons.isEmpty();
            if (seenCancel)
                buttons.first()->click();
        });
        const bool finished = waitShowingProgress(work, window.get(), QStringLiteral("t"),
                                                  QStringLiteral("正在打开 x…"), cancellable);
        const bool cancelled = workMs > 2000;
        QCOMPARE(finished, !cancelled);
        QCOMPARE(seenLabel.isEmpty(), workMs < 1000);
        QCOMPARE(seenCancel, workMs > 1000 && cancellable);
        done.release();
        work.waitForFinished();
        QTest::qWait(400); // the key sent after quick work has landed by now
        QCOMPARE(probe->view()->getMode(), workMs < 300 ? EditorMode::Doodle : EditorMode::Move);
    }

    void titleShowsThePictureAndItsUnsavedChanges()
    {
        QCOMPARE(shownTitle(), QStringLiteral("QtVelmora v2.0"));
        window->openPicture(picture(QStringLiteral("cat.png")));
        QCOMPARE(window->windowTitle(), QStringLiteral("cat.png[*] - QtVelmora v2.0"));
        QCOMPARE(shownTitle(), QStringLiteral("cat.png - QtVelmora v2.0"));

        paint();
        QCOMPARE(shownTitle(), QStringLiteral("cat.png* - QtVelmora v2.0"));
        probe->view()->undo(); // back to the state on disk
        QCOMPARE(shownTitle(), QStringLiteral("cat.png - QtVelmora v2.0"));
        probe->view()->redo();
        QVERIFY(window->isWindowModified());
        {
            TestSupport::BoxAnswerer boxes({QMessageBox::Yes, QMessageBox::Ok});
            probe->saveMask();
        }
        QCOMPARE(shownTitle(), QStringLiteral("cat.png - QtVelmora v2.0"));

        // A name that holds Qt's placeholder is shown as it is.
        window->openPicture(picture(QStringLiteral("a[*]b.png")));
        QCOMPARE(shownTitle(), QStringLiteral("a[*]b.png - QtVelmora v2.0"));
        paint();
        QCOMPARE(shownTitle(), QStringLiteral("a[*]b.png* - QtVelmora v2.0"));
    }

    void guardBeforeOpeningAnother_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("answer");
        for (const char *way : {"dialog", "drop"}) {
            for (const char *answer : {"save", "discard", "cancel", "failing save"})
                QTest::addRow("%s, %s", way, answer) << way << answer;
        }
    }
    void guardBeforeOpeningAnother()
    {
        QFETCH(QString, way);
        QFETCH(QString, answer);
        const QString cat = picture(QStringLiteral("cat.png"));
        const QString dog = picture(QStringLiteral("dog.png"));
        const QString catMask = dir->filePath(QStringLiteral("cat_mask.png"));
        window->openPicture(cat);
        paint();
        // A full disk fails the save: a few bytes of any file and no more.
        const qint64 diskRoom = answer == QLatin1String("failing save") ? 10 : RLIM_INFINITY;

        TestSupport::BoxAnswerer boxes(answersFor(answer));
        bool dropped = true;
        TestSupport::withFileSizeLimit(diskRoom, [&] {
            if (way == QLatin1String("dialog")) {
                TestSupport::answerFileDialog(dog);
                probe->openImage();
            } else {
                dropped = drop(urlsOf({dog}));
            }
        });
        QVERIFY(dropped);

        QVERIFY(!boxes.seen.isEmpty());
        const TestSupport::SeenBox &guard = boxes.seen.first();
        QCOMPARE(guard.title, guardTitle);
        QCOMPARE(guard.text, guardText);
        QCOMPARE(guard.buttonTexts.size(), 3);
        for (const char *text : {"保存", "不保存", "取消"})
            QVERIFY(guard.buttonTexts.contains(QString::fromUtf8(text)));
        QCOMPARE(guard.defaultButton, QStringLiteral("保存"));
        QCOMPARE(guard.escapeButton, QStringLiteral("取消"));

        const bool goesOn = answer == QLatin1String("save") || answer == QLatin1String("discard");
        QCOMPARE(probe->view()->getImagePath(), goesOn ? dog : cat);
        QCOMPARE(probe->view()->isModified(), !goesOn);
        QCOMPARE(shownTitle(), goesOn ? QStringLiteral("dog.png - QtVelmora v2.0")
                                      : QStringLiteral("cat.png* - QtVelmora v2.0"));
        QCOMPARE(QFileInfo(catMask).isFile(), answer == QLatin1String("save"));
        if (answer == QLatin1String("save")) {
            QCOMPARE(boxes.seen.size(), 1); // no confirmation, no success box
            QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已保存: ") + catMask);
            QCOMPARE(TestSupport::maskedPixels(MaskFile::readLayer(catMask, QSize(80, 60))),
                     TestSupport::maskedPixels(painted));
        }
        if (answer == QLatin1String("failing save")) {
            QCOMPARE(boxes.seen.size(), 2);
            QCOMPARE(boxes.seen.at(1).title, QStringLiteral("错误"));
            QCOMPARE(boxes.seen.at(1).text, QStringLiteral("保存失败，请检查权限！"));
        }
    }

    void quietSaveOfAnEmptyMaskRemovesTheOldFile()
    {
        const QString cat = picture(QStringLiteral("cat.png"));
        const QString catMask = dir->filePath(QStringLiteral("cat_mask.png"));
        QImage old(80, 60, QImage::Format_Grayscale8);
        old.fill(255);
        QVERIFY(old.save(catMask));
        window->openPicture(cat);
        probe->view()->clearMask();
        QVERIFY(probe->view()->isModified());
        TestSupport::BoxAnswerer boxes({QMessageBox::Save});
        window->openPicture(picture(QStringLiteral("dog.png")));
        QCOMPARE(boxes.seen.size(), 1);
        QVERIFY(!QFile::exists(catMask));
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("已删除旧掩膜: ") + catMask);
    }

    void noQuestionWithoutChangesOrWhenTheDialogIsCancelled()
    {
        window->openPicture(picture(QStringLiteral("cat.png")));
        // A stroke outside the picture is an undo step that changes nothing.
        probe->view()->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*probe->view(), QPointF(-50, -50), QPointF(-30, -40));
        TestSupport::BoxAnswerer boxes({});
        window->openPicture(picture(QStringLiteral("dog.png")));
        QCOMPARE(probe->view()->getImagePath(), dir->filePath(QStringLiteral("dog.png")));

        paint();
        TestSupport::answerFileDialog(QString());
        probe->openImage();
        QVERIFY(boxes.seen.isEmpty());
        QVERIFY(probe->view()->isModified());
    }

    void failedLoadAfterTheGuardKeepsTheDocument()
    {
        const QString cat = picture(QStringLiteral("cat.png"));
        window->openPicture(cat);
        paint();
        const QString broken = dir->filePath(QStringLiteral("broken.png"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture");
        file.close();
        TestSupport::BoxAnswerer boxes({QMessageBox::Discard});
        window->openPicture(broken);
        QCOMPARE(boxes.seen.size(), 1);
        QCOMPARE(probe->view()->getImagePath(), cat);
        QVERIFY(probe->view()->isModified()); // the strokes are still there
        QCOMPARE(probe->statusLabel()->text(), QStringLiteral("无法加载: ") + broken);
        QCOMPARE(shownTitle(), QStringLiteral("cat.png* - QtVelmora v2.0"));
    }

    void guardBeforeClosing_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("save") << "save" << true;
        QTest::newRow("discard") << "discard" << true;
        QTest::newRow("cancel") << "cancel" << false;
        QTest::newRow("failing save") << "failing save" << false;
    }
    void guardBeforeClosing()
    {
        QFETCH(QString, answer);
        QFETCH(bool, closes);
        window->openPicture(picture(QStringLiteral("cat.png")));
        paint();
        const qint64 diskRoom = answer == QLatin1String("failing save") ? 10 : RLIM_INFINITY;
        TestSupport::BoxAnswerer boxes(answersFor(answer));
        QCloseEvent event;
        TestSupport::withFileSizeLimit(diskRoom,
                                       [&] { QApplication::sendEvent(window.get(), &event); });
        QCOMPARE(event.isAccepted(), closes);
        QCOMPARE(boxes.seen.first().title, guardTitle);
        QCOMPARE(QFileInfo(dir->filePath(QStringLiteral("cat_mask.png"))).isFile(),
                 answer == QLatin1String("save"));
    }

    void closingWithoutChangesAsksNothing()
    {
        window->openPicture(picture(QStringLiteral("cat.png")));
        TestSupport::BoxAnswerer boxes({});
        QVERIFY(window->close());
        QVERIFY(boxes.seen.isEmpty());
    }

    void dropsTakeOnlyALocalPictureFirst_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("picture") << "picture" << true;
        QTest::newRow("upper-case suffix") << "CAT.JPG" << true;
        QTest::newRow("several, a picture first") << "several" << true;
        QTest::newRow("text") << "text" << false;
        QTest::newRow("remote address") << "remote" << false;
        QTest::newRow("other suffix") << "notes.txt" << false;
        QTest::newRow("a picture second") << "second" << false;
        QTest::newRow("folder") << "folder" << false;
    }
    void dropsTakeOnlyALocalPictureFirst()
    {
        QFETCH(QString, kind);
        QFETCH(bool, accepted);
        const QString cat = picture(QStringLiteral("cat.png"));
        QMimeData data;
        if (kind == QLatin1String("picture"))
            data.setUrls(urlsOf({cat}));
        else if (kind == QLatin1String("CAT.JPG"))
            data.setUrls(urlsOf({picture(QStringLiteral("CAT.JPG"))}));
        else if (kind == QLatin1String("several"))
            data.setUrls(urlsOf({cat, dir->filePath(QStringLiteral("notes.txt"))}));
        else if (kind == QLatin1String("text"))
            data.setText(cat);
        else if (kind == QLatin1String("remote"))
            data.setUrls({QUrl(QStringLiteral("https://example.org/cat.png"))});
        else if (kind == QLatin1String("notes.txt"))
            data.setUrls(urlsOf({dir->filePath(QStringLiteral("notes.txt"))}));
        else if (kind == QLatin1String("second"))
            data.setUrls(urlsOf({dir->filePath(QStringLiteral("notes.txt")), cat}));
        else if (QDir(dir->path()).mkdir(QStringLiteral("photos.png")))
            data.setUrls(urlsOf({dir->filePath(QStringLiteral("photos.png"))}));

        QCOMPARE(dropData(data), accepted);
        QCOMPARE(!probe->view()->getImagePath().isEmpty(), accepted);
        if (!accepted)
            QCOMPARE(probe->statusLabel()->text(), QStringLiteral("请打开图片"));
    }

    void dropDuringAStrokeIsIgnored()
    {
        const QString cat = picture(QStringLiteral("cat.png"));
        window->openPicture(cat);
        probe->view()->setMode(EditorMode::Doodle);
        VelmoraViewProbe::beginStroke(*probe->view(), QPointF(10, 10));
        TestSupport::BoxAnswerer boxes({});
        drop(urlsOf({picture(QStringLiteral("dog.png"))}));
        VelmoraViewProbe::endStroke(*probe->view());
        QVERIFY(boxes.seen.isEmpty());
        QCOMPARE(probe->view()->getImagePath(), cat);
    }

    void oddPathsFromOutsideFailCalmly_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("folder") << "folder";
        QTest::newRow("zero bytes") << "empty";
        QTest::newRow("spaces, Chinese, %1") << "named";
    }
    void oddPathsFromOutsideFailCalmly()
    {
        QFETCH(QString, kind);
        QString path = dir->filePath(QStringLiteral("gone.png"));
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("album")));
            path = dir->filePath(QStringLiteral("album"));
        } else if (kind == QLatin1String("empty")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (kind == QLatin1String("named")) {
            path = picture(QStringLiteral("我的 %1 猫.png"));
        }
        window->openPicture(path);
        if (kind == QLatin1String("named")) {
            QCOMPARE(probe->statusLabel()->text(), QStringLiteral("已加载: ") + path);
            QCOMPARE(shownTitle(), QStringLiteral("我的 %1 猫.png - QtVelmora v2.0"));
        } else {
            QCOMPARE(probe->statusLabel()->text(), QStringLiteral("无法加载: ") + path);
            QCOMPARE(shownTitle(), QStringLiteral("QtVelmora v2.0"));
        }
    }

private:
    QString picture(const QString &name)
    {
        const QString path = dir->filePath(name);
        if (!QFile::exists(path) && !TestSupport::makePicture(80, 60).save(path))
            return QString();
        return path;
    }
    void paint()
    {
        probe->view()->setMode(EditorMode::Doodle);
        VelmoraViewProbe::stroke(*probe->view(), QPointF(10, 10), QPointF(60, 40));
        painted = VelmoraViewProbe::mask(*probe->view()).copy();
    }
    QString shownTitle() const { return window->windowHandle()->title(); }
    static QList<QUrl> urlsOf(const QStringList &paths)
    {
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls << QUrl::fromLocalFile(path);
        return urls;
    }
    // Drags `data` over the editor view and drops it there, as the desktop would; the view
    // itself takes no drops, so they reach the window. Returns whether the drag was taken.
    bool dropData(const QMimeData &data)
    {
        QWidget *target = probe->view()->viewport();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted();
    }
    bool drop(const QList<QUrl> &urls)
    {
        QMimeData data;
        data.setUrls(urls);
        return dropData(data);
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MainWindowProbe> probe;
    QImage painted;
};

QTEST_MAIN(TestDocument)
#include "tst_document.moc"
