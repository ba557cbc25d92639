#include "folder/readahead.h"

#include "editor/maskfile.h"
#include "platform/memory.h"

#include <QFileInfo>
#include <QImageReader>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Bytes a picture pixel takes once read and shown: 4 for the picture, 1 for its mask
// layer, and the reduced copies of both, with some to spare.
constexpr qint64 bytesPerPixel = 8;

} // namespace

void ReadAhead::start(const QString &next)
{
    clear();
    if (next.isEmpty() || !PictureFile::isRegularFile(next))
        return;
    // Reading ahead is a convenience: it never takes memory the user's work may need.
    const QSize size = QImageReader(next).size();
    const qint64 available = Platform::availableMemory();
    if (!size.isValid() ||
        (available >= 0 && qint64(size.width()) * size.height() * bytesPerPixel > available / 2))
        return;
    path = next;
    // The stamps come first: a file changed while it is being read no longer matches.
    picture = FileStamp::of(path);
    mask = MaskFile::stampOf(MaskFile::pathFor(path));
    reading = QtConcurrent::run(PictureFile::readWithMask, path);
}

PictureFile::WithMask ReadAhead::take(const QString &wanted)
{
    PictureFile::WithMask result;
    if (!path.isEmpty() && wanted == path) {
        result = reading.result();
        if (FileStamp::of(path) != picture || MaskFile::stampOf(MaskFile::pathFor(path)) != mask)
            result = PictureFile::WithMask();
    }
    clear();
    return result;
}

void ReadAhead::clear()
{
    // The read goes on to its end on its worker; its result is simply not used.
    path.clear();
    reading = QFuture<PictureFile::WithMask>();
}
