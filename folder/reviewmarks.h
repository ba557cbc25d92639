#ifndef VELMORA_FOLDER_REVIEWMARKS_H
#define VELMORA_FOLDER_REVIEWMARKS_H

#include "files/atomicfile.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QThreadPool>

// Marks of review on a folder's pictures: 需复查 (flagged) and 已复查 (reviewed). They live in
// the folder itself, in one small hidden file, so everyone working on a shared folder sees
// the others' marks.
namespace ReviewMarks {

// Interpolated: the mask was filled in between keyframes (补全中间帧), not made by hand; it
// goes once the picture is saved by hand or marked otherwise.
enum class Mark { None, Flagged, Reviewed, Interpolated };

// <folder>/.velmora-review.json
QString fileFor(const QString &folder);

// The largest review file read, and so the largest written: a file the program wrote is
// always one it reads back.
constexpr qint64 largestFile = qint64(64) << 20;

struct Marks
{
    QHash<QString, Mark> byName; // picture names; pictures without a mark are left out
    bool readable = true;        // false: the file is there but is not a list of marks
};

// The marks as the file has them now; none without the file.
Marks read(const QString &folder);

enum class Outcome {
    Written,
    Unreadable, // the file is not a list of marks: it is left as it is
    Locked,     // another program held the file's lock too long, or no lock could be made
    TooBig,     // the file would grow past largestFile
    NotWritten  // the writer refused or failed; `why` says how
};

// Gives picture `name` the mark `mark` (None takes it off). The file is read again under a
// lock and only this picture's entry changes, so marks others set meanwhile are kept, and so
// is whatever else the file holds; it is then written whole, compact, through the program's
// one writer. A file that can't be read is never replaced.
Outcome set(const QString &folder, const QString &name, Mark mark,
            AtomicFile::Failure *why = nullptr);

// The marks of one folder for the window: read and written on a thread of their own, one
// step at a time in the order asked, so the window never waits for a big file. A mark set
// shows at once, and stays shown while a read that started before it finishes.
class Keeper : public QObject
{
    Q_OBJECT

public:
    explicit Keeper(QObject *parent = nullptr);
    // Waits for the marks still being written: a mark set is never dropped on closing.
    ~Keeper() override;

    // Shows the marks of `folder` from now on, and reads them (again, for the same folder).
    void setFolder(const QString &folder);
    // Reads the file again: someone may have changed it.
    void reload();
    Mark markOf(const QString &name) const;
    bool readable() const { return known.readable; }
    void set(const QString &name, Mark mark);
    void waitForDone() { pool.waitForDone(); }

signals:
    // The marks shown changed.
    void changed();
    void written(const QString &name, ReviewMarks::Mark mark);
    void failed(const QString &folder, ReviewMarks::Outcome outcome, AtomicFile::Failure why);

private:
    struct Pending
    {
        int number;
        Mark mark;
    };

    QString folder;
    Marks known;
    QHash<QString, Pending> pending; // by picture name: the latest mark set, not yet written
    int setsAsked = 0;
    int readsAsked = 0;
    QThreadPool pool;
};

} // namespace ReviewMarks

#endif
