#pragma once

#include "service/MuxRecords.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace clipferry::fuzz {

// The sheet web app's CSV reader (parseCsv in webapp/Code.gs), ported statement by
// statement over UTF-16 text as JavaScript sees it, so the desktop's writer can be checked
// against the reader that really receives its text. Change both together.
[[nodiscard]] QList<QStringList> webAppParseCsv(const QString& text);

// The sheet_csv corpus's assets: one per NUL-separated record, "name" or
// "name\x1fplaybackID"; a record that starts with \x1e has no name.
[[nodiscard]] QList<MuxAsset> assetsOfRecords(const QByteArray& bytes);

} // namespace clipferry::fuzz
