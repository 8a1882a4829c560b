#pragma once

#include "model/CityInfo.h"
#include "model/Records.h"
#include "model/Result.h"
#include "model/SeenState.h"
#include "model/UploadItem.h"
#include "service/MuxClientOptions.h"
#include "service/MuxRecords.h"
#include "workflow/LocalVideo.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

class QNetworkAccessManager;
class QThreadPool;

namespace clipferry {

class CredentialStore;
class DeliveryLedger;
class DeliveryTracker;
class LibrarySync;
class MuxClient;
class NetworkReachability;
class SheetExporter;
class UploadQueue;

// The one object that holds the application's state and carries out every user action.
// Views read its fields, set the few that are theirs (selections, switches, the sheet
// flag) and call its operations; every change is announced by a signal.
class UploadViewModel : public QObject {
    Q_OBJECT

public:
    struct Options {
        QUrl apiBase;
        QUrl streamBase;
        QUrl sheetWebAppUrl;
        // Where the last complete listing is kept for the next start.
        QString listingCacheFile;
        // The delivery ledger the window, the command line and a watcher share.
        QString ledgerFile;
        MuxClientOptions client;
        int maxConcurrentUploads = 3;
        // Local metadata reaches the views at most this often while a folder is read.
        std::chrono::milliseconds metadataPublishInterval{100};
        // The local folder's delivery states compare against a listing at most this old.
        std::chrono::milliseconds maxListingAge{std::chrono::minutes(5)};
        // Off for the command line: it reads the state files the window owns and never
        // writes them, so a run beside the open window cannot undo the window's changes.
        bool writeStateFiles = true;
        // Where each "[Clipferry] " line goes at once; empty: standard output.
        std::function<void(const QByteArray& line)> echoLog;
        // A token pair in place of the secret store, which is then never asked.
        std::optional<std::pair<QString, QString>> fixedTokens;
        // The sheet web app's key in place of the secret store.
        std::optional<QString> fixedSheetKey;
        // The sheet web app's address in place of the settings' and the build's.
        std::optional<QString> fixedSheetWebAppUrl;
        // Tells the uploads waiting for the network that it is back; none: one that
        // follows Qt's network information is made.
        std::shared_ptr<NetworkReachability> networkReachability;
    };

    // Options from the build constants, with the service's own poll intervals.
    [[nodiscard]] static Options defaultOptions();

    UploadViewModel(const PlatformConfig& config, QNetworkAccessManager& network,
                    const CredentialStore& credentials, Options options, QObject* parent = nullptr);
    ~UploadViewModel() override;

    // Credentials are read asynchronously; refreshes and uploads wait for this.
    [[nodiscard]] bool isReady() const { return m_ready; }
    [[nodiscard]] QCoro::Task<> waitUntilReady();

