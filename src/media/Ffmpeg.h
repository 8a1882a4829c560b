#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

class QString;

// The FFmpeg handles this library holds, each freed by its own function, and the stream
// questions both the probe and the frame grabber ask.
namespace clipferry::ffmpeg {

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFree {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFree>;

// Opens a file for reading, with FFmpeg's own messages routed to the debug log first.
// Null when the file cannot be opened.
[[nodiscard]] FormatContextPtr openInput(const QString& path);

// The first real video track: cover art travels as a one-picture "video" stream, which
// a player does not count as a video track.
[[nodiscard]] AVStream* firstVideoStream(const AVFormatContext& context);

// The container's running time, else the longest stream's; 0 when nothing states one.
[[nodiscard]] double durationSeconds(const AVFormatContext& context);

} // namespace clipferry::ffmpeg
