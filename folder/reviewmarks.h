#ifndef VELMORA_FOLDER_REVIEWMARKS_H
#define VELMORA_FOLDER_REVIEWMARKS_H

#include <QHash>
#include <QString>

// Marks of review on a folder's pictures: 需复查 (flagged) and 已复查 (reviewed). They live in
// the folder itself, in one small hidden file, so everyone working on a shared folder sees
// the others' marks.
namespace ReviewMarks {

enum class Mark { None, Flagged, Reviewed };

// <folder>/.velmora-review.json
QString fileFor(const QString &folder);

struct Marks
{
    QHash<QString, Mark> byName; // picture names; pictures without a mark are left out
    bool readable = true;        // false: the file is there but is not a list of marks
};

// The marks as the file has them now; none without the file.
Marks read(const QString &folder);

enum class Outcome { Written, Unreadable, NotWritten };

// Gives picture `name` the mark `mark` (None takes it off). The file is read again under a
// lock and only this picture's entry changes, so marks others set meanwhile are kept; it is
// then replaced whole, never left half-written. A file that can't be read is never replaced.
Outcome set(const QString &folder, const QString &name, Mark mark);

} // namespace ReviewMarks

#endif
