#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

namespace clipferry {

// One picture of a video file through libavformat/libavcodec, upright (the stream's
// display rotation applied) and scaled down to fit `maxSize` pixels, never up. The
// frame at 1.0 s, or the first frame of a clip shorter than a second. Blocks while it
// decodes: run it on a worker thread. Nothing when the file holds no decodable video.
[[nodiscard]] std::optional<QImage> grabFrame(const QString& path, QSize maxSize);

} // namespace clipferry
