#include "folder/picturefolder.h"

#include "files/classfiles.h"
#include "files/maskfile.h"
#include "files/picturefile.h"
#include "video/frames.h"
#include "video/videofile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QImageReader>
#include <QSet>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

// A burst of changes (a copy of many files) is read once it has settled, in milliseconds.
constexpr int settleMs = 200;

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Compares the digit runs a[i, iEnd) and b[j, jEnd) by value, whatever their length.
int compareNumbers(const QString &a, int i, int iEnd, const QString &b, int j, int jEnd)
{
    while (i < iEnd - 1 && a.at(i) == QLatin1Char('0'))
        ++i;
    while (j < jEnd - 1 && b.at(j) == QLatin1Char('0'))
        ++j;
    if (iEnd - i != jEnd - j)
        return (iEnd - i) - (jEnd - j);
    for (; i < iEnd; ++i, ++j) {
        if (a.at(i) != b.at(j))
            return a.at(i).unicode() - b.at(j).unicode();
    }
    return 0;
}

QString maskName(const QString &folder, const QString &name)
{
    return QFileInfo(MaskFile::pathFor(folder + QLatin1Char('/') + name)).fileName();
}

} // namespace

PictureFolder::PictureFolder(QObject *parent)
    : QObject(parent), watcher(new QFileSystemWatcher(this)), settle(new QTimer(this))
{
    settle->setSingleShot(true);
    settle->setInterval(settleMs);
    // The folder's own changes, and in its parent the folder itself going or coming back:
    // a folder renamed while it is watched says nothing of its own.
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, [this](const QString &path) {
        if (path == current || QFileInfo(current).isDir() != present)
            settle->start();
    });
    connect(settle, &QTimer::timeout, this, &PictureFolder::rescan);
    connect(&checking, &QFutureWatcherBase::finished, this, &PictureFolder::onChecked);
}

bool PictureFolder::naturalLess(const QString &a, const QString &b)
{
    // QCollator's numeric mode is ignored in the C locale, so the order is made here.
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a.at(i)) && isDigit(b.at(j))) {
            int iEnd = i;
            int jEnd = j;
            while (iEnd < a.size() && isDigit(a.at(iEnd)))
                ++iEnd;
            while (jEnd < b.size() && isDigit(b.at(jEnd)))
                ++jEnd;
            if (const int order = compareNumbers(a, i, iEnd, b, j, jEnd))
                return order < 0;
            i = iEnd;
            j = jEnd;
            continue;
        }
        const QChar ca = a.at(i).toCaseFolded();
        const QChar cb = b.at(j).toCaseFolded();
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((i < a.size()) != (j < b.size()))
        return i >= a.size();
    // Names that differ only in case or leading zeros still get one fixed order.
    return a < b;
}

QVector<FolderEntry> PictureFolder::read(const QString &folder)
{
    // The listing alone tells which entries are files; nothing is opened or decoded.
    QSet<QString> names;
    QVector<QString> pictures;
    QVector<QString> videos;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        names.insert(name);
        if (PictureFile::hasPictureSuffix(name))
            pictures.append(name);
        else if (Frames::hasVideoSuffix(name))
            videos.append(name);
    }
    // The folder that keeps a video's masks lists the video's frames.
    const QString video = Frames::videoOfMasksFolder(folder);
    if (!video.isEmpty())
        return framesOf(video, names);
    QSet<QString> masks;
    for (const QString &name : qAsConst(pictures)) {
        const QString mask = maskName(folder, name);
        if (mask != name && names.contains(mask))
            masks.insert(mask);
        // A picture's class map and object map are no pictures of their own either.
        const QString picture = folder + QLatin1Char('/') + name;
        for (const QString &side :
             {ClassFiles::mapPathFor(picture), ClassFiles::objectsPathFor(picture)}) {
            const QString sideName = QFileInfo(side).fileName();
            if (sideName != name && names.contains(sideName))
                masks.insert(sideName);
        }
    }
    QVector<FolderEntry> entries;
    entries.reserve(pictures.size());
    for (const QString &name : qAsConst(pictures)) {
        if (masks.contains(name))
            continue;
        const QString owner =
            QFileInfo(MaskFile::ownerOf(folder + QLatin1Char('/') + name)).fileName();
        const bool hasMask =
            masks.contains(maskName(folder, name)) && (owner == name || !names.contains(owner));
        FolderEntry entry;
        entry.name = name;
        entry.hasMask = hasMask;
        entry.maskStatus = hasMask ? MaskFile::ReadStatus::Read : MaskFile::ReadStatus::Absent;
        entries.append(entry);
    }
    std::sort(entries.begin(), entries.end(), [](const FolderEntry &a, const FolderEntry &b) {
        return naturalLess(a.name, b.name);
    });
    // Videos come after the pictures; opening one shows its frames.
    std::sort(videos.begin(), videos.end(), naturalLess);
    for (const QString &name : qAsConst(videos)) {
        FolderEntry entry;
        entry.name = name;
        entries.append(entry);
    }
    return entries;
}

