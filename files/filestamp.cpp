#include "files/filestamp.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace {

// Mask files are small: a compressed 8-bit mask of a 100-megapixel picture takes a few
// megabytes. Larger files are told apart by size and time alone.
constexpr qint64 largestHashedFile = 64 * 1024 * 1024;

} // namespace

FileStamp FileStamp::of(const QString &path, Contents contents)
{
    const QFileInfo info(path);
    FileStamp stamp;
    stamp.exists = info.exists();
    if (!stamp.exists)
        return stamp;
    stamp.size = info.size();
    stamp.modified = info.lastModified();
    // Only regular files are read: a fifo would wait for a writer forever.
    if (contents == Contents::Hashed && info.isFile() && stamp.size <= largestHashedFile) {
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha1);
        if (file.open(QIODevice::ReadOnly) && hash.addData(&file))
            stamp.hash = hash.result();
    }
    return stamp;
}
