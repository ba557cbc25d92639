#include "editor/picturefile.h"

#include <QFileInfo>
#include <QImageReader>

namespace PictureFile {

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

} // namespace PictureFile
