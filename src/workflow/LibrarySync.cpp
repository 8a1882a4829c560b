#include "UploadViewModel.h"

// Library sync and change tracking: filled in with the service listing.
namespace clipferry {

QCoro::Task<> UploadViewModel::refreshLibrary() {
    co_return;
}

void UploadViewModel::detectChangedMuxAssets(const QList<MuxAsset>& assets) {
    Q_UNUSED(assets);
}

void UploadViewModel::markAssetSeen(const QString& assetID) {
    Q_UNUSED(assetID);
}

void UploadViewModel::markAllSeen() {}

QCoro::Task<> UploadViewModel::deleteSelectedAsset() {
    co_return;
}

} // namespace clipferry
