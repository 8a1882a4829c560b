#pragma once

#include "service/MuxRecords.h"
#include "workflow/AnimationGrouping.h"

#include <QList>
#include <QString>
#include <optional>

namespace clipferry {

// The last complete service listing, kept in the cache folder so the next start can
// show the library at once. Written in the service's own list form, read back with
// the service's decoder.
inline constexpr auto listingCacheFileName = "MuxListing.json";

[[nodiscard]] QByteArray encodeListing(const QList<MuxAsset>& assets);
// The cached listing, or nothing when there is none or it does not decode: a cache
// that cannot be read costs only the quick start.
[[nodiscard]] std::optional<QList<MuxAsset>> readCachedListing(const QString& path);

// The cached listing with its city grouping, the two slow steps of showing ten thousand
// kept rows, made together so that both can run off the GUI thread.
struct KeptListing {
    QList<MuxAsset> assets;
    Grouping<MuxAsset> byCity;
};
[[nodiscard]] std::optional<KeptListing> readKeptListing(const QString& path);

} // namespace clipferry
