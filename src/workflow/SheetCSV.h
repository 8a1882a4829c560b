#pragma once

#include "service/MuxRecords.h"

#include <QList>
#include <QString>
#include <QUrl>

namespace clipferry {

// The streaming address of the asset's first playback ID; empty when it has none.
[[nodiscard]] QString playbackAddress(const MuxAsset& asset, const QUrl& streamBase);

// "index,filename,playback_url" and one line per asset, LF-ended, in list order.
[[nodiscard]] QString sheetCSV(const QList<MuxAsset>& assets, const QUrl& streamBase);

} // namespace clipferry
