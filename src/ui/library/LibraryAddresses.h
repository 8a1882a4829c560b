#pragma once

#include "service/MuxRecords.h"

#include <QUrl>
#include <optional>

namespace clipferry {

// The service's still of an asset (160 × 90, aspect kept) on the image host, when the
// asset has a playback ID.
[[nodiscard]] std::optional<QUrl> thumbnailURL(const MuxAsset& asset, const QUrl& imageBase);
// The asset's HLS address on the streaming host, when it has a playback ID (an empty ID
// still gives an address).
[[nodiscard]] std::optional<QUrl> streamURL(const MuxAsset& asset, const QUrl& streamBase);

} // namespace clipferry
