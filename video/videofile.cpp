#include "video/videofile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <algorithm>
#include <list>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("VideoFile", text);
}

// A keyframe: where decoding can start.
struct Key
{
    int64_t time = 0; // presentation time
    int64_t seek = 0; // the time a seek looks for: decoding time where the file has it
    int index = 0;    // the frame it shows, from 1
};

// The time a decoded frame is shown at, as the index counts it.
int64_t timeOf(const AVFrame *frame)
{
    return frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
}

} // namespace

struct VideoFile::State
{
    QString path;
    QMutex mutex;
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    SwsContext *scale = nullptr;
    AVPacket *packet = nullptr;
    AVFrame *decoded = nullptr;
    int stream = -1;
    std::vector<int64_t> times; // every frame's presentation time, in the order shown
    std::vector<Key> keys;      // in the order shown
    bool timed = true;          // false: some packet had no time, frames are counted instead
    QSize size;
    double framesPerSecond = 0;
    int lastShown = 0;    // the frame the decoder gave last, 0 after a seek
    bool pending = false; // `packet` holds a packet read but not yet sent to the decoder
    bool drained = false; // the decoder was given the end of the file
    bool ended = false;   // and has given its last frame
    qint64 decodes = 0;

    ~State()
    {
        sws_freeContext(scale);
        av_frame_free(&decoded);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    bool index(QString *why);
    bool seekTo(int key);
    bool readPacket();
    QImage imageOf(const AVFrame *frame);
    int shownIndexOf(const AVFrame *frame) const;
    QImage decodeTo(int number, const std::atomic_bool *cancelled);
};

VideoFile::VideoFile() : state(new State) {}

VideoFile::~VideoFile() = default;

std::shared_ptr<VideoFile> VideoFile::open(const QString &path, QString *why)
{
    auto fail = [why](const QString &sentence) {
        if (why)
            *why = sentence;
        return std::shared_ptr<VideoFile>();
    };
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return fail(tr("不是普通文件"));
    // A damaged file makes the decoders report every broken packet on the console; the
    // user hears of it as frames that can't be loaded.
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_FATAL);
        return true;
    }();
    Q_UNUSED(quiet)
    std::shared_ptr<VideoFile> video(new VideoFile);
    State &s = *video->state;
    s.path = path;
    const QByteArray local = QFile::encodeName(path);
    if (avformat_open_input(&s.format, local.constData(), nullptr, nullptr) < 0)
        return fail(tr("无法识别为视频"));
    // Files that store no presentation times (AVI with B-frames) get them worked out from
    // the pictures' types, as a player shows them.
    s.format->flags |= AVFMT_FLAG_GENPTS;
    if (avformat_find_stream_info(s.format, nullptr) < 0)
        return fail(tr("无法读取视频的信息"));
    const AVCodec *decoder = nullptr;
    s.stream = av_find_best_stream(s.format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (s.stream < 0 || !decoder)
        return fail(tr("没有可以解码的画面"));
    AVStream *stream = s.format->streams[s.stream];
    s.codec = avcodec_alloc_context3(decoder);
    if (!s.codec || avcodec_parameters_to_context(s.codec, stream->codecpar) < 0)
        return fail(tr("没有可以解码的画面"));
    // Frame threads: more than the cores, as threads wait on the frames they refer to.
    // Measured on two cores, four took the slowest jump from 350 to 280 ms.
    s.codec->thread_count = qBound(4, QThread::idealThreadCount() + 2, 16);
    s.codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(s.codec, decoder, nullptr) < 0)
        return fail(tr("没有可以解码的画面"));
    s.size = QSize(stream->codecpar->width, stream->codecpar->height);
    const AVRational rate =
        stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    s.framesPerSecond = rate.den > 0 ? av_q2d(rate) : 0;
    s.packet = av_packet_alloc();
    s.decoded = av_frame_alloc();
    if (!s.packet || !s.decoded || s.size.isEmpty())
        return fail(tr("没有可以解码的画面"));
    if (!s.index(why))
        return std::shared_ptr<VideoFile>();
    if (!s.seekTo(0))
        return fail(tr("无法回到视频的开头"));
    return video;
}

