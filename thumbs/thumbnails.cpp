#include "thumbs/thumbnails.h"

#include "files/atomicfile.h"
#include "files/classfiles.h"
#include "files/filestamp.h"
#include "files/maskfile.h"
#include "files/picturefile.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "video/frames.h"
#include "video/videofile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QRunnable>
#include <QStandardPaths>
#include <QThread>

#include <mutex>

namespace Thumbnails {

namespace {

std::atomic_int onUiThread{0};
std::atomic_int decodes{0};

// The size `original` takes inside the box, proportions kept.
QSize fitted(QSize original)
{
    return original.scaled(box(), Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// The class numbers (or the plain mask as 1) at the thumbnail's size: each thumbnail pixel
// takes the layer value at its centre, so classes are never blended into one another.
QImage numbersAt(const QString &picturePath, QSize pictureSize, QSize size)
{
    const ClassFiles::List list = ClassFiles::readList(ClassFiles::listPathFor(picturePath));
    if (list.names.isEmpty() && !QFileInfo::exists(ClassFiles::mapPathFor(picturePath))) {
        // A plain mask is read reduced, as the picture is: what is above half is inside.
        const QString maskPath = MaskFile::pathFor(picturePath);
        if (MaskFile::maskNameTaken(picturePath) || !PictureFile::isRegularFile(maskPath))
            return QImage();
        QImageReader reader(maskPath);
        if (reader.size() != pictureSize)
            return QImage(); // not this picture's: the editor shows none either
        reader.setScaledSize(size);
        QImage small = reader.read().convertToFormat(QImage::Format_Grayscale8);
        if (small.size() != size)
            return QImage();
        for (int y = 0; y < size.height(); ++y) {
            uchar *row = small.scanLine(y);
            for (int x = 0; x < size.width(); ++x)
                row[x] = row[x] > 128 ? 1 : 0;
        }
        return small;
    }
    MaskFile::Reading reading;
    QImage layer = MaskFile::readLayerBeside(picturePath, pictureSize, &reading);
    if (reading.status != MaskFile::ReadStatus::Read || layer.isNull())
        return QImage();
    ClassFiles::MapStatus status;
    const QImage numbers =
        ClassFiles::readMap(ClassFiles::mapPathFor(picturePath), pictureSize, &status);
    const bool classes =
        !ClassFiles::classNames(list.names, ClassFiles::highestOf(numbers)).isEmpty();
    if (classes)
        ClassFiles::joinMap(layer, numbers);
    QImage small(size, QImage::Format_Grayscale8);
    for (int y = 0; y < size.height(); ++y) {
        const uchar *row = layer.constScanLine(
            qMin(pictureSize.height() - 1, int((y + 0.5) * pictureSize.height() / size.height())));
        uchar *out = small.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            const uchar value = row[qMin(pictureSize.width() - 1,
                                         int((x + 0.5) * pictureSize.width() / size.width()))];
            // Without a class map the layer is coverage: class 1 wherever it is above 0.
            out[x] = classes ? value : (value ? 1 : 0);
        }
    }
    return small;
}

// What tells a file apart from the one that was there before: a file copied over another
// with its time kept has the same size and time, but another inode (a new file renamed into
// place) or a new status-change time (the same file written again), which no program sets.
QByteArray stampText(const QString &path)
{
    const FileStamp stamp = FileStamp::of(path);
    if (!stamp.exists)
        return QByteArrayLiteral("-");
    const Platform::FileIdentity identity = Platform::identityOf(path);
    return QByteArray::number(stamp.size) + '@' +
           QByteArray::number(stamp.modified.toMSecsSinceEpoch()) + '#' +
           QByteArray::number(identity.device) + ':' + QByteArray::number(identity.file) + '^' +
           QByteArray::number(QFileInfo(path).metadataChangeTime().toMSecsSinceEpoch());
}

class Job : public QRunnable
{
public:
    Job(Maker *maker, QString path, Colours colours, std::shared_ptr<std::atomic_int> generation)
        : maker(maker), path(std::move(path)), colours(std::move(colours)),
          generation(std::move(generation)), asked(this->generation->load())
    {
    }

    void run() override
    {
        if (generation->load() != asked)
            return; // the folder changed meanwhile
        const QByteArray key = keyOf(path, colours);
        QImage thumbnail = cached(key);
        bool tooBig = false;
        if (thumbnail.isNull()) {
            thumbnail = make(path, colours, &tooBig);
            if (!thumbnail.isNull())
                store(key, thumbnail);
        }
        QMetaObject::invokeMethod(maker, "made", Qt::QueuedConnection, Q_ARG(QString, path),
                                  Q_ARG(QImage, thumbnail), Q_ARG(bool, tooBig));
    }

private:
    Maker *maker;
    QString path;
    Colours colours;
    std::shared_ptr<std::atomic_int> generation;
    int asked;
};

// Removes the cache's thumbnails made more than 90 days ago.
class Pruning : public QRunnable
{
public:
    void run() override
    {
        const QDateTime oldest = QDateTime::currentDateTimeUtc().addDays(-90);
        QDirIterator it(cacheFolder(), {QStringLiteral("*.jpg")}, QDir::Files);
        while (it.hasNext()) {
            it.next();
            if (it.fileInfo().lastModified().toUTC() < oldest)
                QFile::remove(it.filePath());
        }
    }
};

} // namespace

QSize box()
{
    return QSize(192, 144);
}

QByteArray keyOf(const QString &picturePath, const Colours &colours)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QFileInfo(picturePath).absoluteFilePath().toUtf8());
    hash.addData(stampText(Frames::sourceOf(picturePath)));
    hash.addData(stampText(MaskFile::pathFor(picturePath)));
    hash.addData(stampText(ClassFiles::mapPathFor(picturePath)));
    hash.addData(stampText(ClassFiles::listPathFor(picturePath)));
    for (const QRgb colour : colours)
        hash.addData(QByteArray::number(colour));
    hash.addData(QByteArray::number(box().width()));
    return hash.result().toHex();
}

