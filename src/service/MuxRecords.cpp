#include "MuxRecords.h"

namespace clipferry {

QString MuxAsset::resolutionText() const {
    return max_stored_resolution.value_or(QStringLiteral("Unknown"));
}

QString MuxAsset::durationText() const {
    return QStringLiteral("Unknown");
}

std::optional<QString> MuxAsset::firstPlaybackID() const {
    if (!playback_ids || playback_ids->isEmpty())
        return std::nullopt;
    return playback_ids->first().id;
}

} // namespace clipferry
