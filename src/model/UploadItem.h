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
    // Stopped by the user; a retry goes on from the stage reached.
    cancelled,
    // Held by the user with its upload session; a resume goes on from the bytes held.
    paused,
};

// The label is the status's identity: it is what the upload list shows, what the
// journal stores, and what `uploadStatusFromLabel` accepts back, case-sensitively.
[[nodiscard]] QString uploadStatusLabel(UploadStatus status);
[[nodiscard]] std::optional<UploadStatus> uploadStatusFromLabel(const QString& label);

struct UploadItem {
    QUuid id;
    QUrl fileURL;
    QString title;
    UploadStatus status = UploadStatus::pending;
    double progress = 0.0;
    std::optional<QString> playbackURL;
    std::optional<QString> error;
    // While bytes move: sent, speed and time left, for the row to show; or that the
    // network is down and the item waits for it.
    QString detail;
    // The bytes the session has or is being sent, and the file's size (0 until known).
    qint64 bytesSent = 0;
    qint64 bytesTotal = 0;

    // A pending item with a fresh id; the title is the file name without its last extension.
    [[nodiscard]] static UploadItem make(const QUrl& fileURL);
};

} // namespace clipferry
