#include "files/classfiles.h"

#include "files/maskfile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTextCodec>

namespace ClassFiles {

QString listPathFor(const QString &picturePath)
{
    return QFileInfo(picturePath).absolutePath() + QStringLiteral("/labels.txt");
}

namespace {

// Whether each line of `lines` is a class name, by the rules of parseList().
QVector<bool> nameLines(const QStringList &lines)
{
    QVector<bool> isName;
    bool leading = true; // labelme's two special names come first, before any class
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        bool name = !line.isEmpty() && !line.startsWith(QLatin1Char('#'));
        if (name && leading &&
            (line == QLatin1String("__ignore__") || line == QLatin1String("_background_")))
            name = false;
        else if (name)
            leading = false;
        isName.append(name);
    }
    return isName;
}

} // namespace

QStringList parseList(const QByteArray &text)
{
    const QStringList lines =
        QString::fromUtf8(text.constData(), text.size()).split(QLatin1Char('\n'));
    const QVector<bool> isName = nameLines(lines);
    QStringList names;
    for (int i = 0; i < lines.size(); ++i)
        if (isName.at(i))
            names.append(lines.at(i).trimmed());
    return names;
}

QByteArray rewrittenList(const QByteArray &original, const QStringList &names)
{
    QStringList lines =
        QString::fromUtf8(original.constData(), original.size()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the final line break
    const QVector<bool> isName = nameLines(lines);
    const bool crlf = original.contains("\r\n");
    int next = 0;
    for (int i = 0; i < lines.size(); ++i)
        if (isName.at(i) && next < names.size())
            lines[i] = names.at(next++) + (crlf ? QStringLiteral("\r") : QString());
    for (; next < names.size(); ++next)
        lines.append(names.at(next) + (crlf ? QStringLiteral("\r") : QString()));
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

List readList(const QString &path)
{
    List list;
    list.stamp = FileStamp::of(path, FileStamp::Contents::Hashed);
    if (!list.stamp.exists)
        return list;
    QFile file(path);
    // A list is a few lines; anything far bigger, or not a plain file, is not one.
    constexpr qint64 largest = 1 << 20;
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) || file.size() > largest) {
        list.readable = false;
        return list;
    }
    list.text = file.readAll();
    list.names = parseList(list.text);
    list.rewritable = isPlainText(list.text);
    return list;
}