QVector<FolderEntry> PictureFolder::framesOf(const QString &video, const QSet<QString> &names)
{
    const auto file = VideoFile::shared(video);
    const int count = file ? file->frameCount() : 0;
    QVector<FolderEntry> entries(count);
    for (int number = 1; number <= count; ++number) {
        FolderEntry &entry = entries[number - 1];
        const QString path = Frames::pathOf(video, number);
        entry.name = QFileInfo(path).fileName();
        entry.hasMask = names.contains(QFileInfo(MaskFile::pathFor(path)).fileName());
        entry.maskStatus =
            entry.hasMask ? MaskFile::ReadStatus::Read : MaskFile::ReadStatus::Absent;
    }
    return entries;
}

void PictureFolder::setFolder(const QString &folder)
{
    // The folder already shown is kept up to date by the watcher; it is not read again.
    if (folder == current)
        return;
    if (!watcher->directories().isEmpty())
        watcher->removePaths(watcher->directories());
    current = folder;
    unread.clear();
    unusable.clear();
    if (!current.isEmpty())
        watcher->addPaths({current, QFileInfo(current).absolutePath()});
    rescan();
}

void PictureFolder::rescan()
{
    // A folder deleted or renamed while it is open lists as empty.
    present = !current.isEmpty() && QFileInfo(current).isDir();
    // A video's frames are listed before its masks folder is made.
    listedVideo = current.isEmpty() ? QString() : Frames::videoOfMasksFolder(current);
    list = present || !listedVideo.isEmpty() ? read(current) : QVector<FolderEntry>();
    for (FolderEntry &entry : list)
        applyStatus(entry);
    // A mask the list counts as done must be one the picture can show.
    checking.setFuture(QtConcurrent::run(unusableMasks, current, list));
    // A folder made again under the same name is watched again.
    if (present && !watcher->directories().contains(current))
        watcher->addPath(current);
    emit listChanged();
}

int PictureFolder::doneCount() const
{
    return int(std::count_if(list.cbegin(), list.cend(),
                             [](const FolderEntry &entry) { return entry.isDone(); }));
}

QString PictureFolder::pathAt(int index) const
{
    if (index < 0 || index >= list.size())
        return QString();
    return current + QLatin1Char('/') + list.at(index).name;
}

QString PictureFolder::shownName(const FolderEntry &entry) const
{
    if (listedVideo.isEmpty())
        return entry.name;
    return Frames::nameOf(QFileInfo(listedVideo).fileName(),
                          QFileInfo(entry.name).completeBaseName().toInt());
}

int PictureFolder::indexOf(const QString &path) const
{
    const QFileInfo info(path);
    if (current.isEmpty() || info.absolutePath() != current)
        return -1;
    const QString name = info.fileName();
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i).name == name)
            return i;
    }
    return -1;
}

QString PictureFolder::next(const QString &path) const
{
    const QFileInfo info(path);
    if (current.isEmpty() || info.absolutePath() != current)
        return QString();
    const int index = indexOf(path);
    if (index >= 0)
        return pathAt(index + 1);
    // Not listed: its place among the pictures, which are in natural order.
    const QString name = info.fileName();
    const auto after = std::upper_bound(
        list.cbegin(), picturesEnd(), name,
        [](const QString &n, const FolderEntry &e) { return naturalLess(n, e.name); });
    return after == list.cend() ? QString() : pathAt(int(after - list.cbegin()));
}

