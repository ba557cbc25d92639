#include "folder/reviewmarks.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

namespace ReviewMarks {

namespace {

const QString flagged = QStringLiteral("flagged");
const QString reviewed = QStringLiteral("reviewed");

// The file's entries, or false when it is there and not a list of marks.
bool readObject(const QString &path, QJsonObject *marks)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    // A list of marks is small; a huge file is something else.
    if (file.size() > 64 * 1024 * 1024)
        return false;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;
    const QJsonValue list = document.object().value(QStringLiteral("marks"));
    if (!list.isObject() && !list.isUndefined())
        return false;
    *marks = list.toObject();
    return true;
}

Mark markOf(const QJsonValue &entry)
{
    const QString text = entry.toObject().value(QStringLiteral("mark")).toString();
    return text == flagged ? Mark::Flagged : text == reviewed ? Mark::Reviewed : Mark::None;
}

} // namespace

QString fileFor(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral(".velmora-review.json"));
}

Marks read(const QString &folder)
{
    Marks marks;
    QJsonObject entries;
    marks.readable = readObject(fileFor(folder), &entries);
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        const Mark mark = markOf(it.value());
        if (mark != Mark::None)
            marks.byName.insert(it.key(), mark);
    }
    return marks;
}

Outcome set(const QString &folder, const QString &name, Mark mark)
{
    const QString path = fileFor(folder);
    // Another copy of the program setting a mark at the same moment waits its turn; a lock
    // left by a program that died is taken over after a while.
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(10'000);
    if (!lock.tryLock(3000))
        return Outcome::NotWritten;
    QJsonObject entries;
    if (!readObject(path, &entries))
        return Outcome::Unreadable;
    if (mark == Mark::None) {
        entries.remove(name);
    } else {
        entries.insert(
            name,
            QJsonObject{{"mark", mark == Mark::Flagged ? flagged : reviewed},
                        {"by", qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME"))},
                        {"at", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}});
    }
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    const QByteArray bytes = QJsonDocument(QJsonObject{{"version", 1}, {"marks", entries}})
                                 .toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return Outcome::NotWritten;
    return Outcome::Written;
}

} // namespace ReviewMarks
