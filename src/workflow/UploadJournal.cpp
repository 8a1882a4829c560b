#include "workflow/UploadJournal.h"

#include "model/JsonDecode.h"

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

} // namespace clipferry