bool isPlainText(const QByteArray &text)
{
    if (text.contains('\0'))
        return false;
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(text.constData(), text.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

AtomicFile::Failure writeList(const QString &path, const QByteArray &text)
{
    return AtomicFile::writeBytes(path, text);
}

QStringList classNames(const QStringList &list, int highest)
{
    if (qMax(int(list.size()), highest) < 2)
        return QStringList();
    QStringList names = list;
    for (int number = list.size() + 1; number <= highest; ++number)
        names.append(QString::number(number));
    return names;
}

int highestOf(const QImage &numbers)
{
    uchar highest = 0;
    const int width = numbers.width(); // not read again for each pixel
    for (int y = 0; y < numbers.height(); ++y) {
        const uchar *row = numbers.constScanLine(y);
        for (int x = 0; x < width; ++x)
            highest = qMax(highest, row[x]);
    }
    return highest;
}

QString mapPathFor(const QString &picturePath)
{
    const QFileInfo info(picturePath);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() +
           QStringLiteral("_labels.png");
}

QVector<QRgb> palette()
{
    // Each bit of the class number goes to one channel, from the highest bit of the colour
    // down, three bits of the number at a time.
    QVector<QRgb> colours(256);
    for (int number = 0; number < 256; ++number) {
        int r = 0, g = 0, b = 0;
        int bits = number;
        for (int shift = 7; shift >= 0 && bits; --shift, bits >>= 3) {
            r |= (bits & 1) << shift;
            g |= ((bits >> 1) & 1) << shift;
            b |= ((bits >> 2) & 1) << shift;
        }
        colours[number] = qRgb(r, g, b);
    }
    return colours;
}

QImage toIndexed(const QImage &numbers)
{
    if (numbers.isNull())
        return QImage();
    QImage indexed(numbers.size(), QImage::Format_Indexed8);
    if (indexed.isNull())
        return QImage();
    indexed.setColorTable(palette());
    for (int y = 0; y < numbers.height(); ++y)
        memcpy(indexed.scanLine(y), numbers.constScanLine(y), size_t(numbers.width()));
    return indexed;
}

QString objectsPathFor(const QString &picturePath)
{
    const QFileInfo info(picturePath);
    return info.absolutePath() + QLatin1Char('/') + info.completeBaseName() +
           QStringLiteral("_objects.png");
}

namespace {

// Whether `path` is a file whose header tells `size`, for `reader` to read as PNG; `status`
// says why not (Absent or Unreadable).
bool openMap(const QString &path, QSize size, MapStatus *status, const std::atomic_bool *cancelled,
             QImageReader &reader)
{
    *status = MapStatus::Absent;
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    *status = MapStatus::Unreadable;
    if (!info.isFile())
        return false;
    reader.setFileName(path);
    reader.setFormat("png");
    return reader.size() == size && !(cancelled && cancelled->load());
}

} // namespace

QImage readObjects(const QString &path, QSize size, MapStatus *status,
                   const std::atomic_bool *cancelled)
{
    QImageReader reader;
    if (!openMap(path, size, status, cancelled, reader))
        return QImage();
    if (reader.imageFormat() != QImage::Format_Grayscale16) {
        // Up to 255 objects may come as 8-bit numbers.
        QImage small = readMap(path, size, status, cancelled);
        if (small.isNull())
            return QImage();
        *status = MapStatus::Unreadable;
        QImage numbers(size, QImage::Format_Grayscale16);
        if (numbers.isNull())
            return QImage();
        for (int y = 0; y < size.height(); ++y)
            std::copy(small.constScanLine(y), small.constScanLine(y) + size.width(),
                      reinterpret_cast<quint16 *>(numbers.scanLine(y)));
        *status = MapStatus::Read;
        return numbers;
    }
    const QImage read = reader.read();
    if (read.isNull() || read.size() != size || read.format() != QImage::Format_Grayscale16)
        return QImage();
    *status = MapStatus::Read;
    return read;
}

QImage readMap(const QString &path, QSize size, MapStatus *status,
               const std::atomic_bool *cancelled)
{
    QImageReader reader;
    if (!openMap(path, size, status, cancelled, reader))
        return QImage();
    const QImage read = reader.read();
    if (read.isNull() || read.size() != size)
        return QImage();
    QImage numbers(size, QImage::Format_Grayscale8);
    if (numbers.isNull())
        return QImage();
    if (read.format() == QImage::Format_Indexed8) {
        // The pixel values themselves, whatever colours the palette gives them.
        for (int y = 0; y < size.height(); ++y)
            memcpy(numbers.scanLine(y), read.constScanLine(y), size_t(size.width()));
    } else if (read.format() == QImage::Format_Grayscale8) {
        numbers = read;
    } else if (read.format() == QImage::Format_Mono || read.format() == QImage::Format_MonoLSB) {
        const QImage bytes = read.convertToFormat(QImage::Format_Indexed8);
        for (int y = 0; y < size.height(); ++y)
            memcpy(numbers.scanLine(y), bytes.constScanLine(y), size_t(size.width()));
    } else {
        return QImage(); // colours without numbers: not a map of classes
    }
    *status = MapStatus::Read;
    return numbers;
}

std::vector<uchar> mendObjects(const QImage &classes, QImage &objects)
{
    std::vector<uchar> classOf(65536, 0);
    if (objects.isNull() || objects.size() != classes.size())
        return classOf;
    for (int y = 0; y < objects.height(); ++y) {
        const uchar *numbers = classes.constScanLine(y);
        auto *row = reinterpret_cast<quint16 *>(objects.scanLine(y));
        for (int x = 0; x < objects.width(); ++x) {
            if (!row[x])
                continue;
            if (!classOf[row[x]])
                classOf[row[x]] = numbers[x];
            if (classOf[row[x]] != numbers[x] || !numbers[x])
                row[x] = 0;
        }
    }
    return classOf;
}

bool joinMap(QImage &layer, const QImage &numbers)
{
    bool disagreed = false;
    const int layerWidth = layer.width(); // not read again for each pixel
    for (int y = 0; y < layer.height(); ++y) {
        uchar *row = layer.scanLine(y);
        const uchar *classes = numbers.isNull() ? nullptr : numbers.constScanLine(y);
        for (int x = 0; x < layerWidth; ++x) {
            const uchar number = classes ? classes[x] : 0;
            const bool inMask = row[x] != 0;
            disagreed |= inMask != (number != 0);
            row[x] = number != 0 ? number : (inMask ? 1 : 0);
        }
    }
    return disagreed && !numbers.isNull();
}

AtomicFile::Failure storeNumbers(const QImage &numbers, const QString &picture, bool classes,
                                 QString *failedPath)
{
    AtomicFile::Failure failure = AtomicFile::Failure::None;
    const QString mapPath = mapPathFor(picture);
    if (classes) {
        if (MaskFile::store(toIndexed(numbers), mapPath,
                            {AtomicFile::widestFor(mapPath, picture), QString()},
                            &failure) == MaskFile::StoreOutcome::WriteFailed) {
            *failedPath = mapPath;
            return failure;
        }
    } else if (QFileInfo::exists(mapPath) && !QFile::remove(mapPath)) {
        *failedPath = mapPath;
        return AtomicFile::Failure::CannotCreate;
    }
    // These numbers have no objects: an object map left beside them would give objects back.
    const QString objectsPath = objectsPathFor(picture);
    const QFileInfo objectsFile(objectsPath);
    if ((objectsFile.isFile() || objectsFile.isSymLink()) && !QFile::remove(objectsPath)) {
        *failedPath = objectsPath;
        return AtomicFile::Failure::CannotCreate;
    }
    QImage gray(numbers.size(), QImage::Format_Grayscale8);
    if (gray.isNull()) {
        *failedPath = MaskFile::pathFor(picture);
        return AtomicFile::Failure::WriteFailed;
    }
    const int width = numbers.width();
    for (int y = 0; y < numbers.height(); ++y) {
        const uchar *from = numbers.constScanLine(y);
        uchar *to = gray.scanLine(y);
        for (int x = 0; x < width; ++x)
            to[x] = from[x] ? 255 : 0; // wherever any class is
    }
    const QString maskPath = MaskFile::pathFor(picture);
    const MaskFile::StoreOutcome stored = MaskFile::store(
        gray, maskPath, {AtomicFile::widestFor(maskPath, picture), QString()}, &failure);
    if (stored == MaskFile::StoreOutcome::WriteFailed ||
        stored == MaskFile::StoreOutcome::RemoveFailed) {
        *failedPath = maskPath;
        return failure == AtomicFile::Failure::None ? AtomicFile::Failure::WriteFailed : failure;
    }
    return AtomicFile::Failure::None;
}

} // namespace ClassFiles
