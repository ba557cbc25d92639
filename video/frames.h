#ifndef VELMORA_VIDEO_FRAMES_H
#define VELMORA_VIDEO_FRAMES_H

#include <QString>
#include <QStringList>

// The names of a video's frames. A frame is opened, listed and saved like a picture under
// a path of its own, NAME_masks/000001.frame beside NAME.mp4: that path names no file, and
// every file rule of pictures then puts the frame's files where they belong (its mask
// 000001_mask.png, its class map 000001_labels.png, labels.txt and the review file, all in
// NAME_masks/). Frames are numbered from 1 in presentation order, six digits, as a frame
// extractor numbers the files it writes, so extracted frames pair with these masks.
namespace Frames {

// The video suffixes opened, lower case.
QStringList videoSuffixes();
// True for a name with a video suffix, in any case.
bool hasVideoSuffix(const QString &name);

// clip.mp4 -> <folder of clip.mp4>/clip_masks
QString masksFolderOf(const QString &videoPath);
// The path of frame `number` (from 1) of the video: clip_masks/000042.frame
QString pathOf(const QString &videoPath, int number);

// The video and frame number a frame path names. Empty and 0 for any other path, and for a
// frame path whose video is not there.
struct Frame
{
    QString video;
    int number = 0;
    bool isValid() const { return number > 0; }
};
Frame frameOf(const QString &path);
inline bool isFramePath(const QString &path)
{
    return frameOf(path).isValid();
}

// The video whose frames `folder` holds the masks of (clip_masks -> clip.mp4), or empty.
QString videoOfMasksFolder(const QString &folder);

// The file a path's pixels come from: the video for a frame, else the path itself.
QString sourceOf(const QString &path);

// Frame `number` of `video` (a name or a path) as the user reads it: "clip.mp4 帧 42".
QString nameOf(const QString &video, int number);

// How a frame is named to the user: "clip.mp4 帧 42"; any other path by its file name.
QString displayName(const QString &path);

// How a path is shown in full: the path, or "/videos/clip.mp4 帧 42" for a frame.
QString shownPath(const QString &path);

// The file name a frame is written under when the frames are written out, and the name a
// frame has in an export: 000042.png. Any other path's file name.
QString exportName(const QString &path);

} // namespace Frames

#endif
