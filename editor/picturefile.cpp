#include "editor/picturefile.h"

#include "editor/maskfile.h"

#include <QFileInfo>
#include <QFuture>
#include <QImageReader>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace PictureFile {

namespace {

// The readers' threads are made once and kept: a thread that could not be started when
// memory is short would hold its task forever, and the open waiting for it too.
class ReaderPool : public QThreadPool
{
public:
    ReaderPool() { setExpiryTimeout(-1); }
};
Q_GLOBAL_STATIC(ReaderPool, readerPool)

QImage readLayer(const QString &picturePath, QSize size)
{
    return MaskFile::readLayer(MaskFile::pathFor(picturePath), size);
}

} // namespace

bool hasPictureSuffix(const QString &name)
{
    const QString suffix = QFileInfo(name).suffix().toLower();
    return suffix == QLatin1String("png") || suffix == QLatin1String("jpg") ||
           suffix == QLatin1String("jpeg") || suffix == QLatin1String("bmp");
}

bool isRegularFile(const QString &path)
{
    // QFileInfo follows links and reports a fifo, socket or device as neither file nor folder.
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

QImage read(const QString &path)
{
    if (!isRegularFile(path))
        return QImage();
    QImageReader reader(path);
    return reader.read();
}

WithMask readWithMask(const QString &path)
{
    WithMask result;
    if (!isRegularFile(path))
        return result;
    QImageReader reader(path);
    // The header tells the size, so the mask can be read while the picture decodes.
    const QSize announced = reader.size();
    QFuture<QImage> mask;
    if (announced.isValid())
        mask = QtConcurrent::run(readerPool(), readLayer, path, announced);
    result.picture = reader.read();
    if (announced.isValid())
        result.mask = mask.result();
    if (result.picture.isNull())
        return WithMask();
    if (result.mask.size() != result.picture.size())
        result.mask = readLayer(path, result.picture.size());
    if (result.mask.isNull())
        return WithMask();
    return result;
}

} // namespace PictureFile
