#include "FuzzCheck.h"
#include "WebAppCsv.h"
#include "service/ServiceAddresses.h"
#include "workflow/SheetCSV.h"

// Input: assets as fuzz::assetsOfRecords reads them. The web app must read back from the
// posted UTF-8 exactly the rows the list holds, whatever the names contain.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace clipferry;
    const QList<MuxAsset> assets = fuzz::assetsOfRecords(fuzz::bytesOf(data, size));
    const QString base = QStringLiteral("https://stream.example");
    const auto rows = fuzz::webAppParseCsv(QString::fromUtf8(sheetCSV(assets, base).toUtf8()));
    fuzz::check(rows.size() == assets.size() + 1, "one row per asset after the header");
    fuzz::check(rows.first() == QStringList{"index", "filename", "playback_url"}, "header row");
    for (qsizetype i = 0; i < assets.size(); ++i) {
        const QStringList& row = rows[i + 1];
        const auto id = assets[i].firstPlaybackID().value_or(QString());
        fuzz::check(row.size() == 3 && row[0] == QString::number(i + 1), "index column");
        fuzz::check(row[1] == assets[i].passthrough.value_or(QStringLiteral("(No Title)")),
                    "file name column");
        fuzz::check(id.isEmpty()
                        ? row[2].isEmpty()
                        : row[2] ==
                              service::streamLocation(QUrl(base), id).toString(QUrl::FullyEncoded),
                    "playback address column");
    }
    return 0;
}
