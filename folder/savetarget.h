#ifndef VELMORA_FOLDER_SAVETARGET_H
#define VELMORA_FOLDER_SAVETARGET_H

#include <QString>

// Where a save of a mask may write. A mask file can be a link or a hard link to a picture,
// made by mistake or by a tool; writing through it would replace the photo with a mask.
namespace SaveTarget {

enum class Kind {
    Free,         // nothing in the way
    Picture,      // the open picture or another picture of its folder, however reached
    OtherMask,    // the mask file of another picture of the folder, through a (hard) link
    OutsideFolder // a link to a file outside the picture's folder
};

struct Verdict
{
    Kind kind = Kind::Free;
    QString file; // the picture or mask it would replace, or the file the link leads to
};

// What a mask written to `maskPath` for the picture at `picturePath` would replace.
Verdict check(const QString &maskPath, const QString &picturePath);

} // namespace SaveTarget

#endif
