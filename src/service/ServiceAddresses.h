#pragma once

#include <QString>
#include <QUrl>

// Every address of the service: the API's requests on its base, and a playback ID's
// stream and still on their own hosts. A base may come with or without a trailing slash.
namespace clipferry::service {

// `base` followed by `path` as written (path and query already encoded).
[[nodiscard]] QUrl serviceLocation(const QUrl& base, const QString& path);
// The HLS address of a playback ID: "<stream base>/<ID>.m3u8".
[[nodiscard]] QUrl streamLocation(const QUrl& streamBase, const QString& playbackID);
// The 160 × 90 still of a playback ID, aspect kept, on the image host.
[[nodiscard]] QUrl stillLocation(const QUrl& imageBase, const QString& playbackID);

} // namespace clipferry::service
