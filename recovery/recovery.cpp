#include "recovery/recovery.h"

#include "files/maskfile.h"
#include "platform/files.h"
#include "video/frames.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

// A copy is made this long after the first change that needs one, so a burst of strokes
// costs one write, and work keeps being copied while it goes on without pause.
constexpr int writeDelayMs = 2000;
// Copies of pictures that are gone are kept this long, in case their folder comes back.
constexpr int daysKept = 30;
// A lock file nobody holds is removed once it is this old: a younger one may belong to a
// window that made it and is about to lock it.
constexpr int unheldLockSeconds = 3600;

// A copy names the picture and holds the mask: the user's alone.
constexpr QFileDevice::Permissions copyPermissions = AtomicFile::ownerOnly();

const QString pictureKey = QStringLiteral("VelmoraPicture");
const QString sizeKey = QStringLiteral("VelmoraPictureSize");
const QString pictureTimeKey = QStringLiteral("VelmoraPictureModified");
const QString timeKey = QStringLiteral("VelmoraSaved");
const QString maskStartKey = QStringLiteral("VelmoraMaskStart");

// What a recovery file says of itself, read from its header without decoding the mask.
struct Header
{
    QString picture;
    qint64 pictureSize = -1;
    qint64 pictureModified = 0; // milliseconds since the epoch
    QDateTime time;
    QString maskStart; // empty in copies made before it was kept
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
    header.maskStart = reader.text(maskStartKey);
    return header;
}

// A mask file's stamp as a copy's header keeps it.
QString stampText(const FileStamp &stamp)
{
    if (!stamp.exists)
        return QStringLiteral("absent");
    return QStringLiteral("%1:%2:%3")
        .arg(stamp.size)
        .arg(stamp.modified.toMSecsSinceEpoch())
        .arg(QString::fromLatin1(stamp.hash.toHex()));
}

QMap<QString, QString> headerTexts(const QString &picture, const FileStamp &maskStart)
{
    // A video's frame is as old as its video.
    const FileStamp stamp = FileStamp::of(Frames::sourceOf(picture));
    QMap<QString, QString> texts;
    texts.insert(pictureKey, QString::fromLatin1(QUrl::toPercentEncoding(picture)));
    texts.insert(sizeKey, QString::number(stamp.size));
    texts.insert(pictureTimeKey, QString::number(stamp.modified.toMSecsSinceEpoch()));
    texts.insert(timeKey, QString::number(QDateTime::currentMSecsSinceEpoch()));
    texts.insert(maskStartKey, stampText(maskStart));
    return texts;
}

QString hashOf(const QString &absolutePicture)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(absolutePicture.toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString lockFile(const QString &folder, const QString &owner)
{
    return folder + QLatin1Char('/') + owner + QStringLiteral(".lock");
}

// Writes the copy to the first of `files` whose folder takes it, and removes this owner's
// copies of the same picture from the others. Returns the file written, empty when none was.
// The owner's lock in a folder is taken before its first copy is there to be seen.
QString writeCopy(const QImage &gray, const QStringList &files, const QMap<QString, QString> &texts,
                  std::vector<std::unique_ptr<Platform::HeldFile>> *locks, const QString &owner)
{
    for (int i = 0; i < files.size(); ++i) {
        const QString folder = QFileInfo(files.at(i)).absolutePath();
        if (!Platform::makePrivateFolder(folder) ||
            !locks->at(size_t(i))->hold(lockFile(folder, owner)) ||
            !MaskFile::write(gray, files.at(i), texts, {copyPermissions, QString()}))
            continue;
        for (int j = 0; j < files.size(); ++j) {
            if (j != i)
                QFile::remove(files.at(j));
        }
        return files.at(i);
    }
    return QString();
}

} // namespace

