#ifndef VELMORA_FOLDER_READAHEAD_H
#define VELMORA_FOLDER_READAHEAD_H

#include "files/filestamp.h"
#include "files/picturefile.h"

#include <QFuture>
#include <QPair>
#include <QString>

// Reads one picture and its mask file (and class map) on a worker thread while the user works on
// another, so that moving to it costs no decoding. At most one picture is held.
class ReadAhead
{
public:
    ReadAhead() = default;
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // Starts reading the picture at `path`, dropping whatever was read before. Nothing is
    // read when the memory it would take is not plainly there.
    void start(const QString &path);
    // The picture at `path` if it was read ahead and neither it nor its mask file changed on
    // disk since; otherwise a null result. Waits for a read still under way. Either way the
    // read-ahead is empty afterwards.
    PictureFile::WithMask take(const QString &path);
    void clear();
    QString pending() const { return path; }

private:
    static QPair<FileStamp, FileStamp> classStamps(const QString &picturePath);

    QString path;
    FileStamp picture;
    FileStamp mask;
    FileStamp objects; // the object map beside it
    QPair<FileStamp, FileStamp> classes;
    QFuture<PictureFile::WithMask> reading;
};

#endif