QString cacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/thumbnails");
}

QImage cached(const QByteArray &key)
{
    const QString path =
        cacheFolder() + QLatin1Char('/') + QString::fromLatin1(key) + QStringLiteral(".jpg");
    if (!QFileInfo::exists(path))
        return QImage();
    return QImageReader(path, "jpeg").read();
}

bool store(const QByteArray &key, const QImage &thumbnail)
{
    // Thumbnails show private pictures: the cache is the user's alone.
    if (!Platform::makePrivateFolder(cacheFolder()))
        return false;
    return AtomicFile::write(
               cacheFolder() + QLatin1Char('/') + QString::fromLatin1(key) + QStringLiteral(".jpg"),
               [&thumbnail](QIODevice &file) { return thumbnail.save(&file, "JPEG", 85); },
               {AtomicFile::ownerOnly(), QString()}) == AtomicFile::Failure::None;
}

QImage make(const QString &picturePath, const Colours &colours, bool *tooBig)
{
    if (QCoreApplication::instance() &&
        QThread::currentThread() == QCoreApplication::instance()->thread())
        ++onUiThread;
    if (tooBig)
        *tooBig = false;
    if (!PictureFile::isPicture(picturePath) || Frames::hasVideoSuffix(picturePath))
        return QImage();
    // A PNG can declare 40000 x 40000 pixels in a few kilobytes and is decoded whole whatever
    // size is asked for: the rule that makes the editor ask first holds here too.
    if (PictureFile::needsConsent(PictureFile::footprintOf(picturePath),
                                  Platform::memoryForNewData())) {
        if (tooBig)
            *tooBig = true;
        return QImage();
    }
    ++decodes;
    QImage picture;
    QSize original;
    if (Frames::isFramePath(picturePath)) {
        // A video's frame decodes whole, then is reduced, on a reader of the thumbnails' own.
        const Frames::Frame frame = Frames::frameOf(picturePath);
        const auto video = VideoFile::shared(frame.video, VideoFile::Lane::Thumbnails);
        picture = video ? video->frame(frame.number) : QImage();
        original = picture.size();
        if (picture.isNull())
            return QImage();
        picture = picture.scaled(fitted(original), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else {
        QImageReader reader(picturePath);
        reader.setAutoTransform(true);
        original = reader.size();
        if (!original.isValid())
            return QImage();
        // Decoders that can decode reduced (JPEG) do so at the size asked for.
        reader.setScaledSize(fitted(original));
        picture = reader.read();
        if (picture.isNull())
            return QImage();
    }
    picture = picture.convertToFormat(QImage::Format_RGB32);
    const QImage numbers = numbersAt(picturePath, original, picture.size());
    if (!numbers.isNull()) {
        const int width = picture.width();
        for (int y = 0; y < picture.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
            const uchar *value = numbers.constScanLine(y);
            for (int x = 0; x < width; ++x) {
                if (!value[x] || value[x] >= colours.size())
                    continue;
                const QRgb over = colours.at(value[x]);
                const int a = qAlpha(over);
                const auto mix = [a](int under, int top) {
                    return (under * (255 - a) + top * a) / 255;
                };
                row[x] = qRgb(mix(qRed(row[x]), qRed(over)), mix(qGreen(row[x]), qGreen(over)),
                              mix(qBlue(row[x]), qBlue(over)));
            }
        }
    }
    return picture;
}

int madeOnUiThread()
{
    return onUiThread.load();
}

int decoded()
{
    return decodes.load();
}

Maker::Maker(QObject *parent) : QObject(parent)
{
    pool.setMaxThreadCount(qMax(1, QThread::idealThreadCount()));
}

Maker::~Maker()
{
    clearPending();
    pool.waitForDone();
}

void Maker::request(const QString &picturePath)
{
    // The cache keeps what was made in the last 90 days; older thumbnails go, once a run,
    // when thumbnails are first needed: a window that never shows them starts no thread.
    static std::once_flag pruned;
    std::call_once(pruned, [this] { pool.start(new Pruning, -1); });
    // The latest request first: the pictures just scrolled to come before those passed by.
    pool.start(new Job(this, picturePath, drawn, generation), ++priority);
}

void Maker::clearPending()
{
    ++*generation;
    pool.clear();
}

} // namespace Thumbnails
