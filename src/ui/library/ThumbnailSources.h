#pragma once

#include "ui/library/ThumbnailLoader.h"

#include <QSizeF>

class QNetworkAccessManager;
class QNetworkDiskCache;

namespace clipferry {

// Keys are image addresses. Pictures come from `cache` when it holds them, else from the
// network through `network`; fetched pictures are written to `cache`. The cache is used
// directly, not installed on the shared manager, so that no reply of the service's API
// is ever written to disk.
[[nodiscard]] ThumbnailLoader::Fetch remoteThumbnailFetch(QNetworkAccessManager& network,
                                                          QNetworkDiskCache* cache);

// The folder of the still-image cache: the user's cache folder for the application.
[[nodiscard]] QString remoteThumbnailCacheFolder();

// Keys are local file URLs; pictures come from the process-wide thumbnail provider.
[[nodiscard]] ThumbnailLoader::Fetch localThumbnailFetch(QSizeF size);

} // namespace clipferry
