// The rules a picture's session keeps over its files, answered through its asker: no window,
// no box, no widget (this test links the library without widgets). What can go wrong is a
// save that destroys a file the user never saw, writes where it must not, or loses track of
// what is on disk.

#include "document/maskdocument.h"
#include "document/regionwork.h"
#include "files/classfiles.h"
#include "files/maskfile.h"
#include "folder/maskwatch.h"
#include "recovery/recovery.h"
#include "session/picturesession.h"
#include "support/scriptedasker.h"
#include "support/testfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

namespace {

using Topic = SessionAsker::Topic;
using TestSupport::openIn;
using TestSupport::ScriptedAsker;

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString picture;
    QString maskPath;
    const QSize size{40, 30};

    QTemporaryDir recoveryDir;

    QString path(const QString &name) const { return dir.filePath(name); }
    QStringList recoveryFolders() const { return {recoveryDir.filePath(QStringLiteral("r"))}; }

private slots:
    void init()
    {
        QVERIFY(dir.isValid());
        QDir(dir.path()).removeRecursively();
        QVERIFY(QDir().mkpath(dir.path()));
        picture = path(QStringLiteral("cat.png"));
        maskPath = path(QStringLiteral("cat_mask.png"));
        QVERIFY(TestSupport::makePicture(size.width(), size.height()).save(picture));
        QVERIFY(TestSupport::maskOfRows(size, 3).save(maskPath));
    }

