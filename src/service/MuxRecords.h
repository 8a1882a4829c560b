#pragma once

#include "model/Result.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class QByteArray;

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
    QString id{};
    QString status{};
    std::optional<QList<PlaybackID>> playback_ids{};
    std::optional<QString> passthrough{};
    std::optional<QString> createdAt{};
    std::optional<QString> updatedAt{};
    std::optional<double> duration{};
    std::optional<QString> aspect_ratio{};
    std::optional<QList<Track>> tracks{};
    std::optional<QString> max_stored_resolution{};
    std::optional<double> max_stored_frame_rate{};

    // "1920×1080" from the first video track, else max_stored_resolution, else "Unknown".
    [[nodiscard]] QString resolutionText() const;
    // "m:ss" with minutes unbounded, or "Unknown".
    [[nodiscard]] QString durationText() const;
    // The first playback ID, when there is one.
    [[nodiscard]] std::optional<QString> firstPlaybackID() const;
};

// Reply to creating a direct upload.
struct UploadResponse {
    struct DataObj {
        QString id;
        QString url;
    };
    DataObj data;
};

// Reply to reading an upload. `status` and `errorMessage` are read only to stop waiting
// on an upload that will never give an asset; a wrong type there leaves them absent.
struct UploadStatusResponse {
    struct DataObj {
        std::optional<QString> asset_id;
        std::optional<QString> status;
        std::optional<QString> errorMessage; // "error"."message"
    };
    DataObj data;
};

// Reply to reading one asset. `errorMessages` ("errors"."messages") explains an errored
// asset; like the upload's error it never fails the decode.
struct AssetResponse {
    struct Playback {
        QString id;
    };
    struct DataObj {
        QString status;
        std::optional<QList<Playback>> playback_ids;
        QStringList errorMessages;
    };
    DataObj data;
};

struct PaginationLinks {
    std::optional<QString> next;
};

// Where the asset list goes on: the service pages either by `links.next` or by
// `next_cursor`.
struct MuxAssetPaging {
    std::optional<PaginationLinks> links;
    std::optional<QString> next_cursor;
};

// One page of the asset list.
struct MuxAssetListResponse : MuxAssetPaging {
    QList<MuxAsset> data;
};

// A page whose assets are not read yet, so that the next page can be asked for while
// they are.
struct MuxAssetListPage : MuxAssetPaging {
    QJsonArray data;
};

[[nodiscard]] Result<UploadResponse> decodeUploadResponse(const QByteArray& bytes);
[[nodiscard]] Result<UploadStatusResponse> decodeUploadStatusResponse(const QByteArray& bytes);
[[nodiscard]] Result<AssetResponse> decodeAssetResponse(const QByteArray& bytes);
[[nodiscard]] Result<MuxAssetListResponse> decodeMuxAssetListResponse(const QByteArray& bytes);
[[nodiscard]] Result<MuxAssetListPage> decodeMuxAssetListPage(const QByteArray& bytes);
[[nodiscard]] Result<QList<MuxAsset>> decodeMuxAssets(const QJsonArray& data);

} // namespace clipferry
