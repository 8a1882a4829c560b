#include "MediaProbe.h"

#include <QFile>
#include <QLoggingCategory>
#include <cmath>
#include <memory>
#include <mutex>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace clipferry {
namespace {

Q_LOGGING_CATEGORY(lcProbe, "clipferry.media.probe", QtWarningMsg)

const auto unknownText = QStringLiteral("Unknown");

struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;

// Standard output carries only the application's log lines, so FFmpeg's own messages
// go to the debug log (standard error, off unless enabled by a logging rule).
void routeLog(void* object, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_WARNING || !lcProbe().isDebugEnabled())
        return;
    char line[1024];
    thread_local int printPrefix = 1;
    av_log_format_line2(object, level, format, arguments, line, sizeof line, &printPrefix);
    qCDebug(lcProbe, "%s", line);
}

void routeFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(routeLog); });
}

// The first real video track: cover art travels as a one-picture "video" stream, which
// a player does not count as a video track.
const AVStream* firstVideoStream(const AVFormatContext& context) {
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream* stream = context.streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return stream;
    }
    return nullptr;
}

bool hasSize(const AVStream* stream) {
    return stream && stream->codecpar->width > 0 && stream->codecpar->height > 0;
}

double durationSeconds(const AVFormatContext& context) {
    if (context.duration != AV_NOPTS_VALUE && context.duration > 0)
        return static_cast<double>(context.duration) / AV_TIME_BASE;
    double longest = 0.0;
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        const AVStream* stream = context.streams[i];
        if (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0)
            continue;
        const double seconds = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
        // A broken time base gives no number; std::max would silently drop it.
        if (std::isnan(seconds))
            return seconds;
        longest = std::max(longest, seconds);
    }
    return longest;
}

QString extensionOf(const QString& fileName) {
    const auto dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? QString() : fileName.mid(dot + 1);
}

} // namespace

QString resolutionText(double width, double height) {
    const auto side = [](double value) {
        return std::isfinite(value) ? QString::number(static_cast<qint64>(std::trunc(value)))
                                    : QStringLiteral("0");
    };
    return side(width) + QChar(0x00D7) + side(height);
}

QString durationText(double seconds) {
    // A container can claim any running time; only one a 64-bit count holds is converted.
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!(seconds >= 0.0 && seconds < limit))
        return unknownText;
    const auto whole = static_cast<qint64>(std::trunc(seconds));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

QString fileFormatText(const QString& fileName) {
    const auto extension = extensionOf(fileName);
    return extension.isEmpty() ? unknownText : extension.toUpper();
}

QString extensionText(const QString& fileName) {
    return extensionOf(fileName).toUpper();
}

LocalVideo::VideoMetadata probeVideoMetadata(const QString& path) {
    routeFfmpegLog();
    const auto fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    LocalVideo::VideoMetadata metadata{unknownText, durationText(0.0), fileFormatText(fileName)};

    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return metadata;
    const FormatContextPtr context(opened);

    // Most containers state sizes and the running time in their header; decoding the
    // first packets (the slow part) is only needed when they do not.
    const AVStream* video = firstVideoStream(*context);
    const bool headerIsEnough = !(context->ctx_flags & AVFMTCTX_NOHEADER) &&
                                context->nb_streams > 0 && (!video || hasSize(video)) &&
                                durationSeconds(*context) > 0.0;
    if (!headerIsEnough) {
        if (avformat_find_stream_info(context.get(), nullptr) >= 0)
            video = firstVideoStream(*context);
    }

    if (hasSize(video))
        metadata.resolution = resolutionText(video->codecpar->width, video->codecpar->height);
    metadata.duration = durationText(durationSeconds(*context));
    return metadata;
}

} // namespace clipferry
