#include "service/MuxRecords.h"

#include "model/DisplayText.h"
#include "model/JsonDecode.h"

#include <QByteArray>
#include <QJsonValue>
#include <algorithm>

namespace clipferry {

QString MuxAsset::resolutionText() const {
    if (tracks) {
        const auto video = std::find_if(tracks->begin(), tracks->end(), [](const Track& track) {
            return track.type == QLatin1StringView("video");
        });
        if (video != tracks->end() && video->max_width && video->max_height)
            return clipferry::resolutionText(*video->max_width, *video->max_height);
    }
    return max_stored_resolution.value_or(QStringLiteral("Unknown"));
}

QString MuxAsset::durationText() const {
    // Values no 64-bit count holds are never sent by the service.
    const auto seconds = duration ? wholeSeconds(*duration) : std::nullopt;
    return seconds ? minutesText(*seconds) : QStringLiteral("Unknown");
}

std::optional<QString> MuxAsset::firstPlaybackID() const {
    if (!playback_ids || playback_ids->isEmpty())
        return std::nullopt;
    return playback_ids->first().id;
}

namespace {

using json::Members;
using json::optionalList;

Result<Members> dataObject(const QByteArray& bytes) {
    auto root = json::parseObject(bytes);
    if (!root)
        return tl::unexpected(root.error());
    auto data = Members(*root).required(QLatin1StringView("data"), json::toObject);
    if (!data)
        return tl::unexpected(data.error());
    return Members(*data, json::Path(QStringLiteral("data")));
}

Result<PlaybackID> decodePlaybackID(const Members& members) {
    PlaybackID playback;
    CLIPFERRY_TRY_ASSIGN(playback.id, members.required(QLatin1StringView("id"), json::toString));
    return playback;
}

Result<Track> decodeTrack(const Members& members) {
    Track track;
    CLIPFERRY_TRY_ASSIGN(track.type, members.required(QLatin1StringView("type"), json::toString));
    CLIPFERRY_TRY_ASSIGN(track.max_width,
                         members.optional(QLatin1StringView("max_width"), json::toInt64));
    CLIPFERRY_TRY_ASSIGN(track.max_height,
                         members.optional(QLatin1StringView("max_height"), json::toInt64));
    CLIPFERRY_TRY_ASSIGN(track.max_frame_rate,
                         members.optional(QLatin1StringView("max_frame_rate"), json::toDouble));
    CLIPFERRY_TRY_ASSIGN(track.duration,
                         members.optional(QLatin1StringView("duration"), json::toDouble));
    return track;
}

Result<MuxAsset> decodeAsset(const Members& members) {
    MuxAsset asset;
    CLIPFERRY_TRY_ASSIGN(asset.id, members.required(QLatin1StringView("id"), json::toString));
    CLIPFERRY_TRY_ASSIGN(asset.status,
                         members.required(QLatin1StringView("status"), json::toString));
    CLIPFERRY_TRY_ASSIGN(
        asset.playback_ids,
        optionalList<PlaybackID>(members, QLatin1StringView("playback_ids"), decodePlaybackID));
    CLIPFERRY_TRY_ASSIGN(asset.passthrough,
                         members.optional(QLatin1StringView("passthrough"), json::toString));
    CLIPFERRY_TRY_ASSIGN(asset.createdAt,
                         members.optional(QLatin1StringView("created_at"), json::toString));
    CLIPFERRY_TRY_ASSIGN(asset.updatedAt,
                         members.optional(QLatin1StringView("updated_at"), json::toString));
    CLIPFERRY_TRY_ASSIGN(asset.duration,
                         members.optional(QLatin1StringView("duration"), json::toDouble));
    CLIPFERRY_TRY_ASSIGN(asset.aspect_ratio,
                         members.optional(QLatin1StringView("aspect_ratio"), json::toString));
    CLIPFERRY_TRY_ASSIGN(asset.tracks,
                         optionalList<Track>(members, QLatin1StringView("tracks"), decodeTrack));
    CLIPFERRY_TRY_ASSIGN(
        asset.max_stored_resolution,
        members.optional(QLatin1StringView("max_stored_resolution"), json::toString));
    CLIPFERRY_TRY_ASSIGN(
        asset.max_stored_frame_rate,
        members.optional(QLatin1StringView("max_stored_frame_rate"), json::toDouble));
    return asset;
}

std::optional<QString> lenientString(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

} // namespace

Result<UploadResponse> decodeUploadResponse(const QByteArray& bytes) {
    auto data = dataObject(bytes);
    if (!data)
        return tl::unexpected(data.error());
    UploadResponse response;
    CLIPFERRY_TRY_ASSIGN(response.data.id, data->required(QLatin1StringView("id"), json::toString));
    CLIPFERRY_TRY_ASSIGN(response.data.url,
                         data->required(QLatin1StringView("url"), json::toString));
    return response;
}

Result<UploadStatusResponse> decodeUploadStatusResponse(const QByteArray& bytes) {
    auto data = dataObject(bytes);
    if (!data)
        return tl::unexpected(data.error());
    UploadStatusResponse response;
    CLIPFERRY_TRY_ASSIGN(response.data.asset_id,
                         data->optional(QLatin1StringView("asset_id"), json::toString));
    response.data.status = lenientString(data->lenient(QLatin1StringView("status")));
    response.data.errorMessage = lenientString(
        data->lenient(QLatin1StringView("error")).toObject().value(QLatin1StringView("message")));
    return response;
}

Result<AssetResponse> decodeAssetResponse(const QByteArray& bytes) {
    auto data = dataObject(bytes);
    if (!data)
        return tl::unexpected(data.error());
    AssetResponse response;
    CLIPFERRY_TRY_ASSIGN(response.data.status,
                         data->required(QLatin1StringView("status"), json::toString));
    CLIPFERRY_TRY_ASSIGN(response.data.playback_ids,
                         optionalList<AssetResponse::Playback>(
                             *data, QLatin1StringView("playback_ids"),
                             [](const Members& members) -> Result<AssetResponse::Playback> {
                                 auto id =
                                     members.required(QLatin1StringView("id"), json::toString);
                                 if (!id)
                                     return tl::unexpected(id.error());
                                 return AssetResponse::Playback{*id};
                             }));
    const auto messages = data->lenient(QLatin1StringView("errors"))
                              .toObject()
                              .value(QLatin1StringView("messages"))
                              .toArray();
    for (const auto& message : messages)
        if (message.isString())
            response.data.errorMessages.append(message.toString());
    return response;
}

Result<MuxAssetListPage> decodeMuxAssetListPage(const QByteArray& bytes) {
    auto root = json::parseObject(bytes);
    if (!root)
        return tl::unexpected(root.error());
    const Members members(*root);
    MuxAssetListPage page;
    CLIPFERRY_TRY_ASSIGN(page.data, members.required(QLatin1StringView("data"), json::toArray));
    std::optional<QJsonObject> links;
    CLIPFERRY_TRY_ASSIGN(links, members.optional(QLatin1StringView("links"), json::toObject));
    if (links) {
        PaginationLinks pagination;
        CLIPFERRY_TRY_ASSIGN(pagination.next,
                             Members(*links, json::Path(QStringLiteral("links")))
                                 .optional(QLatin1StringView("next"), json::toString));
        page.links = pagination;
    }
    CLIPFERRY_TRY_ASSIGN(page.next_cursor,
                         members.optional(QLatin1StringView("next_cursor"), json::toString));
    return page;
}

Result<QList<MuxAsset>> decodeMuxAssets(const QJsonArray& data) {
    const json::Path path(QStringLiteral("data"));
    return json::decodeList<MuxAsset>(data, path, decodeAsset);
}

Result<MuxAssetListResponse> decodeMuxAssetListResponse(const QByteArray& bytes) {
    auto page = decodeMuxAssetListPage(bytes);
    if (!page)
        return tl::unexpected(page.error());
    MuxAssetListResponse response;
    response.links = std::move(page->links);
    response.next_cursor = std::move(page->next_cursor);
    CLIPFERRY_TRY_ASSIGN(response.data, decodeMuxAssets(page->data));
    return response;
}

} // namespace clipferry
