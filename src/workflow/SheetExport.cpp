#include "UploadViewModel.h"

// Sheet export: filled in with the web app client.
namespace clipferry {

QString UploadViewModel::buildSheetCSV() const {
    return QStringLiteral("index,filename,playback_url\n");
}

QCoro::Task<Result<void>> UploadViewModel::postSheetCSV(QString csv) {
    Q_UNUSED(csv);
    co_return Result<void>{};
}

QCoro::Task<> UploadViewModel::updateGoogleSheets() {
    co_return;
}

} // namespace clipferry