    // A save beside the picture goes ahead unasked only over what the session read or wrote;
    // anything else is asked about, and no leaves every file as it was.
    void saveAsksBeforeLosingWhatWasNotSeen_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("topic");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("written");
        const struct
        {
            const char *situation;
            Topic topic;
        } cases[] = {
            {"mask changed", Topic::ReplaceChangedMask},
            {"mask unread", Topic::ReplaceUnreadMask},
            {"map changed", Topic::ReplaceChangedMap},
            {"picture replaced", Topic::PictureChanged},
            {"link out of folder", Topic::WriteThroughLink},
        };
        for (const auto &row : cases)
            for (const bool answer : {false, true}) {
                // A picture replaced stops the save whatever the answer: yes asks for
                // another file instead.
                const bool written = answer && row.topic != Topic::PictureChanged;
                QTest::addRow("%s, %s", row.situation, answer ? "yes" : "no")
                    << QString::fromLatin1(row.situation) << int(row.topic) << answer << written;
            }
    }
    void saveAsksBeforeLosingWhatWasNotSeen()
    {
        QFETCH(QString, situation);
        QFETCH(int, topic);
        QFETCH(bool, answer);
        QFETCH(bool, written);
        QTemporaryDir elsewhere;
        const QString outside = elsewhere.filePath(QStringLiteral("kept.png"));
        if (situation == QLatin1String("mask unread")) {
            QVERIFY(write(maskPath, "not a picture"));
        } else if (situation == QLatin1String("link out of folder")) {
            QVERIFY(QFile::remove(maskPath));
            QVERIFY(QFile::link(outside, maskPath));
        } else if (situation == QLatin1String("map changed")) {
            QVERIFY(write(path(QStringLiteral("labels.txt")), "road\ncar\n"));
        }

        ScriptedAsker asker;
        asker.answers[Topic(topic)] = answer;
        PictureSession session(asker, recoveryFolders());
        QVERIFY(openIn(session, picture));
        QVERIFY(session.document()->applyMask(TestSupport::maskOfRows(size, 10)));

        const QString mapPath = ClassFiles::mapPathFor(picture);
        if (situation == QLatin1String("mask changed"))
            QVERIFY(TestSupport::maskOfRows(size, 20).save(maskPath));
        else if (situation == QLatin1String("map changed"))
            QVERIFY(ClassFiles::toIndexed(TestSupport::maskOfRows(size, 1)).save(mapPath));
        else if (situation == QLatin1String("picture replaced"))
            QVERIFY(TestSupport::makePicture(size.height(), size.width()).save(picture));
        const QString watched = situation == QLatin1String("map changed") ? mapPath : maskPath;
        const QByteArray before = TestSupport::contents(watched);

        const PictureSession::Stored stored = session.store();
        QCOMPARE(asker.asked, QList<Topic>{Topic(topic)});
        QCOMPARE(stored.went, written);
        QCOMPARE(stored.saveElsewhere, answer && !written);
        QCOMPARE(session.document()->isModified(), !written);
        const QString target =
            situation == QLatin1String("link out of folder") ? outside : maskPath;
        if (written) {
            QCOMPARE(stored.outcome, MaskFile::StoreOutcome::Written);
            QCOMPARE(TestSupport::maskedPixels(QImage(target)), 10 * size.width());
            // The file is now what the session wrote: the next save asks nothing.
            QVERIFY(session.document()->applyMask(TestSupport::maskOfRows(size, 12)));
            asker.asked.clear();
            QVERIFY(session.store().went);
            QVERIFY(asker.asked.isEmpty());
        } else {
            QCOMPARE(TestSupport::contents(watched), before);
            QVERIFY(!QFile::exists(outside));
        }
    }

    // The picture itself, moved away, or reached through a hard link under the mask's name:
    // nothing is written and the user is told.
    void saveNeverWritesOverThePicture()
    {
        ScriptedAsker asker;
        PictureSession session(asker, recoveryFolders());
        QVERIFY(openIn(session, picture));
        QVERIFY(session.document()->applyMask(TestSupport::maskOfRows(size, 10)));
        const QByteArray pictureBytes = TestSupport::contents(picture);

        QVERIFY(QFile::remove(maskPath));
        QVERIFY(::link(QFile::encodeName(picture).constData(),
                       QFile::encodeName(maskPath).constData()) == 0);
        QVERIFY(!session.store().went);
        QCOMPARE(asker.told, QList<Topic>{Topic::OntoPicture});

        AtomicFile::Failure failure = AtomicFile::Failure::WriteFailed;
        QVERIFY(!session.saveAs(picture, &failure));
        QVERIFY(!session.exportClassMap(picture, &failure));
        QCOMPARE(failure, AtomicFile::Failure::None); // told, not failed
        QCOMPARE(asker.told.count(Topic::OntoPicture), 3);
        QCOMPARE(TestSupport::contents(picture), pictureBytes);

        QVERIFY(QFile::remove(maskPath));
        QVERIFY(QFile::rename(picture, path(QStringLiteral("moved.png"))));
        QVERIFY(!session.store().went);
        QCOMPARE(asker.told.last(), Topic::PictureGone);
        QVERIFY(!QFile::exists(maskPath));
        QVERIFY(asker.asked.isEmpty());
    }

    // A full disk leaves the old mask file whole; the answer given before the failure holds
    // for the same file, so the save after space was made asks nothing again.
    void fullDiskKeepsTheOldFileAndTheAnswer()
    {
        ScriptedAsker asker;
        asker.answers[Topic::ReplaceChangedMask] = true;
        PictureSession session(asker, recoveryFolders());
        // Noise does not compress: the mask file can't fit under the limit.
        QImage noise(size * 20, QImage::Format_Grayscale8);
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                noise.scanLine(y)[x] = uchar(((x * 7919) ^ (y * 104729)) % 251 > 125 ? 255 : 0);
        const QString big = path(QStringLiteral("big.png"));
        QVERIFY(TestSupport::makePicture(noise.width(), noise.height()).save(big));
        QVERIFY(openIn(session, big));
        QVERIFY(session.document()->applyMask(noise));
        const QString bigMask = path(QStringLiteral("big_mask.png"));
        QVERIFY(TestSupport::maskOfRows(noise.size(), 5)
                    .save(bigMask)); // another program wrote it meanwhile
        const QByteArray before = TestSupport::contents(bigMask);

        PictureSession::Stored stored;
        TestSupport::withFileSizeLimit(2000, [&] { stored = session.store(); });
        QVERIFY(stored.went);
        QCOMPARE(stored.outcome, MaskFile::StoreOutcome::WriteFailed);
        QCOMPARE(TestSupport::contents(bigMask), before);
        QVERIFY(session.document()->isModified());
        QCOMPARE(asker.asked.size(), 1);

        stored = session.store();
        QCOMPARE(stored.outcome, MaskFile::StoreOutcome::Written);
        QCOMPARE(asker.asked.size(), 1);
        QVERIFY(!session.document()->isModified());
    }

    // A mask another program wrote is read in as the saved state; the next save replaces it
    // unasked, since the user now sees it.
    void reloadTakesTheFileAsSeen()
    {
        ScriptedAsker asker;
        PictureSession session(asker, recoveryFolders());
        QVERIFY(openIn(session, picture));
        QVERIFY(!session.maskFileChanged());
        QVERIFY(TestSupport::maskOfRows(size, 7).save(maskPath));
        QVERIFY(session.maskFileChanged());
        QVERIFY(session.reloadMaskFile());
        QVERIFY(!session.maskFileChanged());
        QCOMPARE(TestSupport::maskedPixels(session.document()->mask()), 7 * size.width());
        QVERIFY(!session.document()->isModified());
        QVERIFY(!session.document()->canUndo());
        QVERIFY(session.document()->applyMask(TestSupport::maskOfRows(size, 2)));
        QVERIFY(session.store().went);
        QVERIFY(asker.asked.isEmpty());
    }

    // Unsaved work has a copy, of this picture only, until it is saved; the watch follows
    // the mask file of the picture open.
    void unsavedWorkIsCopiedUntilSaved()
    {
        ScriptedAsker asker;
        PictureSession session(asker, recoveryFolders());
        QVERIFY(openIn(session, picture));
        QVERIFY(session.document()->applyMask(TestSupport::maskOfRows(size, 9)));
        QVERIFY(session.recovery().writeNow());
        const QVector<Recovery::Found> found = session.recovery().find(picture);
        QCOMPARE(found.size(), 1);
        QCOMPARE(TestSupport::maskedPixels(Recovery::read(found.first().file)), 9 * size.width());

        QVERIFY(session.store().went);
        QTRY_VERIFY(session.recovery().find(picture).isEmpty());
        QSignalSpy touched(&session.maskWatch(), &MaskWatch::touched);
        QTest::qWait(400); // the session's own write has settled
        touched.clear();
        QVERIFY(TestSupport::maskOfRows(size, 1).save(maskPath)); // another program
        QTRY_VERIFY(!touched.isEmpty());
    }

    // The document's region work runs without a view: a result becomes one step; one that
    // comes after a cancel, or after another picture was opened, is dropped.
    void regionWorkNeedsNoView()
    {
        QImage halves(size, QImage::Format_RGB32);
        halves.fill(Qt::white);
        for (int y = 0; y < size.height(); ++y)
            std::fill_n(reinterpret_cast<QRgb *>(halves.scanLine(y)), size.width() / 2,
                        qRgb(0, 0, 0));
        QVERIFY(halves.save(picture));
        QVERIFY(QFile::remove(maskPath));
        ScriptedAsker asker;
        PictureSession session(asker, recoveryFolders());
        QVERIFY(openIn(session, picture));
        MaskDocument *document = session.document();
        RegionWork &regions = document->regions();
        QSignalSpy busy(&regions, &RegionWork::busyChanged);

        regions.wand(QPoint(2, 2), 10, true);
        QVERIFY(regions.isWorking());
        QTRY_VERIFY(!regions.isWorking());
        QCOMPARE(busy.size(), 2);
        QCOMPARE(TestSupport::maskedPixels(document->mask()), size.width() / 2 * size.height());
        QCOMPARE(document->historyCount(), 1);

        regions.wand(QPoint(size.width() - 2, 2), 10, true);
        regions.cancel();
        QTest::qWait(100); // the work ends meanwhile; its result must not go on
        QCOMPARE(TestSupport::maskedPixels(document->mask()), size.width() / 2 * size.height());

        regions.wand(QPoint(size.width() - 2, 2), 10, true);
        QVERIFY(openIn(session, picture));
        QVERIFY(!regions.isWorking());
        QTest::qWait(100);
        QCOMPARE(TestSupport::maskedPixels(document->mask()), 0);
        QCOMPARE(document->historyCount(), 0);
    }

    // The mask of the picture left is carried onto the next of its size, as one step; onto
    // one of another size it can't be.
    void carryBringsTheMaskOfThePictureLeft()
    {
        const QString next = path(QStringLiteral("dog.png"));
        const QString other = path(QStringLiteral("tall.png"));
        QVERIFY(TestSupport::makePicture(size.width(), size.height()).save(next));
        QVERIFY(TestSupport::makePicture(size.height(), size.width()).save(other));
        ScriptedAsker asker;
        PictureSession session(asker, recoveryFolders());
        QCOMPARE(session.carryFromLast(false), PictureSession::Carry::NothingShown);
        QVERIFY(openIn(session, picture)); // its mask file has 3 rows
        QVERIFY(openIn(session, next));
        QCOMPARE(session.lastShown().path, picture);
        QCOMPARE(session.carryFromLast(false), PictureSession::Carry::Started);
        QCOMPARE(TestSupport::maskedPixels(session.document()->mask()), 3 * size.width());
        QCOMPARE(session.document()->historyCount(), 1);
        QVERIFY(session.document()->isModified());

        QVERIFY(openIn(session, other));
        QCOMPARE(session.lastShown().path, next);
        QCOMPARE(session.carryFromLast(false), PictureSession::Carry::OtherSize);
        QCOMPARE(TestSupport::maskedPixels(session.document()->mask()), 0);
    }

    // labels.txt reordered behind the session's back: the saved numbers follow the list as
    // it is now, so each still names the class the user painted. A list that is not UTF-8
    // is never rewritten.
    void classNumbersFollowTheListOnDisk()
    {
        const QString list = path(QStringLiteral("labels.txt"));
        QVERIFY(write(list, "road\ncar\n"));
        ScriptedAsker asker;
        PictureSession session(asker, recoveryFolders());
        QVERIFY(openIn(session, picture));
        MaskDocument *document = session.document();
        QVERIFY(document->hasClasses());
        document->setCurrentClass(2); // car
        QVERIFY(document->applyMask(TestSupport::maskOfRows(size, 4)));
        QVERIFY(write(list, "car\nroad\n"));
        QVERIFY(session.store().went);
        const QImage map(ClassFiles::mapPathFor(picture));
        QCOMPARE(map.pixelIndex(0, 0), 1); // car is first now
        QCOMPARE(map.pixelIndex(0, 10), 0);
        QCOMPARE(document->classNames(), (QStringList{"car", "road"}));

        QVERIFY(write(list, QByteArray("car\nr\xf6\x61\x64\n")));
        QVERIFY(openIn(session, picture));
        QCOMPARE(session.classList().rewritable, false);
        QVERIFY(!session.writeClassList({"car", "road", "tree"}));
        QCOMPARE(asker.told.last(), Topic::ListNotRewritable);
        QCOMPARE(TestSupport::contents(list), QByteArray("car\nr\xf6\x61\x64\n"));
    }
};

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
