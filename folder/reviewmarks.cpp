#include "folder/reviewmarks.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QtConcurrent>

namespace ReviewMarks {

namespace {

const QString flagged = QStringLiteral("flagged");
const QString reviewed = QStringLiteral("reviewed");
const QString interpolated = QStringLiteral("interpolated");
const QString marksKey = QStringLiteral("marks");

// The file's whole object, or false when it is there and not a list of marks.
bool readRoot(const QString &path, QJsonObject *root)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    // A list of marks is small; a huge file is something else.
    if (file.size() > largestFile)
        return false;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonValue list = document.object().value(marksKey);
    if (!list.isObject() && !list.isUndefined())
        return false;
    *root = document.object();
    return true;
}

Mark markOf(const QJsonValue &entry)
{
    const QString text = entry.toObject().value(QStringLiteral("mark")).toString();
    return text == flagged        ? Mark::Flagged
           : text == reviewed     ? Mark::Reviewed
           : text == interpolated ? Mark::Interpolated
                                  : Mark::None;
}

} // namespace

QString fileFor(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral(".velmora-review.json"));
}

Marks read(const QString &folder)
{
    Marks marks;
    QJsonObject root;
    marks.readable = readRoot(fileFor(folder), &root);
    const QJsonObject entries = root.value(marksKey).toObject();
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        const Mark mark = markOf(it.value());
        if (mark != Mark::None)
            marks.byName.insert(it.key(), mark);
    }
    return marks;
}

Outcome set(const QString &folder, const QString &name, Mark mark, AtomicFile::Failure *why)
{
    if (why)
        *why = AtomicFile::Failure::None;
    const QString path = fileFor(folder);
    // Another copy of the program setting a mark at the same moment waits its turn; a lock
    // left by a program that died is taken over after a while.
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10'000);
    if (!lock.tryLock(3000))
        return Outcome::Locked;
    QJsonObject root;
    if (!readRoot(path, &root))
        return Outcome::Unreadable;
    QJsonObject entries = root.value(marksKey).toObject();
    if (mark == Mark::None) {
        entries.remove(name);
    } else {
        // What other programs keep in the entry stays.
        QJsonObject entry = entries.value(name).toObject();
        entry.insert(QStringLiteral("mark"), mark == Mark::Flagged    ? flagged
                                             : mark == Mark::Reviewed ? reviewed
                                                                      : interpolated);
        entry.insert(QStringLiteral("by"),
                     qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME")));
        entry.insert(QStringLiteral("at"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        entries.insert(name, entry);
    }
    root.insert(marksKey, entries);
    if (!root.contains(QStringLiteral("version")))
        root.insert(QStringLiteral("version"), 1);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Compact);
    if (bytes.size() > largestFile)
        return Outcome::TooBig;
    const AtomicFile::Failure failure = AtomicFile::writeBytes(path, bytes);
    if (why)
        *why = failure;
    return failure == AtomicFile::Failure::None ? Outcome::Written : Outcome::NotWritten;
}

Keeper::Keeper(QObject *parent) : QObject(parent)
{
    // One step at a time, in the order asked: a read asked after a mark sees it written.
    pool.setMaxThreadCount(1);
}

Keeper::~Keeper()
{
    pool.waitForDone();
}

void Keeper::setFolder(const QString &value)
{
    if (value != folder) {
        folder = value;
        known = Marks();
        pending.clear();
        emit changed();
    }
    reload();
}

void Keeper::reload()
{
    if (folder.isEmpty())
        return;
    const int asked = ++readsAsked;
    const QString from = folder;
    auto *watcher = new QFutureWatcher<Marks>(this);
    connect(watcher, &QFutureWatcher<Marks>::finished, this, [this, watcher, asked, from] {
        watcher->deleteLater();
        // Only the latest read of the folder shown counts.
        if (from != folder || asked != readsAsked)
            return;
        known = watcher->result();
        emit changed();
    });
    watcher->setFuture(QtConcurrent::run(&pool, [from] { return read(from); }));
}

Mark Keeper::markOf(const QString &name) const
{
    const auto waiting = pending.constFind(name);
    if (waiting != pending.constEnd())
        return waiting->mark;
    return known.byName.value(name, Mark::None);
}

void Keeper::set(const QString &name, Mark mark)
{
    if (folder.isEmpty())
        return;
    const int number = ++setsAsked;
    pending.insert(name, {number, mark});
    emit changed();
    const QString into = folder;
    struct Result
    {
        Outcome outcome;
        AtomicFile::Failure why;
    };
    auto *watcher = new QFutureWatcher<Result>(this);
    connect(watcher, &QFutureWatcher<Result>::finished, this,
            [this, watcher, into, name, mark, number] {
                watcher->deleteLater();
                const Result result = watcher->result();
                if (into != folder)
                    return;
                if (pending.value(name).number == number)
                    pending.remove(name);
                if (result.outcome == Outcome::Written) {
                    if (mark == Mark::None)
                        known.byName.remove(name);
                    else
                        known.byName.insert(name, mark);
                    emit changed();
                    emit written(name, mark);
                    return;
                }
                // What the file holds after all.
                emit changed();
                reload();
                emit failed(into, result.outcome, result.why);
            });
    watcher->setFuture(QtConcurrent::run(&pool, [into, name, mark] {
        AtomicFile::Failure why = AtomicFile::Failure::None;
        const Outcome outcome = ReviewMarks::set(into, name, mark, &why);
        return Result{outcome, why};
    }));
}

} // namespace ReviewMarks
