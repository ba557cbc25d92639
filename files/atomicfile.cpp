#include "files/atomicfile.h"

#include "platform/files.h"
#include "video/frames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace AtomicFile {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("AtomicFile", text);
}

// The folder a path lies in, spelled the one way the system knows it (links in the folder's
// own path resolved), so two spellings of one folder compare equal.
QString realFolderOf(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

} // namespace

QString targetOf(const QString &path)
{
    return Platform::finalPath(path);
}

Failure refusal(const QString &path, const Options &options)
{
    const QString target = targetOf(path);
    // Through a fifo, a device or onto a folder the bytes would go somewhere else, or the
    // write would wait for a reader forever.
    const QFileInfo existing(target);
    if (existing.exists() && !existing.isFile())
        return Failure::NotRegular;
    // A link that leads out of the folder would write into a place the user never looked
    // at: another project, a shared file, a system file.
    if (QFileInfo(path).isSymLink() && realFolderOf(target) != realFolderOf(path) &&
        target != options.agreedLinkTarget)
        return Failure::LinkOutOfFolder;
    return Failure::None;
}

Failure write(const QString &path, const Fill &fill, const Options &options)
{
    const Failure refused = refusal(path, options);
    if (refused != Failure::None)
        return refused;
    // A video's frames keep their files in a folder beside it, made with the first of them.
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder) && !Frames::videoOfMasksFolder(folder).isEmpty())
        QDir().mkdir(folder);
    // QSaveFile writes a new file beside the target and renames it over the target on
    // commit. Its fallback of rewriting the file in place when the folder refuses new files
    // is left off: that rewrite destroys the old bytes first.
    QSaveFile file(targetOf(path));
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return Failure::CannotCreate;
    const QFileDevice::Permissions permissions = file.permissions();
    if ((permissions & options.widest) != permissions &&
        !file.setPermissions(permissions & options.widest)) {
        file.cancelWriting();
        return Failure::WriteFailed;
    }
    // A small file can sit whole in QSaveFile's buffer until commit(), which flushes it
    // without looking at the result and then renames a truncated file over the old one. So
    // the buffer is flushed here, where a full disk shows as a failed flush.
    if (!fill(file) || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return Failure::WriteFailed;
    }
    return file.commit() ? Failure::None : Failure::WriteFailed;
}

Failure writeBytes(const QString &path, const QByteArray &bytes, const Options &options)
{
    return write(
        path, [&bytes](QIODevice &device) { return device.write(bytes) == bytes.size(); }, options);
}

QFileDevice::Permissions widestFor(const QString &path, const QString &sourcePath)
{
    if (QFileInfo::exists(targetOf(path)))
        return allPermissions();
    // Without a source to go by (no such file), a new file is the owner's alone.
    return QFile::permissions(Frames::sourceOf(sourcePath)) | ownerOnly();
}

QString describe(Failure failure, const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    switch (failure) {
    case Failure::None:
        break;
    case Failure::NotRegular:
        return tr("%1 不是普通文件（可能是管道、设备或文件夹），没有写入。").arg(shown);
    case Failure::LinkOutOfFolder:
        return tr("%1 是一个链接，指向所在文件夹之外的文件:\n%2\n为了不改动别处的文件，没有写入。")
            .arg(shown, QDir::toNativeSeparators(targetOf(path)));
    case Failure::CannotCreate:
        return tr("无法在文件夹 %1 中新建文件（文件夹不存在或不可写），%2 没有改动。")
            .arg(QDir::toNativeSeparators(QFileInfo(targetOf(path)).absolutePath()), shown);
    case Failure::WriteFailed:
        return tr("写入 %1 失败（磁盘可能已满），原来的文件没有改动。").arg(shown);
    }
    return QString();
}

} // namespace AtomicFile
