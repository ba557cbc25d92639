#ifndef VELMORA_RECOVERY_RECOVERY_H
#define VELMORA_RECOVERY_RECOVERY_H

#include <QDateTime>
#include <QFutureWatcher>
#include <QImage>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>

class QTimer;

// Copies of unsaved masks, kept in the user's data folder (never beside the pictures, where
// they would mix with a data set) so that a crash or a killed process loses at most the last
// few seconds of work. One file a picture: the 8-bit mask as PNG, with the picture's path,
// size and modification time and the time of the copy in its text chunks. No widgets.
class Recovery : public QObject
{
    Q_OBJECT

public:
    // A copy found for a picture.
    struct Found
    {
        QString file;   // the recovery file
        QDateTime time; // when the copy was made
    };

    // Keeps the copies in `folder`, made when first needed. Copies of pictures that no longer
    // exist are removed once they are older than the days kept.
    Recovery(const QString &folder, QObject *parent);
    // Waits for a copy being written, so none is left behind that was no longer wanted.
    ~Recovery() override;

    // <user data folder>/recovery.
    static QString defaultFolder();

    // Where the current mask comes from, as an 8-bit image (255 inside); called on the GUI
    // thread when a copy is due.
    void setSource(std::function<QImage()> exportMask);
    // The picture whose mask is kept from now on; the previous one's copy is left as it is.
    void setPicture(const QString &picturePath);
    // The mask differs from the saved one: a copy is made within a few seconds, and at most
    // once every few seconds while the changes go on.
    void changed();
    // The mask no longer needs a copy (saved, undone to the saved state, or discarded): the
    // current picture's copy is removed, also one still being written.
    void discard();
    // Makes the copy of the current picture's mask now, on this thread; used when the
    // program is asked to end. Returns whether the copy is on disk.
    bool writeNow();

    // The copy for the picture at `picturePath` that is worth offering: made for this very
    // picture (path, size and modification time alike) after its mask file was last changed.
    // Found::file is empty when there is none.
    Found find(const QString &picturePath) const;
    // The mask kept in a recovery file, as an 8-bit image; null when it can't be read.
    static QImage read(const QString &file);
    // Removes the copy for the picture at `picturePath`, if there is one.
    void remove(const QString &picturePath);
    // The file a copy for `picturePath` is kept in.
    QString fileFor(const QString &picturePath) const;

private:
    void startWrite();
    void onWriteFinished();
    void prune();

    QString folder;
    QString picture;
    std::function<QImage()> source;
    QTimer *due = nullptr;
    QThreadPool writer; // one thread, made at the start and kept
    QFutureWatcher<bool> writing;
    QString writingFile;         // the file the write under way goes to
    bool removeWhenDone = false; // the copy being written is no longer wanted
    bool again = false;          // a change came in while writing
};

#endif
