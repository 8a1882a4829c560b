#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace clipferry::fuzz {

// The sheet web app's CSV reader (parseCsv in webapp/Code.gs), ported statement by
// statement over UTF-16 text as JavaScript sees it, so the desktop's writer can be checked
// against the reader that really receives its text. Change both together.
[[nodiscard]] QList<QStringList> webAppParseCsv(const QString& text);

} // namespace clipferry::fuzz
