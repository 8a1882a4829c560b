#pragma once

#include "model/CityInfo.h"
#include "model/DetachedTask.h"
#include "model/Records.h"
#include "model/Result.h"
#include "model/SeenState.h"
#include "model/StoredFile.h"
#include "model/UploadItem.h"
#include "service/MuxClientOptions.h"
#include "service/MuxRecords.h"
#include "workflow/LocalVideo.h"
#include "workflow/Workspace.h"

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
class SheetExporter;
class UploadQueue;

// The one object that holds the application's state and carries out every user action.
// Views read its fields, set the few that are theirs (selections, switches, the sheet
// flag) and call its operations; every change is announced by a signal.
class UploadViewModel : public QObject {
    Q_OBJECT

public:
    using Options = Workspace::Options;

    UploadViewModel(const PlatformConfig& config, Workspace& workspace, QObject* parent = nullptr);
    ~UploadViewModel() override;

    // Credentials are read asynchronously; refreshes and uploads wait for this.
    [[nodiscard]] bool isReady() const;
    [[nodiscard]] QCoro::Task<> waitUntilReady();

    // --- fields ----------------------------------------------------------------------
    [[nodiscard]] const QList<UploadItem>& uploads() const;
    [[nodiscard]] const QList<LogEntry>& log() const;
    [[nodiscard]] bool showAPIKeySheet() const { return m_showAPIKeySheet; }
    void setShowAPIKeySheet(bool show);
    [[nodiscard]] VideoProvider provider() const { return m_provider; }
    void setProvider(VideoProvider provider);
    [[nodiscard]] const QString& tokenID() const;
    void setTokenID(const QString& tokenID);
    [[nodiscard]] const QString& tokenSecret() const;
    void setTokenSecret(const QString& tokenSecret);
    [[nodiscard]] bool useMaxResolution() const;
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
    [[nodiscard]] const std::optional<QUrl>& localFolderURL() const;
    void setLocalFolderURL(std::optional<QUrl> folder);
    [[nodiscard]] const QList<QUrl>& localVideoURLs() const;
    [[nodiscard]] const std::optional<QUrl>& selectedLocalVideo() const {
        return m_selectedLocalVideo;
    }
    void setSelectedLocalVideo(std::optional<QUrl> file);
    [[nodiscard]] bool includeSubfolders() const;
    void setIncludeSubfolders(bool include);
    // "Deliver new clips automatically" and "Replace changed clips" of the local folder;
    // the folder's watcher (an `AutoDelivery` of the composition root) follows them.
    [[nodiscard]] bool deliverNewClips() const { return m_deliverNewClips; }
    void setDeliverNewClips(bool deliver);
    [[nodiscard]] bool replaceChangedClips() const { return m_replaceChangedClips; }
    void setReplaceChangedClips(bool replace);
    [[nodiscard]] const CityMap& cityMap() const;
    void setCityMap(CityMap map);
    [[nodiscard]] bool isRefreshing() const;
    [[nodiscard]] const std::optional<LocalVideoState>& savedLocalState() const;
    [[nodiscard]] const QSet<QUrl>& changedLocalVideos() const;
    [[nodiscard]] const std::optional<MuxState>& savedMuxState() const;
    [[nodiscard]] const QSet<QString>& changedMuxAssets() const;
    [[nodiscard]] qint64 pendingBatchUploads() const;
    [[nodiscard]] qint64 completedBatchUploads() const;
    [[nodiscard]] MuxClient& mux();
    [[nodiscard]] LibrarySync& library();
    [[nodiscard]] SheetExporter& sheetExporter();
    // Local clips against the service library.
    [[nodiscard]] DeliveryTracker& delivery() const;
    [[nodiscard]] DeliveryLedger& ledger() const;
    [[nodiscard]] const PlatformConfigProtocol& config() const { return m_config; }
    [[nodiscard]] const Options& options() const;

    // The service library by city code, and the local files as records, both in list order.
    [[nodiscard]] QList<LocalVideo> localVideos() const;

