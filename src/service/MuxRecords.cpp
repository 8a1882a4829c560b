#include "MuxRecords.h"

#include "JsonDecode.h"

#include <QByteArray>
#include <QJsonValue>
#include <algorithm>
#include <cmath>

namespace clipferry {

QString MuxAsset::resolutionText() const {
    if (tracks) {
        const auto video = std::find_if(tracks->begin(), tracks->end(), [](const Track& track) {
            return track.type == QLatin1StringView("video");
        });
        if (video != tracks->end() && video->max_width && video->max_height)
            return QStringLiteral("%1\u00D7%2").arg(*video->max_width).arg(*video->max_height);
    }
    return max_stored_resolution.value_or(QStringLiteral("Unknown"));
}

QString MuxAsset::durationText() const {
    if (!duration)
        return QStringLiteral("Unknown");
    const double truncated = std::trunc(*duration);
    // Values the service never sends; a 64-bit count cannot hold them.
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!std::isfinite(truncated) || truncated >= limit || truncated < -limit)
        return QStringLiteral("Unknown");
    const auto seconds = static_cast<long long>(truncated);
    const long long minutes = seconds / 60;
    const long long rest = seconds - 60 * minutes;
    return QString::asprintf("%lld:%02lld", minutes, rest);
}

std::optional<QString> MuxAsset::firstPlaybackID() const {
    if (!playback_ids || playback_ids->isEmpty())
        return std::nullopt;
    return playback_ids->first().id;
}

namespace {

// Reads the members of one JSON object; failures name the member by its full path
// ("data[3].tracks[0].type") so that a log line points at the culprit.
class Members {
public:
    Members(QJsonObject object, QString path)
        : m_object(std::move(object))
        , m_path(std::move(path)) {}

    [[nodiscard]] QString pathOf(QLatin1StringView key) const {
        return m_path.isEmpty() ? QString(key) : m_path + QLatin1Char('.') + key;
    }

    template <typename Convert>
    [[nodiscard]] auto required(QLatin1StringView key, Convert convert) const
        -> decltype(convert(QJsonValue(), QString())) {
        const auto value = m_object.value(key);
        if (value.isUndefined() || value.isNull())
            return fail(QString::fromLatin1(json::errorDomain), json::missingMember,
                        QStringLiteral("The member \"%1\" is missing.").arg(pathOf(key)));
        return convert(value, pathOf(key));
    }

    template <typename Convert>
    [[nodiscard]] auto optional(QLatin1StringView key, Convert convert) const
        -> Result<std::optional<typename decltype(convert(QJsonValue(), QString()))::value_type>> {
        using T = typename decltype(convert(QJsonValue(), QString()))::value_type;
        const auto value = m_object.value(key);
        if (value.isUndefined() || value.isNull())
            return std::optional<T>{};
        auto converted = convert(value, pathOf(key));
        if (!converted)
            return tl::unexpected(converted.error());
        return std::optional<T>{std::move(*converted)};
    }

    // For members that only add detail: absent when missing or of another type.
    [[nodiscard]] QJsonValue lenient(QLatin1StringView key) const { return m_object.value(key); }

private:
    QJsonObject m_object;
    QString m_path;
};

Result<QJsonArray> toArray(const QJsonValue& value, const QString& what) {
    if (!value.isArray())
        return fail(QString::fromLatin1(json::errorDomain), json::wrongType,
                    QStringLiteral("The member \"%1\" is not an array.").arg(what));
    return value.toArray();
}

// Decodes every element of an array with `element`, which gets the element's path.
template <typename T, typename Element>
Result<QList<T>> decodeList(const QJsonArray& array, const QString& path, Element element) {
    QList<T> list;
    list.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString elementPath = QStringLiteral("%1[%2]").arg(path).arg(i);
        auto object = json::toObject(array.at(i), elementPath);
        if (!object)
            return tl::unexpected(object.error());
        auto decoded = element(Members(*object, elementPath));
        if (!decoded)
            return tl::unexpected(decoded.error());
        list.append(std::move(*decoded));
    }
    return list;
}

template <typename T, typename Element>
Result<std::optional<QList<T>>> optionalList(const Members& members, QLatin1StringView key,
                                             Element element) {
    auto array = members.optional(key, toArray);
    if (!array)
        return tl::unexpected(array.error());
    if (!*array)
        return std::optional<QList<T>>{};
    auto list = decodeList<T>(**array, members.pathOf(key), element);
    if (!list)
        return tl::unexpected(list.error());
    return std::optional<QList<T>>{std::move(*list)};
}

Result<Members> dataObject(const QByteArray& bytes) {
    auto root = json::parseObject(bytes);
    if (!root)
        return tl::unexpected(root.error());
    auto data = Members(*root, QString()).required(QLatin1StringView("data"), json::toObject);
    if (!data)
        return tl::unexpected(data.error());
    return Members(*data, QStringLiteral("data"));
}

// Assigns the value of `result` to `target`, or returns its error from the caller.
#define CLIPFERRY_TRY_ASSIGN(target, result)                                                       \
    do {                                                                                           \
        auto try_value_ = (result);                                                                \
        if (!try_value_)                                                                           \
            return tl::unexpected(try_value_.error());                                             \
        (target) = std::move(*try_value_);                                                         \
    } while (false)

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

Result<MuxAssetListResponse> decodeMuxAssetListResponse(const QByteArray& bytes) {
    auto root = json::parseObject(bytes);
    if (!root)
        return tl::unexpected(root.error());
    const Members members(*root, QString());
    MuxAssetListResponse response;
    auto array = members.required(QLatin1StringView("data"), toArray);
    if (!array)
        return tl::unexpected(array.error());
    CLIPFERRY_TRY_ASSIGN(response.data,
                         decodeList<MuxAsset>(*array, QStringLiteral("data"), decodeAsset));
    std::optional<QJsonObject> links;
    CLIPFERRY_TRY_ASSIGN(links, members.optional(QLatin1StringView("links"), json::toObject));
    if (links) {
        PaginationLinks pagination;
        CLIPFERRY_TRY_ASSIGN(pagination.next,
                             Members(*links, QStringLiteral("links"))
                                 .optional(QLatin1StringView("next"), json::toString));
        response.links = pagination;
    }
    CLIPFERRY_TRY_ASSIGN(response.next_cursor,
                         members.optional(QLatin1StringView("next_cursor"), json::toString));
    return response;
}

} // namespace clipferry
