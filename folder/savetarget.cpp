#include "folder/savetarget.h"

#include "files/maskfile.h"
#include "folder/picturefolder.h"
#include "platform/files.h"

#include <QFileInfo>

namespace SaveTarget {

namespace {

QString canonicalFolderOf(const QString &path)
{
    return QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
}

} // namespace

Verdict check(const QString &maskPath, const QString &picturePath)
{
    const bool isLink = QFileInfo(maskPath).isSymLink();
    const QString target = Platform::finalPath(maskPath);
    const Platform::FileIdentity written = Platform::identityOf(target);
    if (written.valid) {
        const QString picture = QFileInfo(picturePath).absoluteFilePath();
        if (written == Platform::identityOf(picture))
            return {Kind::Picture, picture};
        // A picture of the folder is looked for where the file can be one: in the folder
        // itself, or anywhere through a link or a hard link. A file with one name reached
        // without a link can only be the picture of the same name.
        const QString folder = QFileInfo(picture).absolutePath();
        const bool otherNames = isLink || written.links > 1;
        const QString name = QFileInfo(target).fileName();
        if (otherNames || canonicalFolderOf(target) == canonicalFolderOf(picture)) {
            for (const FolderEntry &entry : PictureFolder::read(folder)) {
                if (!otherNames && entry.name.compare(name, Qt::CaseInsensitive) != 0)
                    continue;
                const QString other = folder + QLatin1Char('/') + entry.name;
                if (Platform::identityOf(other) == written)
                    return {Kind::Picture, other};
                // Another picture's mask, reached through a link or a hard link, would be lost.
                const QString otherMask = MaskFile::pathFor(other);
                if (otherNames && other != picture && Platform::identityOf(otherMask) == written)
                    return {Kind::OtherMask, otherMask};
            }
        }
    }
    // Two pictures of one name in two formats (cat.png and cat.heic) lead to one mask file
    // name. It is the mask of the picture whose own format it has: the other one must not
    // take it over.
    const QFileInfo maskFile(maskPath);
    const QString ownPicture = QFileInfo(picturePath).absoluteFilePath();
    if (maskFile.suffix().compare(QFileInfo(ownPicture).suffix(), Qt::CaseInsensitive) != 0) {
        const QString folder = QFileInfo(ownPicture).absolutePath();
        for (const FolderEntry &entry : PictureFolder::read(folder)) {
            const QString other = folder + QLatin1Char('/') + entry.name;
            const QString otherMask = MaskFile::pathFor(other);
            if (other != ownPicture &&
                QFileInfo(other).suffix().compare(maskFile.suffix(), Qt::CaseInsensitive) == 0 &&
                QFileInfo(otherMask).absoluteFilePath() == maskFile.absoluteFilePath())
                return {Kind::OtherMask, otherMask};
        }
    }
    // A link to a device or a folder is nothing a save writes to: it fails on its own.
    const QFileInfo end(target);
    if (isLink && (!end.exists() || end.isFile()) &&
        canonicalFolderOf(target) != canonicalFolderOf(picturePath))
        return {Kind::OutsideFolder, target};
    return {};
}

} // namespace SaveTarget
