#include "workflow/ListingCache.h"

#include "model/StateFolder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace clipferry {
namespace {

template <typename T>
void insertIf(QJsonObject& object, const char* key, const std::optional<T>& value) {
    if (value)
        object.insert(QLatin1StringView(key), *value);
}

QJsonObject trackJson(const Track& track) {
    QJsonObject object{{QStringLiteral("type"), track.type}};
    insertIf(object, "max_width", track.max_width);
    insertIf(object, "max_height", track.max_height);
    insertIf(object, "max_frame_rate", track.max_frame_rate);
    insertIf(object, "duration", track.duration);
    return object;
}

QJsonObject assetJson(const MuxAsset& asset) {
    QJsonObject object{{QStringLiteral("id"), asset.id}, {QStringLiteral("status"), asset.status}};
    if (asset.playback_ids) {
        QJsonArray ids;
        for (const auto& playback : *asset.playback_ids)
            ids.append(QJsonObject{{QStringLiteral("id"), playback.id}});
        object.insert(QStringLiteral("playback_ids"), ids);
    }
    insertIf(object, "passthrough", asset.passthrough);
    insertIf(object, "created_at", asset.createdAt);
    insertIf(object, "updated_at", asset.updatedAt);
    insertIf(object, "duration", asset.duration);
    insertIf(object, "aspect_ratio", asset.aspect_ratio);
    if (asset.tracks) {
        QJsonArray tracks;
        for (const auto& track : *asset.tracks)
            tracks.append(trackJson(track));
        object.insert(QStringLiteral("tracks"), tracks);
    }
    insertIf(object, "max_stored_resolution", asset.max_stored_resolution);
    insertIf(object, "max_stored_frame_rate", asset.max_stored_frame_rate);
    return object;
}

} // namespace

QByteArray encodeListing(const QList<MuxAsset>& assets) {
    QJsonArray data;
    for (const auto& asset : assets)
        data.append(assetJson(asset));
    return QJsonDocument(QJsonObject{{QStringLiteral("data"), data}})
        .toJson(QJsonDocument::Compact);
}

std::optional<QList<MuxAsset>> readCachedListing(const QString& path) {
    auto decoded = readWholeFile(path).and_then(decodeMuxAssetListResponse);
    if (!decoded)
        return std::nullopt;
    return std::move(decoded->data);
}

std::optional<KeptListing> readKeptListing(const QString& path) {
    auto assets = readCachedListing(path);
    if (!assets)
        return std::nullopt;
    Grouping<MuxAsset> byCity = groupByCity(*assets);
    return KeptListing{std::move(*assets), std::move(byCity)};
}

} // namespace clipferry
