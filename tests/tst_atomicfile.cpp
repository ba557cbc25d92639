// The one writer every file goes through, as things really happen: a full disk, fifos,
// devices and folders where a file should be, links out of the folder, a folder that refuses
// new files, permissions. On every failure the old file stays byte for byte.

#include "files/atomicfile.h"
#include "support/testsupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QByteArray oldBytes = QByteArrayLiteral("what the user had");

mode_t modeOf(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

class TestAtomicFile : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        dir.reset(new QTemporaryDir);
        elsewhere.reset(new QTemporaryDir);
        QVERIFY(dir->isValid() && elsewhere->isValid());
    }

    // `target` names what is at the path before the write; `expected` what the write says;
    // `written` whether the new bytes end up at `lands` (relative to the test's folder, or
    // an absolute path).
    void everyGuard_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("written");
        using F = AtomicFile::Failure;
        QTest::newRow("new file") << "none" << int(F::None) << true;
        QTest::newRow("old file replaced") << "file" << int(F::None) << true;
        QTest::newRow("full disk") << "file, full disk" << int(F::WriteFailed) << false;
        QTest::newRow("contents failed") << "file, fill fails" << int(F::WriteFailed) << false;
        QTest::newRow("fifo") << "fifo" << int(F::NotRegular) << false;
        QTest::newRow("folder") << "folder" << int(F::NotRegular) << false;
        QTest::newRow("link to a device") << "link to /dev/null" << int(F::NotRegular) << false;
        QTest::newRow("link in the folder") << "link inside" << int(F::None) << true;
        QTest::newRow("link out of the folder")
            << "link outside" << int(F::LinkOutOfFolder) << false;
        QTest::newRow("link out, agreed") << "link outside, agreed" << int(F::None) << true;
        QTest::newRow("read-only folder")
            << "file, read-only folder" << int(F::CannotCreate) << false;
    }
    void everyGuard()
    {
        QFETCH(QString, target);
        QFETCH(int, expected);
        QFETCH(bool, written);
        const QString path = dir->filePath(QStringLiteral("out.json"));
        const QString inside = dir->filePath(QStringLiteral("real.json"));
        const QString outside = elsewhere->filePath(QStringLiteral("theirs.json"));
        for (const QString &file : {inside, outside}) {
            QFile old(file);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(oldBytes);
        }
        QString lands = path;
        AtomicFile::Options options;
        if (target.startsWith(QLatin1String("file"))) {
            QVERIFY(QFile::copy(inside, path));
        } else if (target == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (target == QLatin1String("folder")) {
            QVERIFY(QDir().mkdir(path));
        } else if (target == QLatin1String("link to /dev/null")) {
            QVERIFY(QFile::link(QStringLiteral("/dev/null"), path));
        } else if (target == QLatin1String("link inside")) {
            QVERIFY(QFile::link(QStringLiteral("real.json"), path));
            lands = inside;
        } else if (target.startsWith(QLatin1String("link outside"))) {
            QVERIFY(QFile::link(outside, path));
            lands = outside;
            if (target.endsWith(QLatin1String("agreed")))
                options.agreedLinkTarget = outside;
        }
        // Nothing is read from a fifo or a device: only a regular file has bytes to keep.
        const bool regular = QFileInfo(lands).isFile();
        const QByteArray before = regular ? TestSupport::contents(lands) : QByteArray();
        const QByteArray bytes = QByteArray("{\"new\": true}").repeated(200);
        AtomicFile::Failure failure = AtomicFile::Failure::None;
        const auto write = [&] {
            failure = AtomicFile::write(
                path,
                [&](QIODevice &device) {
                    return device.write(bytes) == bytes.size() &&
                           !target.endsWith(QLatin1String("fill fails"));
                },
                options);
        };
        TestSupport::FailIfStuck guard(20); // a fifo must never be opened
        if (target.endsWith(QLatin1String("full disk"))) {
            TestSupport::withFileSizeLimit(bytes.size() / 2, write);
        } else if (target.endsWith(QLatin1String("read-only folder"))) {
            QVERIFY(::chmod(QFile::encodeName(dir->path()).constData(), 0555) == 0);
            const bool ran = TestSupport::asOrdinaryUser(write);
            QVERIFY(::chmod(QFile::encodeName(dir->path()).constData(), 0700) == 0);
            QVERIFY(ran);
        } else {
            write();
        }
        QCOMPARE(int(failure), expected);
        if (written)
            QCOMPARE(TestSupport::contents(lands), bytes);
        else if (regular)
            QCOMPARE(TestSupport::contents(lands), before);
        else
            QVERIFY(QFileInfo::exists(lands) && !QFileInfo(lands).isFile());
        QCOMPARE(TestSupport::contents(outside), lands == outside && written ? bytes : oldBytes);
        // Nothing half-written stays beside it.
        const QStringList left =
            QDir(dir->path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &name : left)
            QVERIFY2(name == QLatin1String("out.json") || name == QLatin1String("real.json"),
                     qPrintable(name));
        QVERIFY(!AtomicFile::describe(failure, path).isEmpty() ||
                failure == AtomicFile::Failure::None);
    }

    // A new file is never more open than its source; an old one keeps its own permissions.
    void permissions()
    {
        const QString picture = dir->filePath(QStringLiteral("private.png"));
        QVERIFY(TestSupport::makePicture(8, 8).save(picture));
        QVERIFY(::chmod(QFile::encodeName(picture).constData(), 0600) == 0);
        const QString fresh = dir->filePath(QStringLiteral("private.txt"));
        QCOMPARE(AtomicFile::writeBytes(fresh, "x", {AtomicFile::widestFor(fresh, picture), {}}),
                 AtomicFile::Failure::None);
        QCOMPARE(modeOf(fresh), mode_t(0600));
        const QString shared = dir->filePath(QStringLiteral("shared.txt"));
        QCOMPARE(AtomicFile::writeBytes(shared, "x"), AtomicFile::Failure::None);
        QVERIFY(::chmod(QFile::encodeName(shared).constData(), 0664) == 0);
        QCOMPARE(AtomicFile::writeBytes(shared, "y", {AtomicFile::widestFor(shared, picture), {}}),
                 AtomicFile::Failure::None);
        QCOMPARE(modeOf(shared), mode_t(0664));
        QCOMPARE(AtomicFile::writeBytes(shared, "z", {AtomicFile::ownerOnly(), {}}),
                 AtomicFile::Failure::None);
        QCOMPARE(modeOf(shared), mode_t(0600));
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QTemporaryDir> elsewhere;
};

QTEST_MAIN(TestAtomicFile)
#include "tst_atomicfile.moc"
