#include "UploadItem.h"

#include "DisplayText.h"

#include <array>

namespace clipferry {
namespace {

// In the order of the enumeration.
constexpr std::array<const char*, 7> statusLabels{
    "Pending", "Creating Upload", "Uploading", "Waiting for Asset", "Processing", "Done", "Failed",
};

} // namespace

QString uploadStatusLabel(UploadStatus status) {
    return QString::fromLatin1(statusLabels[static_cast<std::size_t>(status)]);
}

UploadItem UploadItem::make(const QUrl& fileURL) {
    UploadItem item;
    item.id = QUuid::createUuid();
    item.fileURL = fileURL;
    item.title = withoutExtension(fileURL.fileName());
    return item;
}

} // namespace clipferry