    // --- fields ----------------------------------------------------------------------
    [[nodiscard]] const QList<UploadItem>& uploads() const;
    [[nodiscard]] const QList<LogEntry>& log() const { return m_log; }
    [[nodiscard]] bool showAPIKeySheet() const { return m_showAPIKeySheet; }
    void setShowAPIKeySheet(bool show);
    [[nodiscard]] VideoProvider provider() const { return m_provider; }
    void setProvider(VideoProvider provider);
    [[nodiscard]] const QString& tokenID() const { return m_tokenID; }
    void setTokenID(const QString& tokenID);
    [[nodiscard]] const QString& tokenSecret() const { return m_tokenSecret; }
    void setTokenSecret(const QString& tokenSecret);
    [[nodiscard]] bool useMaxResolution() const { return m_useMaxResolution; }
    void setUseMaxResolution(bool use);
    // Transfer settings for a shared link, kept at once: how many files go at once (1–6)
    // and the cap on all transfers together in MB/s (10^6 bytes; 0: none).
    [[nodiscard]] int uploadsAtOnce() const;
    void setUploadsAtOnce(int count);
    [[nodiscard]] double uploadLimitMBps() const { return m_uploadLimitMBps; }
    void setUploadLimitMBps(double megabytesPerSecond);
    [[nodiscard]] const QList<MuxAsset>& existingAssets() const;
    // The service rows to show, and whether they are the previous run's, not yet listed.
    [[nodiscard]] const QList<MuxAsset>& shownAssets() const;
    [[nodiscard]] bool showsCachedListing() const;
    // Why the service rows on view are not fresh; empty when they are (LibrarySync).
    [[nodiscard]] const QString& listingNotice() const;
    [[nodiscard]] const std::optional<MuxAsset>& selectedAsset() const { return m_selectedAsset; }
    void setSelectedAsset(std::optional<MuxAsset> asset);
    [[nodiscard]] const std::optional<QUrl>& localFolderURL() const { return m_localFolderURL; }
    void setLocalFolderURL(std::optional<QUrl> folder);
    [[nodiscard]] const QList<QUrl>& localVideoURLs() const { return m_localVideoURLs; }
    [[nodiscard]] const std::optional<QUrl>& selectedLocalVideo() const {
        return m_selectedLocalVideo;
    }
    void setSelectedLocalVideo(std::optional<QUrl> file);
    [[nodiscard]] bool includeSubfolders() const { return m_includeSubfolders; }
    void setIncludeSubfolders(bool include);
    // "Deliver new clips automatically" and "Replace changed clips" of the local folder;
    // the folder's watcher (an `AutoDelivery` of the composition root) follows them.
    [[nodiscard]] bool deliverNewClips() const { return m_deliverNewClips; }
    void setDeliverNewClips(bool deliver);
    [[nodiscard]] bool replaceChangedClips() const { return m_replaceChangedClips; }
    void setReplaceChangedClips(bool replace);
    [[nodiscard]] const CityMap& cityMap() const { return m_cityMap; }
    void setCityMap(CityMap map);
    [[nodiscard]] bool isRefreshing() const;
    [[nodiscard]] const std::optional<LocalVideoState>& savedLocalState() const {
        return m_savedLocalState;
    }
    [[nodiscard]] const QSet<QUrl>& changedLocalVideos() const { return m_changedLocalVideos; }
    [[nodiscard]] const std::optional<MuxState>& savedMuxState() const;
    [[nodiscard]] const QSet<QString>& changedMuxAssets() const;
    [[nodiscard]] qint64 pendingBatchUploads() const;
    [[nodiscard]] qint64 completedBatchUploads() const;
    [[nodiscard]] MuxClient& mux() { return *m_mux; }
    [[nodiscard]] LibrarySync& library() { return *m_library; }
    [[nodiscard]] SheetExporter& sheetExporter() { return *m_sheet; }
    // Local clips against the service library.
    [[nodiscard]] DeliveryTracker& delivery() const { return *m_delivery; }
    [[nodiscard]] DeliveryLedger& ledger() const { return *m_ledger; }
    [[nodiscard]] const PlatformConfigProtocol& config() const { return m_config; }
    [[nodiscard]] const Options& options() const { return m_options; }

    // The service library by city code, and the local files as records, both in list order.
    [[nodiscard]] QList<LocalVideo> localVideos() const;

    // --- core ------------------------------------------------------------------------
    // Prints "[Clipferry] " + message on stdout at once; the log list gets the entry
    // from the event loop, after the current step.
    void appendLog(const QString& message);

    // --- settings and stored state ---------------------------------------------------
    [[nodiscard]] QCoro::Task<> loadSettings();
    // Writes the preference, and each token the user changed since it was read or saved.
    // An emptied token replaces a stored one only with `clearingConfirmed`.
    [[nodiscard]] QCoro::Task<> saveSettings(bool clearingConfirmed = false);
    // A save now would empty a stored token: the sheets ask before they save.
    [[nodiscard]] bool saveWouldClearTokens() const;
    // Why the stored tokens could not be read, until a read succeeds; the keys sheet shows
    // it and offers `startLoadSettings` again.
    [[nodiscard]] const std::optional<QString>& credentialsReadError() const {
        return m_credentialsReadError;
    }
    // Fire-and-forget forms for the views' buttons; the tasks are kept until they end.
    void startSaveSettings(bool clearingConfirmed = false) {
        keep(saveSettings(clearingConfirmed));
    }
    void startLoadSettings() { keep(loadCredentialsAndBecomeReady()); }
    void startRefreshLibrary() { keep(refreshLibrary()); }
    void startDeleteSelectedAsset() { keep(deleteSelectedAsset()); }
    void startUpdateGoogleSheets() { keep(updateGoogleSheets()); }
    // Stores the sheet web app's key beside the tokens; empty removes it.
    void startSaveSheetKey(QString key) { keep(saveSheetKey(std::move(key))); }
    // After the first tokens are entered: the start-up listing ran without them.
    void refreshIfNeverListed();
    void saveMuxState();
    void saveLocalVideoState();
    [[nodiscard]] QString cityMapFileURL() const;
    void ensureCityMapFolder() const;
    void loadCityMap();
    void saveCityMap();