// Reads through every packet of the stream once, without decoding: the frames' times in
// the order shown are the frames' numbers.
bool VideoFile::State::index(QString *why)
{
    struct Seen
    {
        int64_t time;
        int64_t seek;
        bool key;
    };
    std::vector<Seen> seen;
    while (av_read_frame(format, packet) >= 0) {
        // Packets the file's own timeline leaves out (before or after an edit list) are
        // never shown.
        if (packet->stream_index == stream && !(packet->flags & AV_PKT_FLAG_DISCARD) &&
            packet->size > 0) {
            if (packet->pts == AV_NOPTS_VALUE)
                timed = false;
            seen.push_back({packet->pts, packet->dts, (packet->flags & AV_PKT_FLAG_KEY) != 0});
        }
        av_packet_unref(packet);
    }
    if (seen.empty()) {
        if (why)
            *why = tr("视频中没有画面");
        return false;
    }
    if (!timed) {
        // No presentation times (AVI): frames are counted as the decoder gives them, from
        // keyframes that start a closed group, shown at their place in the file.
        for (size_t i = 0; i < seen.size(); ++i) {
            times.push_back(int64_t(i));
            if (seen[i].key && seen[i].seek != AV_NOPTS_VALUE)
                keys.push_back({int64_t(i), seen[i].seek, int(i) + 1});
        }
        if (keys.empty() || keys.front().index > 1)
            keys.insert(keys.begin(), {0, AV_NOPTS_VALUE, 1});
        return true;
    }
    for (Seen &packetSeen : seen) {
        if (packetSeen.seek == AV_NOPTS_VALUE)
            packetSeen.seek = packetSeen.time;
    }
    for (const Seen &packetSeen : seen)
        times.push_back(packetSeen.time);
    std::stable_sort(times.begin(), times.end());
    for (const Seen &packetSeen : seen) {
        if (!packetSeen.key)
            continue;
        const int index =
            int(std::lower_bound(times.begin(), times.end(), packetSeen.time) - times.begin()) + 1;
        keys.push_back({packetSeen.time, packetSeen.seek, index});
    }
    // A stream whose first packet is no keyframe still decodes from its start.
    if (keys.empty() || keys.front().index > 1)
        keys.insert(keys.begin(), {times.front(), AV_NOPTS_VALUE, 1});
    std::stable_sort(keys.begin(), keys.end(),
                     [](const Key &a, const Key &b) { return a.time < b.time; });
    return true;
}

bool VideoFile::State::readPacket()
{
    while (true) {
        if (av_read_frame(format, packet) < 0)
            return false;
        if (packet->stream_index == stream)
            return true;
        av_packet_unref(packet);
    }
}

// Starts decoding at keyframe `key`. A seek may land somewhere else: before it only costs
// decoding more; after it, an earlier keyframe (at last the start) is sought instead.
bool VideoFile::State::seekTo(int key)
{
    avcodec_flush_buffers(codec);
    if (pending)
        av_packet_unref(packet);
    pending = false;
    drained = false;
    ended = false;
    lastShown = 0;
    for (int tried = key; tried >= -1; --tried) {
        const bool start = tried < 0 || keys[size_t(tried)].seek == AV_NOPTS_VALUE;
        const int64_t target = start ? INT64_MIN : keys[size_t(tried)].seek;
        int result;
        if (start)
            result = avformat_seek_file(format, stream, INT64_MIN, INT64_MIN, INT64_MIN, 0);
        else
            result = av_seek_frame(format, stream, target, AVSEEK_FLAG_BACKWARD);
        if (result < 0 && start)
            result = avformat_seek_file(format, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BYTE);
        if (result < 0)
            continue;
        // Up to the first keyframe: what comes before it can't be decoded alone.
        while (readPacket()) {
            if (packet->flags & AV_PKT_FLAG_KEY)
                break;
            av_packet_unref(packet);
        }
        if (!packet->data && !packet->size)
            return false;
        if (start) {
            pending = true;
            return true;
        }
        if (timed) {
            const int64_t landed = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (landed == AV_NOPTS_VALUE || landed <= keys[size_t(key)].time) {
                pending = true;
                return true;
            }
        } else {
            // Counting needs the exact keyframe landed on.
            const auto landed = std::find_if(
                keys.begin(), keys.end(), [this](const Key &k) { return k.seek == packet->dts; });
            if (landed != keys.end() && landed->index <= keys[size_t(key)].index) {
                lastShown = landed->index - 1;
                pending = true;
                return true;
            }
        }
        av_packet_unref(packet);
    }
    return false;
}

int VideoFile::State::shownIndexOf(const AVFrame *frame) const
{
    const int64_t time = timeOf(frame);
    if (!timed || time == AV_NOPTS_VALUE)
        return lastShown + 1;
    return int(std::lower_bound(times.begin(), times.end(), time) - times.begin()) + 1;
}

