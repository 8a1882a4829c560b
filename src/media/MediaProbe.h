#pragma once

#include <QSize>
#include <QString>
#include <optional>

namespace clipferry {

// What a file's header says about its first video track and running time.
struct MediaFacts {
    std::optional<QSize> pictureSize; // none: no readable video track
    double seconds = 0.0;             // 0 when unknown
    // A moving picture: FFmpeg opens still images and text files (as "ANSI art") with a
    // picture too, and neither is a clip to upload.
    bool isClip = false;
};

// Reads a file's header with libavformat, in this process. Blocks for the length of a
// header read: call it off the user-interface thread. Nothing when the file cannot be
// opened as media.
[[nodiscard]] std::optional<MediaFacts> probeMedia(const QString& path);

} // namespace clipferry
