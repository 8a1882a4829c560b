#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace clipferry {

struct PlaybackID {
    QString id;
    friend bool operator==(const PlaybackID&, const PlaybackID&) = default;
};

struct Track {
    QString type;
    std::optional<qint64> max_width;
    std::optional<qint64> max_height;
    std::optional<double> max_frame_rate;
    std::optional<double> duration;
    friend bool operator==(const Track&, const Track&) = default;
};

// One asset of the service library, as listed. Two assets are the same asset when
// their ids are equal.
struct MuxAsset {
    QString id;
    QString status;
    std::optional<QList<PlaybackID>> playback_ids;
    std::optional<QString> passthrough;
    std::optional<QString> createdAt;
    std::optional<QString> updatedAt;
    std::optional<double> duration;
    std::optional<QString> aspect_ratio;
    std::optional<QList<Track>> tracks;
    std::optional<QString> max_stored_resolution;
    std::optional<double> max_stored_frame_rate;

    // "1920×1080" from the first video track, else max_stored_resolution, else "Unknown".
    [[nodiscard]] QString resolutionText() const;
    // "m:ss" with minutes unbounded, or "Unknown".
    [[nodiscard]] QString durationText() const;
    // The first playback ID, when there is one.
    [[nodiscard]] std::optional<QString> firstPlaybackID() const;
};

} // namespace clipferry
