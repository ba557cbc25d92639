#ifndef VELMORA_FILES_ATOMICFILE_H
#define VELMORA_FILES_ATOMICFILE_H

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <functional>

class QIODevice;

// The one way the program writes a file: masks, class maps, labels.txt, the review file,
// recovery copies, thumbnails and every output of the command line. The new file is written
// beside the target and renamed into place only once all of it was flushed and checked, so
// the old file stays whole on every failure (a full disk, an encoder error, the process
// killed half-way).
namespace AtomicFile {

// Every permission bit: no limit.
constexpr QFileDevice::Permissions allPermissions()
{
    return QFileDevice::Permissions(QFlag(0x7777));
}

// Readable and writable by the owner alone: thumbnails and other private copies.
constexpr QFileDevice::Permissions ownerOnly()
{
    return QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
           QFileDevice::WriteUser;
}

struct Options
{
    // The file never has more permissions than these. An existing file keeps its own within
    // them; a new one gets the usual ones within them.
    QFileDevice::Permissions widest = allPermissions();
    // A file outside the target's folder that a link named by the target may lead to,
    // because the user was asked and agreed. Any other such link is refused.
    QString agreedLinkTarget;
};

enum class Failure {
    None,
    NotRegular,      // the target (or what its link leads to) is a fifo, device, folder ...
    LinkOutOfFolder, // the target is a link to a file in another folder
    CannotCreate,    // no new file can be made in the folder (read-only, not the user's)
    WriteFailed      // writing, flushing or renaming failed (a full disk, an I/O error)
};

// Fills the file with `fill`, which returns false when it could not give the whole
// contents (the old file then stays as it was).
using Fill = std::function<bool(QIODevice &)>;
Failure write(const QString &path, const Fill &fill, const Options &options = Options());
Failure writeBytes(const QString &path, const QByteArray &bytes,
                   const Options &options = Options());

// What a write to `path` would refuse before writing anything, or None.
Failure refusal(const QString &path, const Options &options = Options());

// The file a write to `path` replaces: a link named by `path` followed to its end.
QString targetOf(const QString &path);

// The widest permissions of a new file made from the file at `sourcePath` (a mask from its
// picture): none its source does not have, and always readable and writable by its owner,
// so a mask beside a private picture is private too. An existing file at `path` keeps its
// own.
QFileDevice::Permissions widestFor(const QString &path, const QString &sourcePath);

// A sentence for the user saying why writing `path` failed; it names the file.
QString describe(Failure failure, const QString &path);

} // namespace AtomicFile

#endif
