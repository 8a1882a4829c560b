#include "ui/library/LibraryAddresses.h"

#include "service/ServiceAddresses.h"

namespace clipferry {

std::optional<QUrl> thumbnailURL(const MuxAsset& asset, const QUrl& imageBase) {
    const auto playbackID = asset.firstPlaybackID();
    if (!playbackID)
        return std::nullopt;
    return service::stillLocation(imageBase, *playbackID);
}

std::optional<QUrl> streamURL(const MuxAsset& asset, const QUrl& streamBase) {
    const auto playbackID = asset.firstPlaybackID();
    if (!playbackID)
        return std::nullopt;
    return service::streamLocation(streamBase, *playbackID);
}

} // namespace clipferry
