#include "media/MediaProbe.h"

#include "media/Ffmpeg.h"

#include <string_view>

namespace clipferry {
namespace {

bool hasSize(const AVStream* stream) {
    return stream && stream->codecpar->width > 0 && stream->codecpar->height > 0;
}

// The demuxers of single pictures ("image2", "png_pipe", ...) and of text art ("tty" takes
// any .txt), whose one "video" stream is no clip.
bool isStillOrText(const AVFormatContext& context, const AVStream& video) {
    const std::string_view demuxer = context.iformat->name;
    return demuxer == "image2" || demuxer.ends_with("_pipe") || demuxer == "tty" ||
           demuxer == "bin" || demuxer == "xbin" || demuxer == "adf" || demuxer == "idf" ||
           video.codecpar->codec_id == AV_CODEC_ID_ANSI;
}

} // namespace

std::optional<MediaFacts> probeMedia(const QString& path) {
    const auto context = ffmpeg::openInput(path);
    if (!context)
        return std::nullopt;

    // Most containers state sizes and the running time in their header; decoding the
    // first packets (the slow part) is only needed when they do not.
    const AVStream* video = ffmpeg::firstVideoStream(*context);
    const bool headerIsEnough = !(context->ctx_flags & AVFMTCTX_NOHEADER) &&
                                context->nb_streams > 0 && (!video || hasSize(video)) &&
                                ffmpeg::durationSeconds(*context) > 0.0;
    if (!headerIsEnough) {
        if (avformat_find_stream_info(context.get(), nullptr) >= 0)
            video = ffmpeg::firstVideoStream(*context);
    }

    MediaFacts facts;
    if (hasSize(video)) {
        facts.pictureSize = QSize(video->codecpar->width, video->codecpar->height);
        facts.isClip = !isStillOrText(*context, *video);
    }
    facts.seconds = ffmpeg::durationSeconds(*context);
    return facts;
}

} // namespace clipferry