QString PictureFolder::previous(const QString &path) const
{
    const QFileInfo info(path);
    if (current.isEmpty() || info.absolutePath() != current)
        return QString();
    const int index = indexOf(path);
    if (index >= 0)
        return pathAt(index - 1);
    const QString name = info.fileName();
    const auto first = std::lower_bound(
        list.cbegin(), picturesEnd(), name,
        [](const FolderEntry &e, const QString &n) { return naturalLess(e.name, n); });
    return first == list.cbegin() ? QString() : pathAt(int(first - list.cbegin()) - 1);
}

QVector<FolderEntry>::const_iterator PictureFolder::picturesEnd() const
{
    return std::find_if(list.cbegin(), list.cend(),
                        [](const FolderEntry &e) { return Frames::hasVideoSuffix(e.name); });
}

void PictureFolder::refreshMask(const QString &path)
{
    const int index = indexOf(path);
    if (index < 0)
        return;
    FolderEntry entry = list.at(index);
    entry.hasMask = PictureFile::isRegularFile(MaskFile::pathFor(pathAt(index))) &&
                    !MaskFile::maskNameTaken(pathAt(index));
    applyStatus(entry);
    const FolderEntry &was = list.at(index);
    if (entry.hasMask == was.hasMask && entry.maskStatus == was.maskStatus &&
        entry.classes == was.classes && entry.classesDisagreed == was.classesDisagreed)
        return;
    list[index] = entry;
    emit maskChanged(index);
}

QHash<QString, MaskFile::ReadStatus>
PictureFolder::unusableMasks(const QString &folder, const QVector<FolderEntry> &entries)
{
    QHash<QString, MaskFile::ReadStatus> found;
    for (const FolderEntry &entry : entries) {
        if (!entry.hasMask)
            continue;
        const QString picture = folder + QLatin1Char('/') + entry.name;
        const QString mask = MaskFile::pathFor(picture);
        // A fifo would keep the reader waiting for a writer forever.
        if (!PictureFile::isRegularFile(mask) || !PictureFile::isPicture(picture))
            continue;
        const QSize maskSize = QImageReader(mask).size();
        const QSize pictureSize = PictureFile::sizeOf(picture);
        if (!maskSize.isValid())
            found.insert(entry.name, MaskFile::ReadStatus::Undecodable);
        else if (pictureSize.isValid() && maskSize != pictureSize)
            found.insert(entry.name, MaskFile::ReadStatus::OtherSize);
    }
    return found;
}

void PictureFolder::onChecked()
{
    unusable = checking.result();
    for (int index = 0; index < list.size(); ++index) {
        FolderEntry entry = list.at(index);
        applyStatus(entry);
        if (entry.maskStatus == list.at(index).maskStatus)
            continue;
        list[index] = entry;
        emit maskChanged(index);
    }
}

void PictureFolder::setMaskStatus(const QString &path, MaskFile::ReadStatus status)
{
    const int index = indexOf(path);
    if (index < 0)
        return;
    const QString name = list.at(index).name;
    unusable.remove(name);
    if (MaskFile::isUnread(status))
        unread.insert(name, status);
    else
        unread.remove(name);
    refreshMask(path);
}

void PictureFolder::setClasses(const QString &path, const QStringList &classes, bool disagreed)
{
    const int index = indexOf(path);
    if (index < 0)
        return;
    classNotes.insert(list.at(index).name, {classes, disagreed});
    refreshMask(path);
}

// A mask file known to be unread stays so while it is there; one that is gone is forgotten.
void PictureFolder::applyStatus(FolderEntry &entry) const
{
    entry.maskStatus = entry.hasMask ? MaskFile::ReadStatus::Read : MaskFile::ReadStatus::Absent;
    const ClassNote note = classNotes.value(entry.name);
    entry.classes = note.classes;
    entry.classesDisagreed = note.disagreed;
    // What opening the picture found knows better than its header.
    auto known = unread.constFind(entry.name);
    if (known == unread.cend()) {
        known = unusable.constFind(entry.name);
        if (known == unusable.cend())
            return;
    }
    if (!QFileInfo::exists(MaskFile::pathFor(current + QLatin1Char('/') + entry.name)))
        return;
    entry.maskStatus = known.value();
}
