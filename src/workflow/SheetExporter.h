#pragma once

#include "MuxRecords.h"
#include "Result.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QUrl>
#include <functional>

class QNetworkAccessManager;

namespace clipferry {

// Publishes the playback addresses of the whole service library to the sheet, as CSV
// posted to the web app that writes the rows. The view model owns one and forwards.
class SheetExporter : public QObject {
    Q_OBJECT

public:
    struct Options {
        QUrl webAppUrl;
        QUrl streamBase;
    };
    using Log = std::function<void(const QString&)>;
    // The library to export, or why there is none; `afterChange` tells an export after
    // a batch or a delete from the button's.
    using ListLibrary = std::function<QCoro::Task<Result<QList<MuxAsset>>>(bool afterChange)>;

    SheetExporter(QNetworkAccessManager& network, Options options, ListLibrary list, Log log,
                  QObject* parent = nullptr);

    [[nodiscard]] QString buildSheetCSV(const QList<MuxAsset>& assets) const;
    [[nodiscard]] QCoro::Task<Result<void>> postSheetCSV(QString csv);
    // The export after a batch or a delete, with its two result lines.
    [[nodiscard]] QCoro::Task<> exportAfterLibraryChange();
    // The export of the button "Update Google Sheets", with its three lines.
    [[nodiscard]] QCoro::Task<> updateGoogleSheets();

Q_SIGNALS:
    // An export after a change or by the button ended, with its result lines logged.
    void exportFinished(bool updated);

private:
    [[nodiscard]] QCoro::Task<Result<void>> exportLibrary(bool afterChange);

    QNetworkAccessManager& m_network;
    Options m_options;
    ListLibrary m_list;
    Log m_log;
};

} // namespace clipferry
