#pragma once

#include "model/Result.h"
#include "service/MuxRecords.h"
#include "service/PacerClock.h"
#include "service/ServiceTransport.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace clipferry {

class ActivityLog;
class Credentials;
class RequestPacer;

// Publishes the playback addresses of the whole service library to the sheet, as CSV
// posted to the web app that writes the rows. An export posts only a complete listing
// made for it: the one a refresh just brought, or else its own.
class SheetExporter : public QObject {
    Q_OBJECT

public:
    struct Options {
        // The build's address; one saved in the settings takes its place.
        QUrl webAppUrl;
        QUrl streamBase;
        // The service client's retries: a whole-sheet replace may be sent again.
        ServiceTransport::RetryPolicy retry;
        std::chrono::milliseconds transferTimeout{60000};
        // Time source of the retry waits; null means the steady clock.
        std::shared_ptr<PacerClock> clock;
        // An address given from outside (the command line's environment), in place of the
        // settings' and the build's; empty says there is none.
        std::optional<QString> fixedWebAppUrl;
    };
    // A listing of the whole library made for this export, or why there is none.
    using ListLibrary = std::function<QCoro::Task<Result<QList<MuxAsset>>>()>;

    SheetExporter(QNetworkAccessManager& network, Credentials& credentials, ActivityLog& log,
                  Options options, ListLibrary list, QObject* parent = nullptr);
    ~SheetExporter() override;

    // The address is checked as an https one (plain http only to a test build's loopback).
    [[nodiscard]] static Result<QUrl> checkedWebAppUrl(const QString& text);
    [[nodiscard]] const QUrl& webAppUrl() const { return m_webAppUrl; }
    // Why no export can go out (no address, or one that is not allowed); none when one can.
    [[nodiscard]] const std::optional<QString>& addressProblem() const { return m_addressProblem; }
    // Keeps a checked address in the settings for the next starts; empty forgets it.
    [[nodiscard]] Result<void> setWebAppUrl(const QString& text);

    [[nodiscard]] QString buildSheetCSV(const QList<MuxAsset>& assets) const;
    // Succeeds only when the web app confirms the write: its answer starts with "OK ".
    [[nodiscard]] QCoro::Task<Result<void>> postSheetCSV(QString csv);
    // The export after a batch or a delete, with its two result lines. `listed` is the
    // complete listing of the refresh that just ran; without one the export lists for itself.
    [[nodiscard]] QCoro::Task<> exportAfterLibraryChange(std::optional<QList<MuxAsset>> listed);
    // The export of the button "Update Google Sheets", with its three lines.
    [[nodiscard]] QCoro::Task<> updateGoogleSheets();

Q_SIGNALS:
    // An export after a change or by the button ended, with its result lines logged.
    // `updated` is false only for a failure: with no address set the export after a
    // change is skipped, said once in the log, and ends as done.
    void exportFinished(bool updated);
    void webAppUrlChanged();

private:
    [[nodiscard]] QCoro::Task<Result<void>> exportLibrary(std::optional<QList<MuxAsset>> listed);
    void takeWebAppUrl(const QString& text);

    Credentials& m_credentials;
    ActivityLog& m_log;
    Options m_options;
    QUrl m_webAppUrl;
    std::optional<QString> m_addressProblem;
    bool m_addressProblemLogged = false;
    ListLibrary m_list;
    // Unpaced: the web app is not the service and has no request budget of its own.
    std::unique_ptr<RequestPacer> m_pacer;
    std::unique_ptr<ServiceTransport> m_transport;
};

} // namespace clipferry
