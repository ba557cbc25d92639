#ifndef VELMORA_FOLDER_PICTUREFOLDER_H
#define VELMORA_FOLDER_PICTUREFOLDER_H

#include "files/maskfile.h"

#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

class QFileSystemWatcher;
class QTimer;

// One picture of a folder, and whether its mask file lies beside it.
struct FolderEntry
{
    QString name;
    bool hasMask = false;
    // Read while the mask file is taken to be usable; an unread status once the picture was
    // opened and its mask file could not be shown.
    MaskFile::ReadStatus maskStatus = MaskFile::ReadStatus::Absent;
    bool isDone() const { return maskStatus == MaskFile::ReadStatus::Read; }
    // The classes its mask holds, known once it was opened here, and whether its class map
    // and its mask file disagreed then.
    QStringList classes;
    bool classesDisagreed = false;
};

// The pictures of the current folder, in the order people expect ("img2" before "img10"),
// without the mask files, kept up to date while files come and go. Videos follow the
// pictures; the folder of a video's masks lists the video's frames.
class PictureFolder : public QObject
{
    Q_OBJECT

public:
    explicit PictureFolder(QObject *parent = nullptr);

    // Makes the folder of absolute path `folder` the current one and lists it; the current
    // folder again changes nothing, as its list follows the disk. An empty path forgets it.
    void setFolder(const QString &folder);
    QString folder() const { return current; }

    const QVector<FolderEntry> &entries() const { return list; }
    int doneCount() const;
    QString pathAt(int index) const;
    // How the entry is named to the user: its file name, or "clip.mp4 帧 42" for a frame.
    QString shownName(const FolderEntry &entry) const;
    // The video whose frames are listed, or empty for a folder of pictures.
    QString video() const { return listedVideo; }
    // The entry of the picture at `path`, or -1 when it is not listed here.
    int indexOf(const QString &path) const;
    // The picture after or before the one at `path` in the folder's order, also for a path
    // that is not listed (a picture of this folder opened some other way); empty at the ends
    // and for a path in another folder.
    QString next(const QString &path) const;
    QString previous(const QString &path) const;

    // Looks again whether the picture at `path` has its mask file, after a save.
    void refreshMask(const QString &path);
    // What became of the mask file of the picture at `path` when it was last read or
    // written; kept while the file stays as it was.
    void setMaskStatus(const QString &path, MaskFile::ReadStatus status);
    // The classes the picture's mask holds, as the window last saw them.
    void setClasses(const QString &path, const QStringList &classes, bool disagreed);
    // Reads the folder again.
    void rescan();

    // The pictures of `folder`: files with a picture suffix, in natural order, leaving out
    // each one that is the mask file of another. One read of the folder, no decoding.
    static QVector<FolderEntry> read(const QString &folder);
    // The frames of `video`, whose masks folder holds the files `names`.
    static QVector<FolderEntry> framesOf(const QString &video, const QSet<QString> &names);
    // Natural, case-insensitive order in every locale: runs of digits compare by value.
    static bool naturalLess(const QString &a, const QString &b);
    // The mask files of `entries` in `folder` that the headers already show can't be used
    // (another size than the picture, or no image at all), by picture name. Headers only.
    static QHash<QString, MaskFile::ReadStatus> unusableMasks(const QString &folder,
                                                              const QVector<FolderEntry> &entries);

signals:
    // The list was read again (the folder changed, or files came or went).
    void listChanged();
    // Entry `index` gained or lost its mask file.
    void maskChanged(int index);

private:
    QString current;
    QString listedVideo;
    bool present = false; // whether the folder existed when it was last read
    QVector<FolderEntry> list;
    QHash<QString, MaskFile::ReadStatus> unread;   // by picture name, from opening it
    QHash<QString, MaskFile::ReadStatus> unusable; // by picture name, from the headers
    struct ClassNote
    {
        QStringList classes;
        bool disagreed = false;
    };
    QHash<QString, ClassNote> classNotes; // by picture name, from opening it
    // The headers of the listed masks are checked on a worker after each listing.
    QFutureWatcher<QHash<QString, MaskFile::ReadStatus>> checking;
    // Sets the entry's status from its mask file's presence and what is known against it.
    void applyStatus(FolderEntry &entry) const;
    void onChecked();
    // The end of the pictures in the list; videos follow them.
    QVector<FolderEntry>::const_iterator picturesEnd() const;
    QFileSystemWatcher *watcher = nullptr;
    QTimer *settle = nullptr;
};

#endif
