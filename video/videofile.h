#ifndef VELMORA_VIDEO_VIDEOFILE_H
#define VELMORA_VIDEO_VIDEOFILE_H

#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <memory>

// A video file read as its frames, with FFmpeg's libraries. Opening it reads through its
// packets once (no decoding) to learn every frame's presentation time, so frame n is always
// the n-th frame shown, also with B-frames and a variable frame rate. A frame is decoded
// from the keyframe before it, and the frame it lands on is told by its time, never by
// where a seek says it went. Asking for the frame after the last one decoded goes on
// decoding, so stepping through frames costs one decode each.
// Safe to use from several threads: one decodes at a time.
class VideoFile
{
public:
    ~VideoFile();
    VideoFile(const VideoFile &) = delete;
    VideoFile &operator=(const VideoFile &) = delete;

    // Null when the file can't be opened as a video; `why`, when given, receives a sentence.
    static std::shared_ptr<VideoFile> open(const QString &path, QString *why = nullptr);
    // The video at `path` as opened last, while the file stays as it was; opened now
    // otherwise. A few videos are kept open. Each `lane` has a reader of its own, so work
    // that jumps around (thumbnails) never moves the decoder the editor steps with.
    enum class Lane { Editor, Thumbnails };
    static std::shared_ptr<VideoFile> shared(const QString &path, Lane lane = Lane::Editor);

    QString path() const;
    int frameCount() const;
    QSize size() const;
    double framesPerSecond() const;

    // Frame `number` (from 1) as Format_RGB32; null when it can't be decoded (a damaged or
    // truncated file), the number is out of range, or `cancelled` was set.
    QImage frame(int number, const std::atomic_bool *cancelled = nullptr);

    // How many frames were decoded to give the frames asked for so far.
    qint64 decodedCount() const;

private:
    VideoFile();
    struct State;
    std::unique_ptr<State> state;
};

#endif