Recovery::Recovery(const QStringList &folders, QObject *parent)
    : QObject(parent), folders(folders),
      token(QString::number(QRandomGenerator::global()->generate64(), 36)), due(new QTimer(this))
{
    for (int i = 0; i < folders.size(); ++i)
        locks.push_back(std::make_unique<Platform::HeldFile>());
    due->setSingleShot(true);
    due->setInterval(writeDelayMs);
    connect(due, &QTimer::timeout, this, &Recovery::startWrite);
    connect(&writing, &QFutureWatcher<QString>::finished, this, &Recovery::onWriteFinished);
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
        QFile::remove(writing.result());
}

QStringList Recovery::defaultFolders()
{
    return {QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
                QStringLiteral("/recovery"),
            Platform::privateTemporaryFolder(QCoreApplication::applicationName() +
                                             QStringLiteral("-recovery"))};
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
    maskStart = FileStamp();
}

void Recovery::setMaskStart(const FileStamp &maskFile)
{
    maskStart = maskFile;
}

QString Recovery::ownName(const QString &picturePath) const
{
    return hashOf(QFileInfo(picturePath).absoluteFilePath()) + QLatin1Char('-') + token +
           QStringLiteral(".png");
}

QStringList Recovery::ownFiles(const QString &picturePath) const
{
    QStringList files;
    for (const QString &folder : folders)
        files << folder + QLatin1Char('/') + ownName(picturePath);
    return files;
}

QString Recovery::fileFor(const QString &picturePath) const
{
    return ownFiles(picturePath).value(0);
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
    writingFor = picture;
    removeWhenDone = false;
    again = false;
    writing.setFuture(QtConcurrent::run(&writer, writeCopy, gray, ownFiles(picture),
                                        headerTexts(picture, maskStart), &locks, token));
}

void Recovery::onWriteFinished()
{
    const QString written = writing.result();
    if (removeWhenDone)
        QFile::remove(written);
    else
        setAvailable(!written.isEmpty());
    removeWhenDone = false;
    if (again) {
        again = false;
        due->start();
    }
}

void Recovery::setAvailable(bool now)
{
    if (available == now)
        return;
    available = now;
    emit availabilityChanged(available);
}

void Recovery::discard()
{
    due->stop();
    again = false;
    if (picture.isEmpty())
        return;
    if (writing.isRunning() && writingFor == picture)
        removeWhenDone = true;
    for (const QString &file : ownFiles(picture))
        QFile::remove(file);
}

bool Recovery::writeNow()
{
    due->stop();
    writing.waitForFinished();
    // A copy that was no longer wanted goes now, before one is written in its place.
    if (removeWhenDone) {
        QFile::remove(writing.result());
        removeWhenDone = false;
    }
    if (picture.isEmpty() || !source)
        return false;
    const QImage gray = source();
    const bool written =
        !gray.isNull() &&
        !writeCopy(gray, ownFiles(picture), headerTexts(picture, maskStart), &locks, token)
             .isEmpty();
    setAvailable(written);
    return written;
}

bool Recovery::adopt(const QString &file)
{
    if (!writeNow())
        return false;
    if (!ownFiles(picture).contains(file))
        QFile::remove(file);
    return true;
}

QVector<Recovery::Found> Recovery::find(const QString &picturePath) const
{
    const QString absolute = QFileInfo(picturePath).absoluteFilePath();
    const QString hash = hashOf(absolute);
    const FileStamp now = FileStamp::of(Frames::sourceOf(absolute));
    const FileStamp mask = MaskFile::stampOf(MaskFile::pathFor(absolute));
    QVector<Found> found;
    for (const QString &folder : folders) {
        QDirIterator it(folder, {hash + QStringLiteral("*.png")}, QDir::Files);
        while (it.hasNext()) {
            const QString file = it.next();
            // <hash>-<owner>.png, or <hash>.png as copies were named before they had owners.
            const QString rest = it.fileName().mid(hash.size());
            QString owner;
            if (rest.startsWith(QLatin1Char('-')))
                owner = rest.mid(1, rest.size() - 5);
            else if (rest != QLatin1String(".png"))
                continue;
            // The copy of a window still running is that window's to keep or remove.
            if (!owner.isEmpty() && owner != token &&
                Platform::HeldFile::isHeldByAnyone(lockFile(folder, owner)))
                continue;
            const Header header = headerOf(file);
            if (!header.isValid() || header.picture != absolute || header.pictureSize != now.size ||
                header.pictureModified != now.modified.toMSecsSinceEpoch())
                continue;
            Found copy{file, header.time, false};
            if (header.maskStart.isEmpty()) {
                // Without its starting point, a mask file written after the copy is taken to
                // hold later work.
                if (mask.exists && mask.modified >= header.time)
                    continue;
            } else {
                // Another program (or another window) wrote the mask file meanwhile; the
                // copy still holds strokes that were never saved.
                copy.maskChanged = header.maskStart != stampText(mask);
            }
            found.append(copy);
        }
    }
    std::sort(found.begin(), found.end(),
              [](const Found &a, const Found &b) { return a.time > b.time; });
    return found;
}

