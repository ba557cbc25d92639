#include "video/frames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace Frames {

namespace {

const QString masksEnding = QStringLiteral("_masks");
const QString frameSuffix = QStringLiteral("frame");
constexpr int digits = 6;

bool isRegularFile(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

} // namespace

QStringList videoSuffixes()
{
    return {QStringLiteral("mp4"), QStringLiteral("mkv"), QStringLiteral("mov"),
            QStringLiteral("avi"), QStringLiteral("webm")};
}

bool hasVideoSuffix(const QString &name)
{
    return videoSuffixes().contains(QFileInfo(name).suffix().toLower());
}

QString masksFolderOf(const QString &videoPath)
{
    const QFileInfo video(videoPath);
    return video.absolutePath() + QLatin1Char('/') + video.completeBaseName() + masksEnding;
}

QString pathOf(const QString &videoPath, int number)
{
    return QStringLiteral("%1/%2.%3")
        .arg(masksFolderOf(videoPath))
        .arg(number, digits, 10, QLatin1Char('0'))
        .arg(frameSuffix);
}

QString videoOfMasksFolder(const QString &folder)
{
    const QFileInfo info(QDir::cleanPath(folder));
    const QString name = info.fileName();
    if (!name.endsWith(masksEnding) || name.size() == masksEnding.size())
        return QString();
    const QString stem = name.left(name.size() - masksEnding.size());
    const QDir parent(info.absolutePath());
    // The suffix as the user wrote it, lower or upper case.
    for (const QString &suffix : videoSuffixes()) {
        for (const QString &spelled : {suffix, suffix.toUpper()}) {
            const QString video = parent.filePath(stem + QLatin1Char('.') + spelled);
            if (isRegularFile(video))
                return video;
        }
    }
    return QString();
}

Frame frameOf(const QString &path)
{
    const QFileInfo info(path);
    if (info.suffix() != frameSuffix)
        return Frame();
    const QString base = info.completeBaseName();
    bool number = false;
    const int value = base.toInt(&number);
    if (!number || value < 1 || base.size() < digits || base.front() == QLatin1Char('+'))
        return Frame();
    const QString video = videoOfMasksFolder(info.absolutePath());
    if (video.isEmpty())
        return Frame();
    return Frame{video, value};
}

QString sourceOf(const QString &path)
{
    const Frame frame = frameOf(path);
    return frame.isValid() ? frame.video : path;
}

QString nameOf(const QString &video, int number)
{
    return QCoreApplication::translate("Frames", "%1 帧 %2").arg(video).arg(number);
}

QString displayName(const QString &path)
{
    const Frame frame = frameOf(path);
    if (!frame.isValid())
        return QFileInfo(path).fileName();
    return nameOf(QFileInfo(frame.video).fileName(), frame.number);
}

QString shownPath(const QString &path)
{
    const Frame frame = frameOf(path);
    return frame.isValid() ? nameOf(frame.video, frame.number) : path;
}

QString exportName(const QString &path)
{
    const Frame frame = frameOf(path);
    if (!frame.isValid())
        return QFileInfo(path).fileName();
    return QStringLiteral("%1.png").arg(frame.number, digits, 10, QLatin1Char('0'));
}

} // namespace Frames
