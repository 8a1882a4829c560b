#include "workflow/UploadJournal.h"

#include "model/JsonDecode.h"
#include "model/StateFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace clipferry {

Result<QList<UploadRecord>> decodeUploadJournal(const QByteArray& bytes) {
    QJsonParseError error{};
    const auto document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return fail(errorDomain::json, json::syntaxError,
                    QStringLiteral("The upload journal cannot be read."));
    QList<UploadRecord> records;
    for (const auto& value : document.array()) {
        const auto entry = value.toObject();
        UploadRecord record;
        record.filePath = entry.value(QLatin1StringView("file")).toString();
        record.size = static_cast<qint64>(entry.value(QLatin1StringView("size")).toDouble());
        record.modifiedMs =
            static_cast<qint64>(entry.value(QLatin1StringView("modified")).toDouble());
        record.title = entry.value(QLatin1StringView("title")).toString();
        const auto stage =
            uploadStatusFromLabel(entry.value(QLatin1StringView("stage")).toString());
        record.uploadID = entry.value(QLatin1StringView("upload_id")).toString();
        record.uploadURL = QUrl(entry.value(QLatin1StringView("upload_url")).toString());
        record.assetID = entry.value(QLatin1StringView("asset_id")).toString();
        if (record.filePath.isEmpty() || !stage)
            continue;
        record.stage = *stage;
        records.append(record);
    }
    return records;
}

Result<int> importUploadJournal(DeliveryLedger& ledger, const QString& journalPath) {
    if (!QFileInfo::exists(journalPath))
        return 0;
    const auto old = readWholeFile(journalPath).and_then(decodeUploadJournal);
    if (!old)
        return tl::unexpected(old.error());
    if (auto adopted = ledger.adopt(*old); !adopted)
        return tl::unexpected(adopted.error());
    // Renamed only once its entries are in: a crash before this imports it again, and
    // the resumed entries find their sessions as they left them.
    const QString kept = journalPath + QStringLiteral(".bak");
    QFile::remove(kept);
    if (!QFile::rename(journalPath, kept))
        return fail(errorDomain::file, 0,
                    QStringLiteral("%1 could not be renamed to %2.").arg(journalPath, kept));
    return static_cast<int>(old->size());
}

} // namespace clipferry