QImage Recovery::read(const QString &file)
{
    QImageReader reader(file, "png");
    QImage gray = reader.read();
    if (gray.isNull())
        return QImage();
    // A copy of classes is a palette image whose pixel values are the class numbers.
    if (gray.format() == QImage::Format_Indexed8 && !gray.isGrayscale())
        return gray;
    if (gray.format() == QImage::Format_RGB32)
        return gray;
    return gray.convertToFormat(QImage::Format_Grayscale8);
}

QImage Recovery::withObjects(const QImage &classes, const QImage &objects)
{
    if (classes.isNull() || objects.size() != classes.size() ||
        objects.format() != QImage::Format_Grayscale16)
        return QImage();
    QImage copy(classes.size(), QImage::Format_RGB32);
    if (copy.isNull())
        return QImage();
    for (int y = 0; y < copy.height(); ++y) {
        const uchar *numbers = classes.constScanLine(y);
        const auto *objectNumbers = reinterpret_cast<const quint16 *>(objects.constScanLine(y));
        auto *out = reinterpret_cast<QRgb *>(copy.scanLine(y));
        for (int x = 0; x < copy.width(); ++x)
            out[x] = qRgb(numbers[x], objectNumbers[x] >> 8, objectNumbers[x] & 0xff);
    }
    return copy;
}

bool Recovery::splitObjects(const QImage &copy, QImage *classes, QImage *objects)
{
    if (copy.format() != QImage::Format_RGB32)
        return false;
    *classes = QImage(copy.size(), QImage::Format_Grayscale8);
    *objects = QImage(copy.size(), QImage::Format_Grayscale16);
    if (classes->isNull() || objects->isNull())
        return false;
    for (int y = 0; y < copy.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(copy.constScanLine(y));
        uchar *numbers = classes->scanLine(y);
        auto *objectNumbers = reinterpret_cast<quint16 *>(objects->scanLine(y));
        for (int x = 0; x < copy.width(); ++x) {
            numbers[x] = uchar(qRed(in[x]));
            objectNumbers[x] = quint16((qGreen(in[x]) << 8) | qBlue(in[x]));
        }
    }
    return true;
}

void Recovery::remove(const QString &file)
{
    QFile::remove(file);
}

void Recovery::prune()
{
    const QDateTime oldest = QDateTime::currentDateTimeUtc().addDays(-daysKept);
    const QDateTime unheld = QDateTime::currentDateTimeUtc().addSecs(-unheldLockSeconds);
    for (const QString &folder : qAsConst(folders)) {
        QDirIterator it(folder, {QStringLiteral("*.png"), QStringLiteral("*.lock")}, QDir::Files);
        while (it.hasNext()) {
            const QString file = it.next();
            if (file.endsWith(QLatin1String(".lock"))) {
                if (it.fileInfo().lastModified() < unheld &&
                    !Platform::HeldFile::isHeldByAnyone(file))
                    QFile::remove(file);
                continue;
            }
            // A copy is written whole when it is made, so its file's time is the copy's.
            if (it.fileInfo().lastModified() >= oldest)
                continue;
            const Header header = headerOf(file);
            if (!header.isValid() || !QFileInfo::exists(Frames::sourceOf(header.picture)))
                QFile::remove(file);
        }
    }
}
