#include "UploadViewModel.h"

// Local folder scan and change tracking.
namespace clipferry {

void UploadViewModel::loadLocalVideos() {}

void UploadViewModel::detectChangedLocalVideos(const QList<QUrl>& files) {
    Q_UNUSED(files);
}

void UploadViewModel::markLocalVideoSeen(const QUrl& file) {
    Q_UNUSED(file);
}

QCoro::Task<> UploadViewModel::preloadLocalMetadata(QList<QUrl> files) {
    Q_UNUSED(files);
    co_return;
}

} // namespace clipferry
