#pragma once

#include "model/Result.h"
#include "service/MuxRecords.h"

#include <QUrl>
#include <optional>

namespace clipferry {

// The location of the page after `page`: its `links.next` when present (a relative one
// is resolved against `current`); otherwise, for a non-empty `next_cursor`, the first
// page's location with "&cursor=" and the percent-encoded cursor. Absent when the list
// is complete (an empty `links.next` says so too). A `links.next` that is not a valid address, or
// that leaves the scheme, host and port of the first page, is an error: the credential goes only
// there.
[[nodiscard]] Result<std::optional<QUrl>>
nextAssetPageLocation(const QUrl& firstPage, const QUrl& current, const MuxAssetPaging& page);

} // namespace clipferry
