#pragma once

#include <QCoro/QCoroTask>
#include <QImage>
#include <QSizeF>
#include <QString>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkDiskCache;

namespace clipferry {

// A picture for a key, or none when it cannot be had; the library's loader calls it.
using ThumbnailFetch = std::function<QCoro::Task<std::optional<QImage>>(QString key)>;

// Keys are image addresses. Pictures come from `cache` when it holds them, else from the
// network through `network`; fetched pictures are written to `cache`. The cache is used
// directly, not installed on the shared manager, so that no reply of the service's API
// is ever written to disk.
[[nodiscard]] ThumbnailFetch remoteThumbnailFetch(QNetworkAccessManager& network,
                                                  QNetworkDiskCache* cache);

// The folder of the still-image cache: the user's cache folder for the application.
[[nodiscard]] QString remoteThumbnailCacheFolder();

// Keys are local file URLs; pictures come from the process-wide thumbnail provider.
[[nodiscard]] ThumbnailFetch localThumbnailFetch(QSizeF size);

} // namespace clipferry