    // --- core ------------------------------------------------------------------------
    // Writes to the workspace's activity log.
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
    [[nodiscard]] const std::optional<QString>& credentialsReadError() const;
    // Fire-and-forget forms for the views' buttons; each task runs to its end on its own.
    void startSaveSettings(bool clearingConfirmed = false) {
        runDetached(saveSettings(clearingConfirmed));
    }
    void startLoadSettings() { runDetached(reloadCredentials()); }
    void startRefreshLibrary() { runDetached(refreshLibrary()); }
    void startDeleteSelectedAsset() { runDetached(deleteSelectedAsset()); }
    void startUpdateGoogleSheets() { runDetached(updateGoogleSheets()); }
    // Stores the sheet web app's key beside the tokens; empty removes it.
    void startSaveSheetKey(QString key) { runDetached(saveSheetKey(std::move(key))); }
    // After the first tokens are entered: the start-up listing ran without them.
    void refreshIfNeverListed();
    void saveMuxState();
    void saveLocalVideoState();
    void saveCityMap();

    // --- upload batches (carried out by the queue) ------------------------------------
    [[nodiscard]] UploadQueue& uploadQueue();
    [[nodiscard]] const UploadQueue& uploadQueue() const;
    void startUploadBatch(const QList<QUrl>& files);
    void markUploadedAssetNew(const QString& assetID);

    // --- library sync ----------------------------------------------------------------
    [[nodiscard]] QCoro::Task<> refreshLibrary();
    void detectChangedMuxAssets(const QList<MuxAsset>& assets);
    void markAssetSeen(const QString& assetID);
    void markAllSeen();
    [[nodiscard]] QCoro::Task<> deleteSelectedAsset();

    // --- sheet export ----------------------------------------------------------------
    [[nodiscard]] const std::optional<QList<MuxAsset>>& lastCompleteListing() const;
    [[nodiscard]] QCoro::Task<Result<void>> postSheetCSV(QString csv);
    [[nodiscard]] QCoro::Task<> updateGoogleSheets();
    [[nodiscard]] QCoro::Task<> saveSheetKey(QString key);

    // --- local folder ----------------------------------------------------------------
    // Lists the chosen folder and flags new and changed files; a newer scan supersedes it.
    [[nodiscard]] QCoro::Task<> loadLocalVideos();
    void startLoadLocalVideos() { runDetached(loadLocalVideos()); }
    // The folder chooser's answer: scans it, and logs the choice after the scan's lines.
    [[nodiscard]] QCoro::Task<> selectLocalFolder(QUrl folder);
    void startSelectLocalFolder(QUrl folder) { runDetached(selectLocalFolder(std::move(folder))); }
    // The library's refresh while the local folder is on view: rescans and logs the count,
    // and leaves the service library, which has nothing to do with the folder, as it is.
    [[nodiscard]] QCoro::Task<> reloadLocalFolder();
    void startReloadLocalFolder() { runDetached(reloadLocalFolder()); }
    void markLocalVideoSeen(const QUrl& file);
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
    void setFixtureLocalVideos(QList<QUrl> files, QSet<QUrl> changedFiles);

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
    // Runs `job` from the event loop, after the current step.
    void post(std::function<void()> job);
    void takeLoadedCredentials();
    QCoro::Task<> reloadCredentials();
    void setExistingAssets(QList<MuxAsset> assets);
    void setChangedMuxAssets(QSet<QString> ids);
    // The relist and the sheet after a batch.
    [[nodiscard]] QCoro::Task<> completeUploadBatch();
    void resumeUnfinishedUploads();
    // The transfer settings, the source and the folder as the last run left them.
    void restoreKeptSettings();
    // `refreshLibrary`, handing back the complete service listing when it brought one.
    [[nodiscard]] QCoro::Task<std::optional<QList<MuxAsset>>> relistLibrary();
    [[nodiscard]] QCoro::Task<> exportAfterLibraryChange(std::optional<QList<MuxAsset>> listed);

    Workspace& m_workspace;
    bool m_showAPIKeySheet = false;
    VideoProvider m_provider = VideoProvider::webMux;
    double m_uploadLimitMBps = 0;
    std::optional<MuxAsset> m_selectedAsset;
    std::optional<QUrl> m_selectedLocalVideo;
    bool m_deliverNewClips = false;
    bool m_replaceChangedClips = false;
    PlatformConfig m_config;

    bool m_uploadsResumed = false;
};

} // namespace clipferry
