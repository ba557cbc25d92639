#ifndef VELMORA_RECOVERY_RECOVERY_H
#define VELMORA_RECOVERY_RECOVERY_H

#include "files/filestamp.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

class QTimer;
namespace Platform {
class HeldFile;
}

// Copies of unsaved masks, kept in the user's own folders (never beside the pictures, where
// they would mix with a data set) so that a crash or a killed process loses at most the last
// few seconds of work. Each object (each window) keeps copies of its own, so two windows on
// one picture never remove or overwrite each other's, and while it lives it holds a lock that
// tells the others it is still running. A copy is the 8-bit mask as PNG, readable by the user
// alone, with the picture's path, size and modification time, the mask file's stamp it
// started from and the time of the copy in its text chunks. No widgets.
class Recovery : public QObject
{
    Q_OBJECT

public:
    // A copy found for a picture.
    struct Found
    {
        QString file;             // the recovery file
        QDateTime time;           // when the copy was made
        bool maskChanged = false; // the mask file changed since the copy's work started
    };

    // Keeps the copies in the first of `folders` where one can be written, made when first
    // needed, private to the user. Copies of pictures that no longer exist are removed once
    // they are older than the days kept.
    Recovery(const QStringList &folders, QObject *parent);
    // Waits for a copy being written, so none is left behind that was no longer wanted.
    ~Recovery() override;

    // <user data folder>/recovery, then a private folder that the system clears at logout,
    // for when the first can't be written.
    static QStringList defaultFolders();

    // Where the current mask comes from, as an 8-bit image (255 inside); called on the GUI
    // thread when a copy is due.
    void setSource(std::function<QImage()> exportMask);
    // The picture whose mask is kept from now on; the previous one's copy is left as it is.
    void setPicture(const QString &picturePath);
    // The mask file as it was read or last written: the point the unsaved work started from.
    void setMaskStart(const FileStamp &maskFile);
    // The mask differs from the saved one: a copy is made within a few seconds, and at most
    // once every few seconds while the changes go on.
    void changed();
    // The mask no longer needs a copy (saved, undone to the saved state, or discarded): this
    // object's copy of the current picture is removed, also one still being written.
    void discard();
    // Makes the copy of the current picture's mask now, on this thread; used when the
    // program is asked to end. Returns whether the copy is on disk.
    bool writeNow();
    // False once a copy could be written in none of the folders, until one can again.
    bool isAvailable() const { return available; }

    // The copies for the picture at `picturePath` that are worth offering, newest first:
    // made for this very picture (path, size and modification time alike) by this object or
    // by one that is no longer running, and not older than a mask file that holds later work.
    QVector<Found> find(const QString &picturePath) const;
    // The mask kept in a recovery file, as an 8-bit image; null when it can't be read. A copy
    // of classes comes as an 8-bit palette image whose values are the class numbers, one
    // with objects as an RGB image (withObjects()).
    static QImage read(const QString &file);
    // A copy of classes with objects: red the class number, green and blue the object's
    // (high byte first), as 8-bit RGB. Null without memory or for images that do not match.
    static QImage withObjects(const QImage &classes, const QImage &objects);
    // Splits such a copy into class numbers (8-bit grey) and object numbers (16-bit grey).
    static bool splitObjects(const QImage &copy, QImage *classes, QImage *objects);
    // Removes a copy that find() gave.
    static void remove(const QString &file);
    // Takes a copy that find() gave over for the current picture: this object's own copy is
    // made now and the found one removed once it is. Returns whether it was.
    bool adopt(const QString &file);
    // The file this object keeps its copy of `picturePath` in, in the first folder.
    QString fileFor(const QString &picturePath) const;

signals:
    void availabilityChanged(bool available);

private:
    QString ownName(const QString &picturePath) const;
    QStringList ownFiles(const QString &picturePath) const;
    void startWrite();
    void onWriteFinished();
    void setAvailable(bool now);
    void prune();

    QStringList folders;
    QString token; // this object's own part of its file names
    std::vector<std::unique_ptr<Platform::HeldFile>> locks; // one a folder, used by the writer
    QString picture;
    FileStamp maskStart;
    bool available = true;
    std::function<QImage()> source;
    QTimer *due = nullptr;
    QThreadPool writer;              // one thread, made at the start and kept
    QFutureWatcher<QString> writing; // gives the file written, empty when none was
    QString writingFor;              // the picture whose copy is being written
    bool removeWhenDone = false;     // the copy being written is no longer wanted
    bool again = false;              // a change came in while writing
};

#endif