    // --- upload batches (carried out by the queue) ------------------------------------
    [[nodiscard]] UploadQueue& uploadQueue() { return *m_uploadQueue; }
    [[nodiscard]] const UploadQueue& uploadQueue() const { return *m_uploadQueue; }
    void startUploadBatch(const QList<QUrl>& files);
    [[nodiscard]] QCoro::Task<> processUpload(qsizetype index);
    void setUploadStatus(qsizetype index, UploadStatus status, double progress);
    void markUploadedAssetNew(const QString& assetID);
    [[nodiscard]] QCoro::Task<> finishBatchItem();

    // --- library sync ----------------------------------------------------------------
    [[nodiscard]] QCoro::Task<> refreshLibrary();
    void detectChangedMuxAssets(const QList<MuxAsset>& assets);
    void markAssetSeen(const QString& assetID);
    void markAllSeen();
    [[nodiscard]] QCoro::Task<> deleteSelectedAsset();

    // --- sheet export ----------------------------------------------------------------
    // The CSV of the last complete listing of the service library: an export never sends
    // a partial or local list that would wipe rows from the sheet.
    [[nodiscard]] QString buildSheetCSV() const;
    [[nodiscard]] const std::optional<QList<MuxAsset>>& lastCompleteListing() const;
    [[nodiscard]] QCoro::Task<Result<void>> postSheetCSV(QString csv);
    [[nodiscard]] QCoro::Task<> updateGoogleSheets();
    [[nodiscard]] QCoro::Task<> saveSheetKey(QString key);

    // --- local folder ----------------------------------------------------------------
    // Lists the chosen folder and flags new and changed files; a newer scan supersedes it.
    [[nodiscard]] QCoro::Task<> loadLocalVideos();
    void startLoadLocalVideos() { keep(loadLocalVideos()); }
    // The folder chooser's answer: scans it, and logs the choice after the scan's lines.
    [[nodiscard]] QCoro::Task<> selectLocalFolder(QUrl folder);
    void startSelectLocalFolder(QUrl folder) { keep(selectLocalFolder(std::move(folder))); }
    // The library's refresh while the local folder is on view: rescans and logs the count,
    // and leaves the service library, which has nothing to do with the folder, as it is.
    [[nodiscard]] QCoro::Task<> reloadLocalFolder();
    void startReloadLocalFolder() { keep(reloadLocalFolder()); }
    void markLocalVideoSeen(const QUrl& file);
    [[nodiscard]] QCoro::Task<> preloadLocalMetadata(QList<QUrl> files);
    // The pool metadata is read on; by default one of this object's own, with a thread
    // per core. The pool must outlive this object.
    void setMetadataThreadPool(QThreadPool* pool);

