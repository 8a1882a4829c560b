#pragma once

#include <QString>
#include <QUrl>
#include <QUuid>
#include <optional>

namespace clipferry {

enum class UploadStatus {
    pending,
    creatingUpload,
    uploading,
    waitingAsset,
    processingAsset,
    done,
    failed,
};

// What the upload list and the log show for a status.
[[nodiscard]] QString uploadStatusLabel(UploadStatus status);

struct UploadItem {
    QUuid id;
    QUrl fileURL;
    QString title;
    UploadStatus status = UploadStatus::pending;
    double progress = 0.0;
    std::optional<QString> playbackURL;
    std::optional<QString> error;

    // A pending item with a fresh id; the title is the file name without its last extension.
    [[nodiscard]] static UploadItem make(const QUrl& fileURL);
};

} // namespace clipferry
