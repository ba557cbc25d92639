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

// Bytes a picture pixel takes once shown: the picture and its mask layer, 4 bytes each, and
// one more for a mask file decoded at one byte a pixel while both are there.
constexpr qint64 bytesPerPixel = 9;

struct LayerRead
{
    QImage layer;
    MaskFile::Reading reading;
};

LayerRead readLayer(const QString &picturePath, QSize size)
{
    LayerRead read;
    read.layer = MaskFile::readLayer(MaskFile::pathFor(picturePath), size, &read.reading);
    return read;
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

Footprint footprintOf(const QString &path)
{
    Footprint footprint;
    if (!isRegularFile(path))
        return footprint;
    footprint.size = QImageReader(path).size();
    if (footprint.size.isValid())
        footprint.bytes = qint64(footprint.size.width()) * footprint.size.height() * bytesPerPixel;
    return footprint;
}

WithMask readWithMask(const QString &path)
{
    WithMask result;
    if (!isRegularFile(path))
        return result;
    QImageReader reader(path);
    // The header tells the size, so the mask can be read while the picture decodes.
    const QSize announced = reader.size();
    QFuture<LayerRead> mask;
    LayerRead layer;
    if (announced.isValid())
        mask = QtConcurrent::run(readerPool(), readLayer, path, announced);
    result.picture = reader.read();
    if (announced.isValid())
        layer = mask.result();
    if (result.picture.isNull())
        return WithMask();
    if (layer.layer.size() != result.picture.size())
        layer = readLayer(path, result.picture.size());
    if (layer.layer.isNull())
        return WithMask();
    result.mask = std::move(layer.layer);
    result.maskReading = layer.reading;
    return result;
}

} // namespace PictureFile
