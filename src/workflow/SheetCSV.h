#pragma once

#include "MuxRecords.h"

#include <QList>
#include <QString>
#include <QUrl>

namespace clipferry {

// "index,filename,playback_url" and one line per asset, LF-ended, in list order.
[[nodiscard]] QString sheetCSV(const QList<MuxAsset>& assets, const QUrl& streamBase);

} // namespace clipferry
