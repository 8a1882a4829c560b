#include "LibraryAddresses.h"

namespace clipferry {

std::optional<QUrl> thumbnailURL(const MuxAsset& asset, const QUrl& imageBase) {
    const auto playbackID = asset.firstPlaybackID();
    if (!playbackID)
        return std::nullopt;
    QUrl url = imageBase;
    url.setPath(QLatin1Char('/') + *playbackID + QStringLiteral("/thumbnail.jpg"));
    url.setQuery(QStringLiteral("width=160&height=90&fit_mode=preserve"));
    return url;
}

std::optional<QUrl> streamURL(const MuxAsset& asset, const QUrl& streamBase) {
    const auto playbackID = asset.firstPlaybackID();
    if (!playbackID)
        return std::nullopt;
    QUrl url = streamBase;
    url.setPath(QLatin1Char('/') + *playbackID + QStringLiteral(".m3u8"));
    return url;
}

} // namespace clipferry