    // --- fixtures ----------------------------------------------------------------------
    // Sets the lists and change sets as a finished listing or scan would, without the
    // network or the disk: for tests and the screenshot tool.
    void setFixtureLibrary(QList<MuxAsset> assets, QSet<QString> changedAssets) {
        setChangedMuxAssets(std::move(changedAssets));
        setExistingAssets(std::move(assets));
    }
    void setFixtureLocalVideos(QList<QUrl> files, QSet<QUrl> changedFiles) {
        setChangedLocalVideos(std::move(changedFiles));
        setLocalVideoURLs(std::move(files));
    }

Q_SIGNALS:
    void ready();
    void uploadAppended(qsizetype index);
    void uploadChanged(qsizetype index);
    void logAppended(const clipferry::LogEntry& entry);
    void showAPIKeySheetChanged(bool show);
    void providerChanged(clipferry::VideoProvider provider);
    void credentialsChanged();
    void existingAssetsChanged();
    void selectedAssetChanged();
    void localFolderChanged();
    void deliverNewClipsChanged();
    void localVideoURLsChanged();
    void selectedLocalVideoChanged();
    void cityMapChanged();
    void isRefreshingChanged(bool refreshing);
    void changedMuxAssetsChanged();
    void showsCachedListingChanged(bool showsCached);
    void listingNoticeChanged();
    void changedLocalVideosChanged();
    // Metadata of local files arrived; the views re-read the texts.
    void localMetadataChanged();
    // An export to the sheet ended, after a batch, a delete or the button.
    void sheetExportFinished(bool updated);

private:
    // Keeps a started task alive until it ends, and drops its result if this object
    // is gone by then.
    void keep(QCoro::Task<> task);
    void openLedger();
    // Runs `job` from the event loop, after the current step.
    void post(std::function<void()> job);
    QCoro::Task<> loadCredentialsAndBecomeReady();
    void setLocalVideoURLs(QList<QUrl> files);
    void setExistingAssets(QList<MuxAsset> assets);
    void setChangedMuxAssets(QSet<QString> ids);
    void setChangedLocalVideos(QSet<QUrl> files);
    QThreadPool& metadataThreadPool();
    void noteLocalMetadataArrived();
    void publishLocalMetadata();
    // The queue's steps that are the view model's: readiness and the tokens before an
    // item, the relist and the sheet after a batch.
    [[nodiscard]] QCoro::Task<> prepareUpload();
    [[nodiscard]] QCoro::Task<> completeUploadBatch();
    void resumeUnfinishedUploads();
    // The transfer settings, the source and the folder as the last run left them.
    void restoreKeptSettings();
    // `refreshLibrary`, handing back the complete service listing when it brought one.
    [[nodiscard]] QCoro::Task<std::optional<QList<MuxAsset>>> relistLibrary();
    [[nodiscard]] QCoro::Task<> exportAfterLibraryChange(std::optional<QList<MuxAsset>> listed);
    // False when a newer scan took this one's place before it landed. `thenLog` follows the
    // scan's own line, before the line of what it found.
    [[nodiscard]] QCoro::Task<bool> scanLocalVideos(QString thenLog);

    QList<LogEntry> m_log;
    bool m_showAPIKeySheet = false;
    VideoProvider m_provider = VideoProvider::webMux;
    QString m_tokenID;
    QString m_tokenSecret;
    // The tokens as last read from or written to the store; absent while unknown.
    std::optional<QString> m_storedTokenID;
    std::optional<QString> m_storedTokenSecret;
    std::optional<QString> m_credentialsReadError;
    bool m_useMaxResolution = false;
    double m_uploadLimitMBps = 0;
    std::optional<MuxAsset> m_selectedAsset;
    std::optional<QUrl> m_localFolderURL;
    QList<QUrl> m_localVideoURLs;
    std::optional<QUrl> m_selectedLocalVideo;
    bool m_includeSubfolders = false;
    bool m_deliverNewClips = false;
    bool m_replaceChangedClips = false;
    CityMap m_cityMap;
    std::optional<LocalVideoState> m_savedLocalState;
    QSet<QUrl> m_changedLocalVideos;
    std::unique_ptr<MuxClient> m_mux;
    std::unique_ptr<DeliveryLedger> m_ledger;
    // Declared after the client they use, so they go first.
    std::unique_ptr<LibrarySync> m_library;
    std::unique_ptr<SheetExporter> m_sheet;
    std::unique_ptr<DeliveryTracker> m_delivery;
    PlatformConfig m_config;

    QNetworkAccessManager& m_network;
    const CredentialStore& m_credentials;
    Options m_options;
    bool m_ready = false;

    // Drops the reads not yet started before waiting for the running ones.
    struct ThreadPoolStopper {
        void operator()(QThreadPool* pool) const;
    };
    std::unique_ptr<QThreadPool, ThreadPoolStopper> m_ownMetadataPool;
    QThreadPool* m_metadataPool = nullptr;
    QElapsedTimer m_lastMetadataPublish;
    bool m_metadataPublishScheduled = false;
    // Ends the running local scan when a newer one starts or this object goes.
    std::stop_source m_localScanStop;
    // False when the state file found at start could neither be used nor kept aside.
    bool m_localStateFileReplaceable = true;
    std::unique_ptr<UploadQueue> m_uploadQueue;
    bool m_uploadsResumed = false;
};

} // namespace clipferry
