#include "videomaker.h"

#include <QPainter>
#include <QRandomGenerator>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace VideoMaker {

namespace {

constexpr int bits = 12;

QRect blockOf(int bit, QSize size)
{
    const int side = size.width() / (bits + 2);
    return QRect(side * (bit + 1), size.height() / 2 - side / 2, side, side);
}

bool drain(AVCodecContext *codec, AVFormatContext *format, AVStream *stream, AVPacket *packet)
{
    while (true) {
        const int received = avcodec_receive_packet(codec, packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return true;
        if (received < 0)
            return false;
        // Without a duration the container may end its timeline before the last frame.
        if (packet->duration <= 0)
            packet->duration = codec->time_base.den >= 1000 ? 40 : 1;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(format, packet) < 0)
            return false;
    }
}

} // namespace

QImage numbered(int number, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            row[x] = qRgb(60 + x * 120 / size.width(), 90 + y * 100 / size.height(),
                          (x + y + number * 3) % 200 + 30);
    }
    QPainter painter(&image);
    for (int bit = 0; bit < bits; ++bit)
        painter.fillRect(blockOf(bit, size), (number >> bit) & 1 ? Qt::white : Qt::black);
    return image;
}

int numberIn(const QImage &frame)
{
    int number = 0;
    for (int bit = 0; bit < bits; ++bit) {
        const QPoint centre = blockOf(bit, frame.size()).center();
        if (qGray(frame.pixel(centre)) > 128)
            number |= 1 << bit;
    }
    return number;
}

bool write(const QString &path, int count, QSize size, const FrameOf &frameOf,
           const Options &options)
{
    const QByteArray name = path.toLocal8Bit();
    AVFormatContext *format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, nullptr, name.constData()) < 0)
        return false;
    const AVCodec *encoder = avcodec_find_encoder_by_name(options.codec.toLatin1().constData());
    AVStream *stream = encoder ? avformat_new_stream(format, nullptr) : nullptr;
    AVCodecContext *codec = encoder ? avcodec_alloc_context3(encoder) : nullptr;
    AVFrame *frame = av_frame_alloc();
    AVPacket *packet = av_packet_alloc();
    SwsContext *scale = nullptr;
    bool ok = stream && codec && frame && packet;
    if (ok) {
        codec->width = size.width();
        codec->height = size.height();
        codec->pix_fmt = AV_PIX_FMT_YUV420P;
        codec->time_base = options.variableRate ? AVRational{1, 1000} : AVRational{1, 25};
        codec->framerate = AVRational{25, 1};
        codec->gop_size = options.keyEvery;
        codec->max_b_frames = options.bFrames;
        if (format->oformat->flags & AVFMT_GLOBALHEADER)
            codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (options.codec == QLatin1String("libx264")) {
            av_opt_set(codec->priv_data, "preset", "veryfast", 0);
            av_opt_set_int(codec->priv_data, "crf", options.quality, 0);
            av_opt_set(codec->priv_data, "x264-params", "scenecut=0", 0);
        } else if (options.codec == QLatin1String("libvpx-vp9")) {
            av_opt_set_int(codec->priv_data, "crf", options.quality + 10, 0);
            av_opt_set_int(codec->priv_data, "cpu-used", 8, 0);
            av_opt_set(codec->priv_data, "deadline", "realtime", 0);
            codec->bit_rate = 0;
        } else {
            codec->flags |= AV_CODEC_FLAG_QSCALE;
            codec->global_quality = FF_QP2LAMBDA * 3;
        }
        ok = avcodec_open2(codec, encoder, nullptr) >= 0 &&
             avcodec_parameters_from_context(stream->codecpar, codec) >= 0;
        stream->time_base = codec->time_base;
    }
    ok = ok && ((format->oformat->flags & AVFMT_NOFILE) ||
                avio_open(&format->pb, name.constData(), AVIO_FLAG_WRITE) >= 0);
    ok = ok && avformat_write_header(format, nullptr) >= 0;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = size.width();
    frame->height = size.height();
    ok = ok && av_frame_get_buffer(frame, 0) >= 0;
    QRandomGenerator random(7);
    int64_t time = 0;
    for (int number = 1; ok && number <= count; ++number) {
        const QImage image = frameOf(number).convertToFormat(QImage::Format_RGB32);
        ok = av_frame_make_writable(frame) >= 0;
        scale = sws_getCachedContext(scale, size.width(), size.height(), AV_PIX_FMT_RGB32,
                                     size.width(), size.height(), AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                     nullptr, nullptr, nullptr);
        const uint8_t *planes[4] = {image.constBits(), nullptr, nullptr, nullptr};
        const int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
        sws_scale(scale, planes, strides, 0, size.height(), frame->data, frame->linesize);
        frame->pts = time;
        time += options.variableRate ? (random.bounded(2) ? 33 : 50) : 1;
        ok = ok && avcodec_send_frame(codec, frame) >= 0 && drain(codec, format, stream, packet);
    }
    ok = ok && avcodec_send_frame(codec, nullptr) >= 0 && drain(codec, format, stream, packet);
    ok = ok && av_write_trailer(format) >= 0;
    if (format && !(format->oformat->flags & AVFMT_NOFILE))
        avio_closep(&format->pb);
    sws_freeContext(scale);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    avformat_free_context(format);
    return ok;
}

} // namespace VideoMaker
