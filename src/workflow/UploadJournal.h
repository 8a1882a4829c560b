#pragma once

#include "model/Result.h"
#include "model/UploadItem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

namespace clipferry {

inline constexpr auto uploadJournalFileName = "Uploads.json";

// What the journal keeps of an unfinished upload: enough to go on after a restart from
// the stage reached, with the IDs the service gave, and to tell whether the file is
// still the one that was being sent.
struct UploadRecord {
    QString filePath;
    qint64 size = 0;
    qint64 modifiedMs = 0;
    QString title;
    // The furthest stage begun: creatingUpload, uploading, waitingAsset or processingAsset
    // (the title is set once processing begins).
    UploadStatus stage = UploadStatus::creatingUpload;
    QString uploadID;
    QUrl uploadURL;
    QString assetID;
};

[[nodiscard]] QByteArray encodeUploadJournal(const QList<UploadRecord>& records);
// Entries that cannot be read are left out; a file that is no journal at all is an error.
[[nodiscard]] Result<QList<UploadRecord>> decodeUploadJournal(const QByteArray& bytes);

} // namespace clipferry
