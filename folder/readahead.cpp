#include "folder/readahead.h"

#include "files/classfiles.h"
#include "files/maskfile.h"
#include "platform/memory.h"
#include "video/frames.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

// The class map beside the picture and the folder's list of classes, which the read joins in.
QPair<FileStamp, FileStamp> ReadAhead::classStamps(const QString &picturePath)
{
    return {MaskFile::stampOf(ClassFiles::mapPathFor(picturePath)),
            FileStamp::of(ClassFiles::listPathFor(picturePath), FileStamp::Contents::Hashed)};
}

void ReadAhead::start(const QString &next)
{
    clear();
    // A video listed in a folder opens as its frames, not as a picture.
    if (next.isEmpty() || !PictureFile::isPicture(next) || Frames::hasVideoSuffix(next))
        return;
    // Reading ahead is a convenience: it never takes memory the user's work may need, and
    // never decodes what opening would ask about first.
    const PictureFile::Footprint footprint = PictureFile::footprintOf(next);
    const qint64 available = Platform::availableMemory();
    if (!footprint.size.isValid() || PictureFile::needsConsent(footprint, available))
        return;
    path = next;
    // The stamps come first: a file changed while it is being read no longer matches.
    picture = FileStamp::of(Frames::sourceOf(path));
    mask = MaskFile::stampOf(MaskFile::pathFor(path));
    objects = MaskFile::stampOf(ClassFiles::objectsPathFor(path));
    classes = classStamps(path);
    reading = QtConcurrent::run([next] { return PictureFile::readWithMask(next); });
}

PictureFile::WithMask ReadAhead::take(const QString &wanted)
{
    PictureFile::WithMask result;
    if (!path.isEmpty() && wanted == path) {
        result = reading.result();
        if (FileStamp::of(Frames::sourceOf(path)) != picture ||
            MaskFile::stampOf(MaskFile::pathFor(path)) != mask || classStamps(path) != classes ||
            MaskFile::stampOf(ClassFiles::objectsPathFor(path)) != objects)
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