QImage VideoFile::State::imageOf(const AVFrame *frame)
{
    QImage image(frame->width, frame->height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const auto format = AVPixelFormat(frame->format);
    scale = sws_getCachedContext(scale, frame->width, frame->height, format, frame->width,
                                 frame->height, AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr,
                                 nullptr);
    if (!scale)
        return QImage();
    // The colours as the file says they were encoded: BT.709 for HD, studio or full range.
    const int colourSpace = frame->colorspace == AVCOL_SPC_UNSPECIFIED
                                ? (frame->height >= 720 ? SWS_CS_ITU709 : SWS_CS_DEFAULT)
                                : int(frame->colorspace);
    const bool fullRange = frame->color_range == AVCOL_RANGE_JPEG ||
                           format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
                           format == AV_PIX_FMT_YUVJ444P;
    const int *coefficients = sws_getCoefficients(colourSpace);
    sws_setColorspaceDetails(scale, coefficients, fullRange, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                             0, 1 << 16, 1 << 16);
    uint8_t *planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scale, frame->data, frame->linesize, 0, frame->height, planes, strides);
    return image;
}

QImage VideoFile::State::decodeTo(int number, const std::atomic_bool *cancelled)
{
    while (true) {
        if (cancelled && cancelled->load())
            return QImage();
        // What the decoder has ready comes first.
        while (true) {
            const int received = avcodec_receive_frame(codec, decoded);
            if (received < 0) {
                if (received == AVERROR_EOF) {
                    ended = true;
                    return QImage();
                }
                break;
            }
            ++decodes;
            const int shown = shownIndexOf(decoded);
            lastShown = std::max(lastShown, shown);
            if (shown == number) {
                QImage image = imageOf(decoded);
                av_frame_unref(decoded);
                return image;
            }
            av_frame_unref(decoded);
            // Past it: the frame asked for could not be decoded.
            if (shown > number)
                return QImage();
        }
        if (drained)
            return QImage();
        if (!pending && !readPacket()) {
            drained = true;
            avcodec_send_packet(codec, nullptr);
            continue;
        }
        pending = false;
        // A frame shown before the one asked for that no other frame refers to is never
        // seen: the decoder leaves it out, which spares about half the work of a jump.
        const bool before =
            timed && packet->pts != AV_NOPTS_VALUE && packet->pts < times[size_t(number) - 1];
        codec->skip_frame = before ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        const int sent = avcodec_send_packet(codec, packet);
        if (sent == AVERROR(EAGAIN)) {
            pending = true; // the decoder is full: it gives frames first
            continue;
        }
        // A damaged packet is left out; the frames that need it fail on their own.
        av_packet_unref(packet);
    }
}

std::shared_ptr<VideoFile> VideoFile::shared(const QString &path, Lane lane)
{
    struct Kept
    {
        QString path;
        Lane lane;
        qint64 size;
        QDateTime modified;
        std::shared_ptr<VideoFile> video;
    };
    static QMutex mutex;
    static std::list<Kept> kept;
    constexpr size_t keptAtMost = 4;
    const QFileInfo info(path);
    const qint64 size = info.size();
    const QDateTime modified = info.lastModified();
    {
        QMutexLocker lock(&mutex);
        for (auto it = kept.begin(); it != kept.end(); ++it) {
            if (it->path != path || it->lane != lane)
                continue;
            if (it->size == size && it->modified == modified) {
                kept.splice(kept.begin(), kept, it);
                return kept.front().video;
            }
            kept.erase(it);
            break;
        }
    }
    std::shared_ptr<VideoFile> video = open(path);
    if (!video)
        return video;
    QMutexLocker lock(&mutex);
    kept.push_front({path, lane, size, modified, video});
    if (kept.size() > keptAtMost)
        kept.pop_back();
    return video;
}

QString VideoFile::path() const
{
    return state->path;
}

int VideoFile::frameCount() const
{
    return int(state->times.size());
}

QSize VideoFile::size() const
{
    return state->size;
}

double VideoFile::framesPerSecond() const
{
    return state->framesPerSecond;
}

qint64 VideoFile::decodedCount() const
{
    QMutexLocker lock(&state->mutex);
    return state->decodes;
}

QImage VideoFile::frame(int number, const std::atomic_bool *cancelled)
{
    QMutexLocker lock(&state->mutex);
    State &s = *state;
    if (number < 1 || number > int(s.times.size()))
        return QImage();
    // The keyframe this frame decodes from: the last one shown at or before it.
    const auto after = std::upper_bound(s.keys.begin(), s.keys.end(), number,
                                        [](int n, const Key &key) { return n < key.index; });
    const int key = std::max(0, int(after - s.keys.begin()) - 1);
    // Going on from the last frame decoded never costs more than starting at the keyframe
    // once that keyframe lies behind it.
    const bool goOn = s.lastShown > 0 && s.lastShown < number && !s.ended &&
                      s.keys[size_t(key)].index <= s.lastShown + 1;
    if (!goOn && !s.seekTo(key))
        return QImage();
    QImage image = s.decodeTo(number, cancelled);
    if (image.isNull() && goOn && !(cancelled && cancelled->load())) {
        // The decoder's state may have been off; once more from the keyframe.
        if (s.seekTo(key))
            image = s.decodeTo(number, cancelled);
    }
    return image;
}
