#pragma once

#include "workflow/VideoMetadata.h"

#include <QString>
#include <QUrl>

namespace clipferry {

// A directory entry is a video when its name's extension, lower-cased, is one of these.
inline constexpr const char* videoExtensions[] = {"mp4", "mov", "mxf", "avi", "mkv"};
[[nodiscard]] bool isVideoFileName(QStringView name);

// One video file of the local folder, identified by its location. The three texts come
// from the process-wide metadata cache; until a file has an entry they are placeholders.
struct LocalVideo {
    QUrl url;

    [[nodiscard]] QString resolution() const;
    [[nodiscard]] QString duration() const;
    [[nodiscard]] QString fileFormat() const;

    // Reads the file into the metadata cache, unless the cache already holds a reading
    // of the file at its current modification time and size. Blocks on the media
    // read: run it on a worker thread.
    void loadMetadata() const;

    friend bool operator==(const LocalVideo&, const LocalVideo&) = default;
};

// Reads a file's picture size and running time. Never fails: what cannot be read gets the
// texts for "cannot be read". Blocks on the media read.
[[nodiscard]] VideoMetadata probeVideoMetadata(const QString& path);
// "m:ss", truncating; "Unknown" for a time that is negative, not a number or too large
// to count.
[[nodiscard]] QString durationText(double seconds);
// The file name's extension upper-cased, "Unknown" without one.
[[nodiscard]] QString fileFormatText(const QString& fileName);
// The same extension, empty without one: what a row shows before the file is read.
[[nodiscard]] QString extensionText(const QString& fileName);

} // namespace clipferry
