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
#include "workflow/AnimationGrouping.h"
#include "workflow/DeliveryState.h"
#include "workflow/DeliveryTracker.h"
#include "workflow/LocalVideo.h"
#include "workflow/UploadQueue.h"
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

// What the views talk to, and nothing else: the workspace's state and user actions as
// one-line operations over its peers, which decide; it holds only what is the views' own
// (the selections, the keys sheet flag). Every change is announced by a signal.
class UploadViewModel : public QObject {
    Q_OBJECT

public:
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
    [[nodiscard]] VideoProvider provider() const;
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
    [[nodiscard]] double uploadLimitMBps() const;
    void setUploadLimitMBps(double megabytesPerSecond);
    [[nodiscard]] const QList<MuxAsset>& existingAssets() const;
    // The service rows to show, and whether they are the previous run's, not yet listed.
    [[nodiscard]] const QList<MuxAsset>& shownAssets() const;
    [[nodiscard]] bool showsCachedListing() const;
    // The kept listing as grouped off the GUI thread, while it is on view.
    [[nodiscard]] const Grouping<MuxAsset>* shownGrouping() const;
    // Why the service rows on view are not fresh; empty when they are.
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
    // Flipping the switch reads the folder again.
    [[nodiscard]] bool includeSubfolders() const;
    void setIncludeSubfolders(bool include);
    // "Deliver new clips automatically" and "Replace changed clips" of the local folder,
    // which the workspace's unattended delivery follows; always off without one.
    [[nodiscard]] bool deliverNewClips() const;
    void setDeliverNewClips(bool deliver);
    [[nodiscard]] bool replaceChangedClips() const;
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
    [[nodiscard]] const PlatformConfigProtocol& config() const { return m_config; }
    // Where playback addresses point.
    [[nodiscard]] const QUrl& streamBase() const;

    // The local files as records, in list order.
    [[nodiscard]] QList<LocalVideo> localVideos() const;

    // --- core ------------------------------------------------------------------------
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
    // Reads the stored tokens again and lists the library if it never was.
    void startLoadSettings();
    void startRefreshLibrary() { runDetached(refreshLibrary()); }
    void startDeleteSelectedAsset() { runDetached(deleteSelectedAsset()); }
    // Deletes the asset the user confirmed, whatever is selected by then.
    void startDeleteAsset(MuxAsset confirmed);
    void startUpdateGoogleSheets() { runDetached(updateGoogleSheets()); }
    // Stores the sheet web app's key beside the tokens; empty removes it.
    void startSaveSheetKey(QString key) { runDetached(saveSheetKey(std::move(key))); }
    // After the first tokens are entered: the start-up listing ran without them.
    void refreshIfNeverListed();
    void saveMuxState();
    void saveLocalVideoState();
    void saveCityMap();

    // --- upload batches --------------------------------------------------------------
    void startUploadBatch(const QList<QUrl>& files);
    void markUploadedAssetNew(const QString& assetID);
    // A drop or an "Open with": what needs no answer starts; the rest waits for the
    // question returned, answered with `answerDrop`.
    [[nodiscard]] QCoro::Task<std::optional<DeliveryTracker::DropQuestion>>
    dropFiles(QList<QUrl> items);
    void answerDrop(const DeliveryTracker::DropQuestion& question, int answer);
    [[nodiscard]] QList<UploadQueue::RowAction> uploadActions(qsizetype row) const;
    void performUploadAction(qsizetype row, UploadQueue::RowAction action);
    // "3 of 12 · 1.4 of 6.2 GB · 12 min left".
    [[nodiscard]] QString uploadTotalsText() const;
    [[nodiscard]] int activeUploadCount() const;
    [[nodiscard]] int failedUploadCount() const;
    void pauseOrResumeAllUploads();
    void retryAllFailedUploads();
    void clearFinishedUploads();
    // What to ask before the window closes while uploads are on their way.
    [[nodiscard]] std::optional<QString> quitQuestion() const;

    // --- library sync ----------------------------------------------------------------
    [[nodiscard]] QCoro::Task<> refreshLibrary();
    // The listing the previous run kept, read in the background.
    void loadKeptListing();
    void detectChangedMuxAssets(const QList<MuxAsset>& assets);
    void markAssetSeen(const QString& assetID);
    void markAllSeen();
    [[nodiscard]] QCoro::Task<> deleteSelectedAsset();

    // --- sheet export ----------------------------------------------------------------
    [[nodiscard]] const std::optional<QList<MuxAsset>>& lastCompleteListing() const;
    [[nodiscard]] QCoro::Task<Result<void>> postSheetCSV(QString csv);
    [[nodiscard]] QCoro::Task<> updateGoogleSheets();
    [[nodiscard]] QCoro::Task<> saveSheetKey(QString key);
    // The web app the sheet is posted to, and why it would refuse it, if it would.
    [[nodiscard]] const QUrl& sheetWebAppUrl() const;
    [[nodiscard]] const std::optional<QString>& sheetAddressProblem() const;
    [[nodiscard]] Result<void> setSheetWebAppUrl(const QString& text);

    // --- local folder ----------------------------------------------------------------
    // Lists the chosen folder and flags new and changed files; a newer scan supersedes it.
    [[nodiscard]] QCoro::Task<> loadLocalVideos();
    void startLoadLocalVideos() { runDetached(loadLocalVideos()); }
    // The folder chooser's answer: scans it, and logs the choice after the scan's lines.
    void startSelectLocalFolder(QUrl folder);
    void markLocalVideoSeen(const QUrl& file);
    // The pool metadata is read on; by default one of the folder's own, with a thread
    // per core. The pool must outlive this object.
    void setMetadataThreadPool(QThreadPool* pool);
    // Each local file's delivery against the service library, for the local source.
    [[nodiscard]] DeliveryStatus deliveryStatus(const QUrl& file) const;
    // How many of the files on show "Upload N" would send.
    [[nodiscard]] qsizetype uploadCandidateCount(const QList<QUrl>& shown) const;
    // "Upload N": starts at once unless changed clips call for the question returned,
    // answered with `answerDelivery`.
    [[nodiscard]] std::optional<DeliveryTracker::DeliveryQuestion>
    deliverShown(const QList<QUrl>& shown);
    void answerDelivery(const DeliveryTracker::DeliveryQuestion& question, int answer);

    // --- fixtures ----------------------------------------------------------------------
    // Sets the lists and change sets as a finished listing or scan would, without the
    // network or the disk: for tests and the screenshot tool.
    void setFixtureLibrary(QList<MuxAsset> assets, QSet<QString> changedAssets);
    void setFixtureLocalVideos(QList<QUrl> files, QSet<QUrl> changedFiles);

Q_SIGNALS:
    void uploadAppended(qsizetype index);
    void uploadChanged(qsizetype index);
    void uploadAboutToBeRemoved(qsizetype index);
    void uploadRemoved(qsizetype index);
    // A batch ended, with how many of its files were delivered and how many failed.
    void uploadBatchFinished(int done, int failed);
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
    // Any local file's delivery state may have changed.
    void deliveryStatesChanged();
    void sheetWebAppUrlChanged();
    // Metadata of local files arrived; the views re-read the texts.
    void localMetadataChanged();
    // An export to the sheet ended, after a batch, a delete or the button.
    void sheetExportFinished(bool updated);

private:
    void takeLoadedCredentials();

    Workspace& m_workspace;
    bool m_showAPIKeySheet = false;
    std::optional<MuxAsset> m_selectedAsset;
    std::optional<QUrl> m_selectedLocalVideo;
    PlatformConfig m_config;
};

} // namespace clipferry
