// The overview: thumbnails and their cache keys, thumbnails never made on the UI thread, and
// the grid's order, marks and keys.

#include "folder/picturefolder.h"
#include "folder/reviewmarks.h"
#include "mainwindow/overview.h"
#include "support/testsupport.h"
#include "support/viewprobe.h"
#include "support/windowprobe.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestOverview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        dir.reset(new QTemporaryDir);
        QVERIFY(dir->isValid());
        picture = dir->filePath(QStringLiteral("cat.jpg"));
        QVERIFY(TestSupport::makePicture(800, 600).save(picture, "JPEG"));
    }

    // A thumbnail shows the picture and its files as they are now: any change, or other
    // colours, is another key.
    void keysFollowTheFiles_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("newKey");
        QTest::newRow("nothing") << QString() << false;
        QTest::newRow("picture rewritten") << QStringLiteral("picture") << true;
        QTest::newRow("mask saved") << QStringLiteral("mask") << true;
        QTest::newRow("class map saved") << QStringLiteral("map") << true;
        QTest::newRow("other colours") << QStringLiteral("colours") << true;
        QTest::newRow("replaced, its time kept") << QStringLiteral("replaced") << true;
        QTest::newRow("rewritten in place, its time kept") << QStringLiteral("in place") << true;
    }
    void keysFollowTheFiles()
    {
        QFETCH(QString, change);
        QFETCH(bool, newKey);
        const Thumbnails::Colours colours{0, qRgba(255, 0, 0, 140)};
        const QByteArray before = Thumbnails::keyOf(picture, colours);
        QTest::qWait(20); // a newer time, where the file system keeps milliseconds
        Thumbnails::Colours now = colours;
        if (change == QLatin1String("picture"))
            QVERIFY(TestSupport::makePicture(800, 601).save(picture, "JPEG"));
        else if (change == QLatin1String("mask"))
            QVERIFY(TestSupport::makePicture(800, 600).save(dir->filePath("cat_mask.jpg")));
        else if (change == QLatin1String("map"))
            QVERIFY(TestSupport::makePicture(800, 600).save(dir->filePath("cat_labels.png")));
        else if (change == QLatin1String("colours"))
            now[1] = qRgba(0, 0, 255, 140);
        if (change == QLatin1String("replaced") || change == QLatin1String("in place")) {
            // Another picture of the same size, with the old picture's time: `cp -p` does it.
            const QDateTime time = QFileInfo(picture).lastModified();
            const qint64 size = QFileInfo(picture).size();
            const QString other = dir->filePath(QStringLiteral("other.jpg"));
            QImage flipped = TestSupport::makePicture(800, 600).mirrored(true, false);
            QVERIFY(flipped.save(other, "JPEG"));
            QVERIFY(QFile::resize(other, size));
            if (change == QLatin1String("replaced")) {
                QVERIFY(QFile::remove(picture) && QFile::rename(other, picture));
            } else {
                QFile target(picture);
                QVERIFY(target.open(QIODevice::ReadWrite));
                target.write(TestSupport::contents(other));
            }
            QFile set(picture);
            QVERIFY(set.open(QIODevice::ReadWrite) &&
                    set.setFileTime(time, QFileDevice::FileModificationTime));
            set.close();
            QCOMPARE(QFileInfo(picture).lastModified(), time);
            QCOMPARE(QFileInfo(picture).size(), size);
        }
        QCOMPARE(Thumbnails::keyOf(picture, now) != before, newKey);
    }

    // Made on the maker's pool, the mask drawn over the picture, small in the cache, and
    // served from it the second time.
    void thumbnailsAreMadeInTheBackground()
    {
        QImage mask(800, 600, QImage::Format_Grayscale8);
        mask.fill(0);
        for (int y = 0; y < 300; ++y)
            memset(mask.scanLine(y), 255, 400);
        QVERIFY(mask.save(dir->filePath("cat_mask.jpg"), "JPEG", 100));
        const Thumbnails::Colours colours{0, qRgba(0, 0, 255, 255)};
        Thumbnails::Maker maker;
        maker.setColours(colours);
        QSignalSpy made(&maker, &Thumbnails::Maker::made);
        maker.request(picture);
        QVERIFY(made.wait(5000));
        const QImage thumbnail = made.first().at(1).value<QImage>();
        QCOMPARE(thumbnail.size(), QSize(192, 144));
        QCOMPARE(thumbnail.pixel(10, 10), qRgb(0, 0, 255)); // inside the mask
        QVERIFY(thumbnail.pixel(150, 120) != qRgb(0, 0, 255));
        QCOMPARE(Thumbnails::madeOnUiThread(), 0);
        const QByteArray key = Thumbnails::keyOf(picture, colours);
        const QFileInfo file(Thumbnails::cacheFolder() + '/' + key + ".jpg");
        QVERIFY(file.exists() && file.size() <= 40 * 1024);
        QCOMPARE(Thumbnails::cached(key).size(), thumbnail.size());
        // A damaged picture gives no thumbnail and no crash.
        QFile damaged(dir->filePath("broken.jpg"));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray("\xff\xd8\xff\xe0 not really", 16));
        damaged.close();
        maker.request(damaged.fileName());
        QVERIFY(made.wait(5000));
        QVERIFY(made.last().at(1).value<QImage>().isNull());
    }

    // A picture the editor would ask about before opening is never decoded for a thumbnail:
    // a PNG of a few hundred bytes that declares 40000 x 40000 pixels. The cache is the
    // user's alone.
    void tooBigPicturesAreNotDecodedAndTheCacheIsPrivate()
    {
        const QString huge = dir->filePath(QStringLiteral("huge.png"));
        QFile file(huge);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(TestSupport::pngAnnouncing(QSize(40000, 40000)));
        file.close();
        Thumbnails::Maker maker;
        maker.setColours({0, qRgba(255, 0, 0, 140)});
        QSignalSpy made(&maker, &Thumbnails::Maker::made);
        const int decodedBefore = Thumbnails::decoded();
        maker.request(huge);
        QVERIFY(made.wait(5000));
        QVERIFY(made.first().at(1).value<QImage>().isNull());
        QCOMPARE(made.first().at(2).toBool(), true);
        QCOMPARE(Thumbnails::decoded(), decodedBefore);

        maker.request(picture);
        QVERIFY(made.wait(5000));
        QCOMPARE(made.last().at(2).toBool(), false);
        QCOMPARE(Thumbnails::decoded(), decodedBefore + 1);
        const QFileInfo folder(Thumbnails::cacheFolder());
        QCOMPARE(int(folder.permissions() & 0x0077), 0); // nothing for group and others
        const QFileInfo thumbnail(Thumbnails::cacheFolder() + '/' +
                                  Thumbnails::keyOf(picture, maker.colours()) + ".jpg");
        QVERIFY(thumbnail.exists());
        QCOMPARE(int(thumbnail.permissions() & 0x0077), 0);
    }

    // The grid lists the folder in natural order, follows new files, takes the keys, and
    // opens the chosen picture.
    void gridOrderMarksAndKeys()
    {
        for (const char *name : {"img10.jpg", "img2.jpg", "img1.jpg"})
            QVERIFY(TestSupport::makePicture(80, 60).save(dir->filePath(QLatin1String(name))));
        std::unique_ptr<MainWindow> window;
        std::unique_ptr<MainWindowProbe> probe;
        QVERIFY(showNewWindow(window, probe, true));
        window->openPicture(dir->filePath("img1.jpg"));
        QTest::keyClick(window.get(), Qt::Key_G);
        auto *grid = window->findChild<Overview *>();
        QVERIFY(grid->isVisible() && !probe->view()->isVisible());
        QStringList names;
        for (int row = 0; row < grid->model()->rowCount(); ++row)
            names << grid->model()->index(row, 0).data().toString();
        QCOMPARE(names, QStringList({"cat.jpg", "img1.jpg", "img2.jpg", "img10.jpg"}));
        QCOMPARE(grid->currentPath(), dir->filePath("img1.jpg"));
        QTest::keyClick(grid, Qt::Key_Right);
        QCOMPARE(grid->currentPath(), dir->filePath("img2.jpg"));
        // The grid's keys are its own, not the editor's behind it.
        QTest::keyClick(grid, Qt::Key_PageDown);
        QTest::keyClick(grid, Qt::Key_D);
        QCOMPARE(probe->view()->getImagePath(), dir->filePath("img1.jpg"));
        QTest::keyClick(grid, Qt::Key_I, Qt::ControlModifier); // would invert the mask behind
        QCOMPARE(TestSupport::maskedPixels(VelmoraViewProbe::mask(*probe->view())), 0);
        grid->showCurrent(dir->filePath("img2.jpg"));
        QTest::keyClick(grid, Qt::Key_F);
        // Written aside, off the UI thread.
        QTRY_COMPARE(ReviewMarks::read(dir->path()).byName.value("img2.jpg"),
                     ReviewMarks::Mark::Flagged);
        // A mask saved meanwhile shows in its picture's thumbnail.
        QSignalSpy made(grid->maker(), &Thumbnails::Maker::made);
        QImage mask(80, 60, QImage::Format_Grayscale8);
        mask.fill(255);
        QVERIFY(mask.save(dir->filePath("img1_mask.jpg"), "JPEG", 100));
        window->findChild<PictureFolder *>()->rescan();
        grid->viewport()->repaint();
        QTRY_VERIFY(std::any_of(made.cbegin(), made.cend(), [&](const QList<QVariant> &one) {
            const QImage thumbnail = one.at(1).value<QImage>();
            return one.at(0).toString() == dir->filePath("img1.jpg") && !thumbnail.isNull() &&
                   qRed(thumbnail.pixel(5, 5)) > 2 * qBlue(thumbnail.pixel(5, 5));
        }));
        // A new file joins the grid.
        QVERIFY(TestSupport::makePicture(80, 60).save(dir->filePath("img3.jpg")));
        window->findChild<PictureFolder *>()->rescan();
        QCOMPARE(grid->model()->rowCount(), 5);
        grid->showCurrent(dir->filePath("img3.jpg"));
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(probe->view()->getImagePath(), dir->filePath("img3.jpg"));
        QVERIFY(!grid->isVisible() && probe->view()->isVisible());
        QTest::keyClick(window.get(), Qt::Key_G);
        QVERIFY(grid->isVisible());
        QTest::keyClick(grid, Qt::Key_Escape);
        QVERIFY(!grid->isVisible());
        QCOMPARE(Thumbnails::madeOnUiThread(), 0);
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString picture;
};

QTEST_MAIN(TestOverview)
#include "tst_overview.moc"
