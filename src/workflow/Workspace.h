#pragma once

#include "service/MuxClientOptions.h"
#include "workflow/WatchDelivery.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>

class QNetworkAccessManager;

namespace clipferry {

class ActivityLog;
class AutoDelivery;
class CityTable;
class CredentialStore;
class Credentials;
class DeliveryLedger;
class DeliveryTracker;
class LibrarySource;
class LibrarySync;
class LocalFolder;
class NetworkReachability;
class MuxClient;
class SheetExporter;
class TransferSettings;
class UploadQueue;

// The long-lived parts behind the window or a command-line run, made in dependency order
// and wired to each other here: the service client, the credentials,
// the delivery ledger, the library, the upload queue, the sheet export, the local folder,
// the delivery tracker, the source on view, the transfer settings, the city table and the
// unattended delivery of the local folder.
// A headless workspace reads the window's state files and writes none of them but the
// ledger, keeps no choice of source, takes over no unfinished upload by itself and has
// neither city table nor unattended delivery.
//   Workspace workspace(log, network, store, Workspace::defaultOptions());
//   workspace.uploadQueue().startUploadBatch(files);
class Workspace : public QObject {
    Q_OBJECT

public:
    struct Options {
        QUrl apiBase;
        QUrl streamBase;
        QUrl sheetWebAppUrl;
        // Where the last complete listing is kept for the next start; empty keeps none.
        QString listingCacheFile;
        // The delivery ledger the window, the command line and a watcher share.
        QString ledgerFile;
        MuxClientOptions client;
        int maxConcurrentUploads = 3;
        // Local metadata reaches the views at most this often while a folder is read.
        std::chrono::milliseconds metadataPublishInterval{100};
        // The local folder's delivery states compare against a listing at most this old.
        std::chrono::milliseconds maxListingAge{std::chrono::minutes(5)};
        // A command-line run: it reads the state files the window owns and never writes
        // them, so a run beside the open window cannot undo the window's changes.
        bool headless = false;
        // A token pair in place of the secret store, which is then never asked.
        std::optional<std::pair<QString, QString>> fixedTokens;
        // The sheet web app's key in place of the secret store.
        std::optional<QString> fixedSheetKey;
        // The sheet web app's address in place of the settings' and the build's.
        std::optional<QString> fixedSheetWebAppUrl;
        // Tells the uploads waiting for the network that it is back; none: one that
        // follows Qt's network information is made.
        std::shared_ptr<NetworkReachability> networkReachability;
        // Adjusts each watcher of the window's unattended delivery before it starts.
        WatchDelivery::Tweak watchTweak;
    };

    // Options from the build constants, with the service's own poll intervals.
    [[nodiscard]] static Options defaultOptions();

    // The log is the composition root's, so that it echoes from the first line on.
    Workspace(ActivityLog& log, QNetworkAccessManager& network, const CredentialStore& store,
              Options options, QObject* parent = nullptr);
    ~Workspace() override;

    [[nodiscard]] const Options& options() const { return m_options; }
    [[nodiscard]] ActivityLog& log() const { return m_log; }
    [[nodiscard]] MuxClient& client() const { return *m_client; }
    [[nodiscard]] Credentials& credentials() const { return *m_credentials; }
    [[nodiscard]] DeliveryLedger& ledger() const { return *m_ledger; }
    [[nodiscard]] LibrarySync& library() const { return *m_library; }
    [[nodiscard]] UploadQueue& uploadQueue() const { return *m_uploadQueue; }
    [[nodiscard]] SheetExporter& sheetExporter() const { return *m_sheet; }
    [[nodiscard]] LocalFolder& localFolder() const { return *m_localFolder; }
    [[nodiscard]] DeliveryTracker& delivery() const { return *m_delivery; }
    [[nodiscard]] LibrarySource& source() const { return *m_source; }
    [[nodiscard]] TransferSettings& transferSettings() const { return *m_transferSettings; }
    // The window's alone: a headless workspace has none.
    [[nodiscard]] CityTable* cityTable() const { return m_cityTable.get(); }
    [[nodiscard]] AutoDelivery* autoDelivery() const { return m_autoDelivery.get(); }

private:
    void openLedger();
    // The window takes over the uploads the last run left, once, when it has tokens.
    void resumeUnfinishedUploads();

    Options m_options;
    ActivityLog& m_log;
    // Declared in the order they are made; each is gone before those it uses.
    std::unique_ptr<MuxClient> m_client;
    std::unique_ptr<Credentials> m_credentials;
    std::unique_ptr<DeliveryLedger> m_ledger;
    std::unique_ptr<LibrarySync> m_library;
    std::unique_ptr<UploadQueue> m_uploadQueue;
    std::unique_ptr<SheetExporter> m_sheet;
    std::unique_ptr<LocalFolder> m_localFolder;
    std::unique_ptr<DeliveryTracker> m_delivery;
    std::unique_ptr<LibrarySource> m_source;
    std::unique_ptr<TransferSettings> m_transferSettings;
    std::unique_ptr<CityTable> m_cityTable;
    std::unique_ptr<AutoDelivery> m_autoDelivery;
    bool m_uploadsResumed = false;
};

} // namespace clipferry
