#include "media/FrameGrabber.h"

#include "media/Ffmpeg.h"

#include <QTransform>
#include <cmath>

extern "C" {
#include <libavutil/display.h>
}

namespace clipferry {
namespace {

using namespace ffmpeg;

// The display matrix turns counter-clockwise; the picture turns by the negated angle
// (clockwise on screen), in whole quarter turns for the usual phone recordings.
double clockwiseDegrees(const AVStream& stream) {
    const auto* matrix = reinterpret_cast<const int32_t*>(
        av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return 0.0;
    const double angle = -av_display_rotation_get(matrix);
    if (!std::isfinite(angle))
        return 0.0;
    const double quarter = std::round(angle / 90.0) * 90.0;
    const double degrees = std::abs(angle - quarter) < 1.0 ? quarter : angle;
    return std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0);
}

QSize fitted(QSize picture, QSize box) {
    if (picture.width() <= box.width() && picture.height() <= box.height())
        return picture;
    const double scale = std::min(static_cast<double>(box.width()) / picture.width(),
                                  static_cast<double>(box.height()) / picture.height());
    return QSize(std::max(1, static_cast<int>(std::lround(picture.width() * scale))),
                 std::max(1, static_cast<int>(std::lround(picture.height() * scale))));
}

struct Decoder {
    FormatContextPtr format;
    CodecContextPtr codec;
    AVStream* stream = nullptr;
};

std::optional<Decoder> openDecoder(const QString& path) {
    Decoder decoder;
    decoder.format = openInput(path);
    if (!decoder.format)
        return std::nullopt;
    decoder.stream = firstVideoStream(*decoder.format);
    // Decoding the first packets to learn the stream is the slow part of opening; most
    // containers state enough in their header.
    if (!decoder.stream || decoder.stream->codecpar->width <= 0 ||
        decoder.stream->codecpar->format < 0 || (decoder.format->ctx_flags & AVFMTCTX_NOHEADER)) {
        if (avformat_find_stream_info(decoder.format.get(), nullptr) < 0)
            return std::nullopt;
        decoder.stream = firstVideoStream(*decoder.format);
    }
    if (!decoder.stream)
        return std::nullopt;
    const AVCodec* codec = avcodec_find_decoder(decoder.stream->codecpar->codec_id);
    if (!codec)
        return std::nullopt;
    decoder.codec.reset(avcodec_alloc_context3(codec));
    if (!decoder.codec ||
        avcodec_parameters_to_context(decoder.codec.get(), decoder.stream->codecpar) < 0)
        return std::nullopt;
    // Pictures are made many at once on a pool; one thread per decode serves it best.
    decoder.codec->thread_count = 1;
    decoder.codec->pkt_timebase = decoder.stream->time_base;
    if (avcodec_open2(decoder.codec.get(), codec, nullptr) < 0)
        return std::nullopt;
    return decoder;
}

// Decodes from the current position until a frame at or after `target` (in stream time
// units; AV_NOPTS_VALUE takes the first frame). A clip that ends before it gives the
// first frame decoded.
FramePtr decodeUntil(Decoder& decoder, int64_t target) {
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    FramePtr first;
    if (!packet || !frame)
        return nullptr;
    bool draining = false;
    while (true) {
        if (!draining) {
            const int read = av_read_frame(decoder.format.get(), packet.get());
            if (read < 0) {
                draining = true;
                avcodec_send_packet(decoder.codec.get(), nullptr);
            } else {
                const bool ours = packet->stream_index == decoder.stream->index;
                if (ours)
                    avcodec_send_packet(decoder.codec.get(), packet.get());
                av_packet_unref(packet.get());
                if (!ours)
                    continue;
            }
        }
        while (true) {
            const int received = avcodec_receive_frame(decoder.codec.get(), frame.get());
            if (received == AVERROR(EAGAIN))
                break;
            if (received < 0)
                return first;
            const int64_t time = frame->best_effort_timestamp;
            if (target == AV_NOPTS_VALUE || time == AV_NOPTS_VALUE || time >= target)
                return frame;
            if (!first)
                first.reset(av_frame_clone(frame.get()));
            av_frame_unref(frame.get());
        }
        if (draining)
            return first;
    }
}

std::optional<QImage> toImage(const AVFrame& frame, const AVStream& stream, QSize maxSize) {
    if (frame.width <= 0 || frame.height <= 0)
        return std::nullopt;
    // Anamorphic streams are shown wider or narrower than they are stored.
    QSize display(frame.width, frame.height);
    const AVRational aspect = av_guess_sample_aspect_ratio(nullptr, const_cast<AVStream*>(&stream),
                                                           const_cast<AVFrame*>(&frame));
    if (aspect.num > 0 && aspect.den > 0 && aspect.num != aspect.den)
        display.setWidth(std::max(1, static_cast<int>(std::lround(frame.width * av_q2d(aspect)))));

    const double degrees = clockwiseDegrees(stream);
    const bool sideways = std::fmod(degrees, 180.0) == 90.0;
    const QSize upright = sideways ? display.transposed() : display;
    const QSize target = fitted(upright, maxSize);
    const QSize scaled = sideways ? target.transposed() : target;

    ScalerPtr scaler(sws_getContext(
        frame.width, frame.height, static_cast<AVPixelFormat>(frame.format), scaled.width(),
        scaled.height(), AV_PIX_FMT_RGB24, SWS_AREA, nullptr, nullptr, nullptr));
    if (!scaler)
        return std::nullopt;
    QImage image(scaled, QImage::Format_RGB888);
    if (image.isNull())
        return std::nullopt;
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    if (sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height, planes, strides) <= 0)
        return std::nullopt;
    if (degrees == 0.0)
        return image;
    auto turned = image.transformed(QTransform().rotate(degrees), Qt::SmoothTransformation);
    if (turned.size() == target)
        return turned;
    // An angle between quarter turns makes a larger bounding picture; fit it again.
    return turned.scaled(fitted(turned.size(), maxSize), Qt::IgnoreAspectRatio,
                         Qt::SmoothTransformation);
}

} // namespace

std::optional<QImage> grabFrame(const QString& path, QSize maxSize) {
    auto decoder = openDecoder(path);
    if (!decoder)
        return std::nullopt;
    const AVStream& stream = *decoder->stream;

    // An unknown running time (0) is treated as long enough.
    const double duration = durationSeconds(*decoder->format);
    int64_t target = AV_NOPTS_VALUE;
    if (duration <= 0.0 || duration >= 1.0) {
        const int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
        target = start + av_rescale_q(AV_TIME_BASE, AV_TIME_BASE_Q, stream.time_base);
        // Land on the key frame before the second, then decode forward to it.
        if (av_seek_frame(decoder->format.get(), stream.index, target, AVSEEK_FLAG_BACKWARD) >= 0)
            avcodec_flush_buffers(decoder->codec.get());
    }
    const auto frame = decodeUntil(*decoder, target);
    if (!frame)
        return std::nullopt;
    return toImage(*frame, stream, maxSize);
}

} // namespace clipferry
