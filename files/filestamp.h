#ifndef VELMORA_FILES_FILESTAMP_H
#define VELMORA_FILES_FILESTAMP_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What a file was at one moment, enough to tell later whether someone changed it: whether it
// existed, its size and modification time, and for a small file a hash of its bytes (two
// writes within the file system's time resolution can leave size and time alike).
struct FileStamp
{
    enum class Contents { Ignored, Hashed };

    bool exists = false;
    qint64 size = 0;
    QDateTime modified;
    QByteArray hash; // empty when not hashed

    static FileStamp of(const QString &path, Contents contents = Contents::Ignored);

    bool operator==(const FileStamp &other) const
    {
        return exists == other.exists && size == other.size && modified == other.modified &&
               hash == other.hash;
    }
    bool operator!=(const FileStamp &other) const { return !(*this == other); }
};

#endif
