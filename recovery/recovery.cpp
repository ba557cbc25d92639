#include "recovery/recovery.h"

#include "editor/filestamp.h"
#include "editor/maskfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// A copy is made this long after the first change that needs one, so a burst of strokes
// costs one write, and work keeps being copied while it goes on without pause.
constexpr int writeDelayMs = 2000;
// Copies of pictures that are gone are kept this long, in case their folder comes back.
constexpr int daysKept = 30;

const QString pictureKey = QStringLiteral("VelmoraPicture");
const QString sizeKey = QStringLiteral("VelmoraPictureSize");
const QString pictureTimeKey = QStringLiteral("VelmoraPictureModified");
const QString timeKey = QStringLiteral("VelmoraSaved");

// What a recovery file says of itself, read from its header without decoding the mask.
struct Header
{
    QString picture;
    qint64 pictureSize = -1;
    qint64 pictureModified = 0; // milliseconds since the epoch
    QDateTime time;
    bool isValid() const { return !picture.isEmpty() && time.isValid(); }
};

Header headerOf(const QString &file)
{
    QImageReader reader(file, "png");
    Header header;
    // The path is percent-encoded UTF-8: PNG text chunks hold Latin-1 only.
    header.picture = QUrl::fromPercentEncoding(reader.text(pictureKey).toLatin1());
    bool ok = false;
    header.pictureSize = reader.text(sizeKey).toLongLong(&ok);
    if (!ok)
        header.pictureSize = -1;
    header.pictureModified = reader.text(pictureTimeKey).toLongLong();
    header.time = QDateTime::fromMSecsSinceEpoch(reader.text(timeKey).toLongLong(&ok), Qt::UTC);
    if (!ok)
        header.time = QDateTime();
    return header;
}

QMap<QString, QString> headerTexts(const QString &picture)
{
    const FileStamp stamp = FileStamp::of(picture);
    QMap<QString, QString> texts;
    texts.insert(pictureKey, QString::fromLatin1(QUrl::toPercentEncoding(picture)));
    texts.insert(sizeKey, QString::number(stamp.size));
    texts.insert(pictureTimeKey, QString::number(stamp.modified.toMSecsSinceEpoch()));
    texts.insert(timeKey, QString::number(QDateTime::currentMSecsSinceEpoch()));
    return texts;
}

bool writeCopy(const QImage &gray, const QString &file, const QMap<QString, QString> &texts)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    return MaskFile::write(gray, file, texts);
}

} // namespace

Recovery::Recovery(const QString &folder, QObject *parent)
    : QObject(parent), folder(folder), due(new QTimer(this))
{
    due->setSingleShot(true);
    due->setInterval(writeDelayMs);
    connect(due, &QTimer::timeout, this, &Recovery::startWrite);
    connect(&writing, &QFutureWatcher<bool>::finished, this, &Recovery::onWriteFinished);
    // Copies matter most when memory is short, and then a new thread may not start: a task
    // handed to it would wait forever, and so would the window closing after it. The one
    // writer thread is made now and never expires.
    writer.setMaxThreadCount(1);
    writer.setExpiryTimeout(-1);
    QtConcurrent::run(&writer, [] {});
    prune();
}

Recovery::~Recovery()
{
    writing.waitForFinished();
    if (removeWhenDone)
        QFile::remove(writingFile);
}

QString Recovery::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/recovery");
}

void Recovery::setSource(std::function<QImage()> exportMask)
{
    source = std::move(exportMask);
}

void Recovery::setPicture(const QString &picturePath)
{
    due->stop();
    again = false;
    picture = picturePath.isEmpty() ? QString() : QFileInfo(picturePath).absoluteFilePath();
}

QString Recovery::fileFor(const QString &picturePath) const
{
    const QByteArray key = QFileInfo(picturePath).absoluteFilePath().toUtf8();
    return folder + QLatin1Char('/') +
           QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".png");
}

void Recovery::changed()
{
    if (picture.isEmpty())
        return;
    if (writing.isRunning()) {
        again = true;
        return;
    }
    // Not restarted by further changes: during long work a copy is still made every time.
    if (!due->isActive())
        due->start();
}

void Recovery::startWrite()
{
    if (picture.isEmpty() || !source)
        return;
    if (writing.isRunning()) {
        again = true;
        return;
    }
    // The export is the one full pass made here; encoding and writing go to a worker.
    // Without memory for the export there is nothing to write; the next change tries again.
    const QImage gray = source();
    if (gray.isNull())
        return;
    writingFile = fileFor(picture);
    removeWhenDone = false;
    again = false;
    writing.setFuture(
        QtConcurrent::run(&writer, writeCopy, gray, writingFile, headerTexts(picture)));
}

void Recovery::onWriteFinished()
{
    if (removeWhenDone)
        QFile::remove(writingFile);
    removeWhenDone = false;
    if (again) {
        again = false;
        due->start();
    }
}

void Recovery::discard()
{
    due->stop();
    again = false;
    if (picture.isEmpty())
        return;
    const QString file = fileFor(picture);
    if (writing.isRunning() && writingFile == file)
        removeWhenDone = true;
    QFile::remove(file);
}

bool Recovery::writeNow()
{
    due->stop();
    writing.waitForFinished();
    if (picture.isEmpty() || !source)
        return false;
    const QImage gray = source();
    return !gray.isNull() && writeCopy(gray, fileFor(picture), headerTexts(picture));
}

Recovery::Found Recovery::find(const QString &picturePath) const
{
    const QString file = fileFor(picturePath);
    if (!QFileInfo(file).isFile())
        return Found();
    const Header header = headerOf(file);
    const QString absolute = QFileInfo(picturePath).absoluteFilePath();
    const FileStamp now = FileStamp::of(absolute);
    if (!header.isValid() || header.picture != absolute || header.pictureSize != now.size ||
        header.pictureModified != now.modified.toMSecsSinceEpoch())
        return Found();
    // A mask file written after the copy holds later work, from here or elsewhere.
    const FileStamp mask = FileStamp::of(MaskFile::pathFor(absolute));
    if (mask.exists && mask.modified >= header.time)
        return Found();
    return {file, header.time};
}

QImage Recovery::read(const QString &file)
{
    QImageReader reader(file, "png");
    QImage gray = reader.read();
    if (gray.isNull())
        return QImage();
    return gray.convertToFormat(QImage::Format_Grayscale8);
}

void Recovery::remove(const QString &picturePath)
{
    QFile::remove(fileFor(picturePath));
}

void Recovery::prune()
{
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addDays(-daysKept);
    QDirIterator it(folder, {QStringLiteral("*.png")}, QDir::Files);
    while (it.hasNext()) {
        const QString file = it.next();
        // A copy is written whole when it is made, so its file's time is the copy's.
        if (it.fileInfo().lastModified() >= oldest)
            continue;
        const Header header = headerOf(file);
        if (!header.isValid() || !QFileInfo::exists(header.picture))
            QFile::remove(file);
    }
}
