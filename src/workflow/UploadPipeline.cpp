#include "UploadViewModel.h"

// Upload batches: filled in with the service client.
namespace clipferry {

void UploadViewModel::startUploadBatch(const QList<QUrl>& files) {
    Q_UNUSED(files);
}

QCoro::Task<> UploadViewModel::processUpload(qsizetype index) {
    Q_UNUSED(index);
    co_return;
}

void UploadViewModel::setUploadStatus(qsizetype index, UploadStatus status, double progress) {
    Q_UNUSED(index);
    Q_UNUSED(status);
    Q_UNUSED(progress);
}

void UploadViewModel::markUploadedAssetNew(const QString& assetID) {
    Q_UNUSED(assetID);
}

QCoro::Task<> UploadViewModel::finishBatchItem() {
    co_return;
}

} // namespace clipferry
