#ifndef VELMORA_PLATFORM_FILES_H
#define VELMORA_PLATFORM_FILES_H

#include <QString>
#include <QtGlobal>

namespace Platform {

// Which file a path leads to, however it is reached: through links, hard links or another
// spelling of the path. Two paths with equal valid identities are one file.
struct FileIdentity
{
    bool valid = false; // false when the path leads to no file
    quint64 device = 0;
    quint64 file = 0;
    quint32 links = 0; // names the file has (hard links)

    bool operator==(const FileIdentity &other) const
    {
        return valid && other.valid && device == other.device && file == other.file;
    }
    bool operator!=(const FileIdentity &other) const { return !(*this == other); }
};

FileIdentity identityOf(const QString &path);

// The file that writing to `path` replaces: links followed to their end, as a save through
// QSaveFile follows them, whether or not that file exists.
QString finalPath(const QString &path);

// Makes the folder at `path` (and its parents) when needed and leaves it readable by the
// user alone. Returns whether it is there and can be used.
bool makePrivateFolder(const QString &path);

// A folder of the user's own that the system clears at logout or restart (the runtime
// folder, or the temporary folder where there is none), with `name` appended. Not made.
QString privateTemporaryFolder(const QString &name);

// A file kept locked while the object lives; the system lets go of it when the process ends
// in any way, a crash and a kill included, so a locked file tells of a process still running.
class HeldFile
{
public:
    HeldFile() = default;
    ~HeldFile();
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;

    // Creates the file at `path` when needed and locks it. Returns whether it is held.
    bool hold(const QString &path);

    // Whether some object, of this process or another, holds the file at `path` now.
    static bool isHeldByAnyone(const QString &path);

private:
#ifdef Q_OS_WIN
    void *handle = nullptr;
#else
    int fd = -1;
#endif
};

} // namespace Platform

#endif
