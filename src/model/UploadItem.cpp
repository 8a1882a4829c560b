#include "UploadItem.h"

#include <array>

namespace clipferry {
namespace {

struct StatusRow {
    UploadStatus status;
    const char* label;
    double progress;
};

constexpr std::array<StatusRow, 8> statusRows{{
    {UploadStatus::pending, "Pending", 0.0},
    {UploadStatus::creatingUpload, "Creating Upload", 0.1},
    {UploadStatus::uploading, "Uploading", 0.3},
    {UploadStatus::waitingAsset, "Waiting for Asset", 0.5},
    {UploadStatus::processingAsset, "Processing", 0.7},
    {UploadStatus::done, "Done", 1.0},
    {UploadStatus::failed, "Failed", 1.0},
    {UploadStatus::cancelled, "Cancelled", 1.0},
}};

const StatusRow& rowFor(UploadStatus status) {
    return statusRows[static_cast<std::size_t>(status)];
}

} // namespace

QString uploadStatusLabel(UploadStatus status) {
    return QString::fromLatin1(rowFor(status).label);
}

std::optional<UploadStatus> uploadStatusFromLabel(const QString& label) {
    for (const auto& row : statusRows) {
        if (label == QLatin1String(row.label))
            return row.status;
    }
    return std::nullopt;
}

double uploadStatusProgress(UploadStatus status) {
    return rowFor(status).progress;
}

QString fileNameWithoutExtension(const QString& fileName) {
    const auto dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? fileName : fileName.left(dot);
}

UploadItem UploadItem::make(const QUrl& fileURL) {
    UploadItem item;
    item.id = QUuid::createUuid();
    item.fileURL = fileURL;
    item.title = fileNameWithoutExtension(fileURL.fileName());
    return item;
}

} // namespace clipferry
