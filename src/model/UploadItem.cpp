#include "model/UploadItem.h"

#include "model/DisplayText.h"

#include <array>

namespace clipferry {
namespace {

// In the order of the enumeration.
constexpr std::array<const char*, 9> statusLabels{
    "Pending", "Creating Upload", "Uploading", "Waiting for Asset", "Processing", "Done",
    "Failed",  "Cancelled",       "Paused",
};

} // namespace

QString uploadStatusLabel(UploadStatus status) {
    return QString::fromLatin1(statusLabels[static_cast<std::size_t>(status)]);
}

std::optional<UploadStatus> uploadStatusFromLabel(const QString& label) {
    for (std::size_t i = 0; i < statusLabels.size(); ++i) {
        if (label == QLatin1String(statusLabels[i]))
            return static_cast<UploadStatus>(i);
    }
    return std::nullopt;
}

UploadItem UploadItem::make(const QUrl& fileURL) {
    UploadItem item;
    item.id = QUuid::createUuid();
    item.fileURL = fileURL;
    item.title = withoutExtension(fileURL.fileName());
    return item;
}

} // namespace clipferry
