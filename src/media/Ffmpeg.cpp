#include "media/Ffmpeg.h"

#include <QFile>
#include <QLoggingCategory>
#include <algorithm>
#include <cmath>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace clipferry::ffmpeg {
namespace {

Q_LOGGING_CATEGORY(lcFfmpeg, "clipferry.media.ffmpeg", QtWarningMsg)

// Standard output carries only the application's log lines, so FFmpeg's own messages
// go to the debug log (standard error, off unless enabled by a logging rule). FFmpeg has
// one callback per process: every reader goes through this one.
void routeLog(void* object, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_WARNING || !lcFfmpeg().isDebugEnabled())
        return;
    char line[1024];
    thread_local int printPrefix = 1;
    av_log_format_line2(object, level, format, arguments, line, sizeof line, &printPrefix);
    qCDebug(lcFfmpeg, "%s", line);
}

} // namespace

FormatContextPtr openInput(const QString& path) {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(routeLog); });
    AVFormatContext* opened = nullptr;
    if (avformat_open_input(&opened, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        return nullptr;
    return FormatContextPtr(opened);
}

AVStream* firstVideoStream(const AVFormatContext& context) {
    for (unsigned i = 0; i < context.nb_streams; ++i) {
        AVStream* stream = context.streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return stream;
    }
    return nullptr;
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

} // namespace clipferry::ffmpeg
