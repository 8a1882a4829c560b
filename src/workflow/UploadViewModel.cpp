#include "workflow/UploadViewModel.h"

#include "model/DetachedTask.h"
#include "model/StoredFile.h"
#include "service/BandwidthLimiter.h"
#include "service/MuxClient.h"
#include "workflow/ActivityLog.h"
#include "workflow/CityTable.h"
#include "workflow/Credentials.h"
#include "workflow/DeliveryLedger.h"
#include "workflow/DeliveryTracker.h"
#include "workflow/FileAttributes.h"
#include "workflow/LibrarySync.h"
#include "workflow/LocalFolder.h"
#include "workflow/SheetExporter.h"
#include "workflow/UploadQueue.h"

#include <QCoro/QCoroSignal>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QUuid>
#include <clipferry/BuildConfig.h>
#include <cstdio>

namespace clipferry {

UploadViewModel::UploadViewModel(const PlatformConfig& config, Workspace& workspace,
                                 QObject* parent)
    : QObject(parent)
    , m_workspace(workspace)
    , m_config(config) {
    auto& credentials = workspace.credentials();
    connect(&workspace.log(), &ActivityLog::appended, this, &UploadViewModel::logAppended);
    connect(&credentials, &Credentials::changed, this, [this](Credentials::Key key) {
        if (key != Credentials::Key::tokens)
            return;
        Q_EMIT credentialsChanged();
        resumeUnfinishedUploads();
    });
    connect(&credentials, &Credentials::loaded, this, &UploadViewModel::takeLoadedCredentials);
    auto& queue = workspace.uploadQueue();
    connect(&queue, &UploadQueue::itemAppended, this, &UploadViewModel::uploadAppended);
    connect(&queue, &UploadQueue::itemChanged, this, &UploadViewModel::uploadChanged);
    connect(&queue, &UploadQueue::batchFinished, this,
            [this] { runDetached(completeUploadBatch()); });
    connect(&workspace.sheetExporter(), &SheetExporter::exportFinished, this,
            &UploadViewModel::sheetExportFinished);
    if (auto* cities = workspace.cityTable())
        connect(cities, &CityTable::changed, this, &UploadViewModel::cityMapChanged);

    auto& folder = workspace.localFolder();
    connect(&folder, &LocalFolder::folderChanged, this, &UploadViewModel::localFolderChanged);
    connect(&folder, &LocalFolder::videoURLsChanged, this, &UploadViewModel::localVideoURLsChanged);
    connect(&folder, &LocalFolder::changedVideosChanged, this,
            &UploadViewModel::changedLocalVideosChanged);
    connect(&folder, &LocalFolder::metadataChanged, this, &UploadViewModel::localMetadataChanged);
    auto& library = workspace.library();
    connect(&library, &LibrarySync::existingAssetsChanged, this,
            &UploadViewModel::existingAssetsChanged);
    connect(&library, &LibrarySync::changedMuxAssetsChanged, this,
            &UploadViewModel::changedMuxAssetsChanged);
    connect(&library, &LibrarySync::isRefreshingChanged, this,
            &UploadViewModel::isRefreshingChanged);
    connect(&library, &LibrarySync::showsCachedListingChanged, this,
            &UploadViewModel::showsCachedListingChanged);
    connect(&library, &LibrarySync::listingNoticeChanged, this,
            &UploadViewModel::listingNoticeChanged);
    restoreKeptSettings();
    if (credentials.isLoaded())
        takeLoadedCredentials();
}

namespace {
constexpr auto uploadsAtOnceKey = "uploadsAtOnce";
constexpr auto uploadLimitKey = "uploadLimitMBps";
constexpr auto providerKey = "source";
constexpr auto localFolderKey = "localFolder";
} // namespace

void UploadViewModel::restoreKeptSettings() {
    const QSettings settings;
    m_workspace.uploadQueue().setMaxConcurrent(
        settings.value(QLatin1String(uploadsAtOnceKey), m_workspace.options().maxConcurrentUploads)
            .toInt());
    m_uploadLimitMBps =
        std::max(0.0, settings.value(QLatin1String(uploadLimitKey), 0.0).toDouble());
    m_workspace.client().bandwidth().setRate(static_cast<qint64>(m_uploadLimitMBps * 1e6));
    // A command-line run neither takes nor changes the window's source.
    if (m_workspace.options().headless)
        return;
    const QString folder = settings.value(QLatin1String(localFolderKey)).toString();
    if (!folder.isEmpty())
        m_workspace.localFolder().setFolderURL(QUrl::fromLocalFile(folder));
    if (settings.value(QLatin1String(providerKey)).toString() == QLatin1String("localFolder") &&
        localFolderURL())
        m_provider = VideoProvider::localFolder;
    m_workspace.delivery().setFolderShown(m_provider == VideoProvider::localFolder);
}

int UploadViewModel::uploadsAtOnce() const {
    return m_workspace.uploadQueue().maxConcurrent();
}

void UploadViewModel::setUploadsAtOnce(int count) {
    m_workspace.uploadQueue().setMaxConcurrent(count);
    QSettings().setValue(QLatin1String(uploadsAtOnceKey),
                         m_workspace.uploadQueue().maxConcurrent());
}

void UploadViewModel::setUploadLimitMBps(double megabytesPerSecond) {
    m_uploadLimitMBps = std::max(0.0, megabytesPerSecond);
    m_workspace.client().bandwidth().setRate(static_cast<qint64>(m_uploadLimitMBps * 1e6));
    QSettings().setValue(QLatin1String(uploadLimitKey), m_uploadLimitMBps);
}

UploadViewModel::~UploadViewModel() = default;

void UploadViewModel::post(std::function<void()> job) {
    QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
}

void UploadViewModel::takeLoadedCredentials() {
    setShowAPIKeySheet(m_workspace.credentials().needsKeys());
    Q_EMIT ready();
    resumeUnfinishedUploads();
}

QCoro::Task<> UploadViewModel::reloadCredentials() {
    QPointer self(this);
    co_await m_workspace.credentials().load();
    if (self && m_workspace.credentials().hasTokens())
        refreshIfNeverListed();
}

void UploadViewModel::resumeUnfinishedUploads() {
    // Once, and with credentials: without them every request would fail for nothing. A
    // command-line run takes over only the entries of the files it is given.
    if (m_workspace.options().headless || m_uploadsResumed || !isReady() ||
        !m_workspace.credentials().hasTokens())
        return;
    m_uploadsResumed = true;
    m_workspace.uploadQueue().resumeUnfinished();
}

QCoro::Task<> UploadViewModel::waitUntilReady() {
    return m_workspace.credentials().waitUntilLoaded();
}

bool UploadViewModel::isReady() const {
    return m_workspace.credentials().isLoaded();
}

// --- the workspace's parts ---------------------------------------------------------

const QList<LogEntry>& UploadViewModel::log() const {
    return m_workspace.log().entries();
}

const QString& UploadViewModel::tokenID() const {
    return m_workspace.credentials().tokenID();
}

const QString& UploadViewModel::tokenSecret() const {
    return m_workspace.credentials().tokenSecret();
}

bool UploadViewModel::useMaxResolution() const {
    return m_workspace.credentials().useMaxResolution();
}

const std::optional<QString>& UploadViewModel::credentialsReadError() const {
    return m_workspace.credentials().readError();
}

MuxClient& UploadViewModel::mux() {
    return m_workspace.client();
}

LibrarySync& UploadViewModel::library() {
    return m_workspace.library();
}

SheetExporter& UploadViewModel::sheetExporter() {
    return m_workspace.sheetExporter();
}

DeliveryLedger& UploadViewModel::ledger() const {
    return m_workspace.ledger();
}

DeliveryTracker& UploadViewModel::delivery() const {
    return m_workspace.delivery();
}

const UploadViewModel::Options& UploadViewModel::options() const {
    return m_workspace.options();
}

UploadQueue& UploadViewModel::uploadQueue() {
    return m_workspace.uploadQueue();
}

const UploadQueue& UploadViewModel::uploadQueue() const {
    return m_workspace.uploadQueue();
}

// --- library and sheet: forwards to their owners -----------------------------------

const QList<MuxAsset>& UploadViewModel::existingAssets() const {
    return m_workspace.library().existingAssets();
}

const QList<MuxAsset>& UploadViewModel::shownAssets() const {
    return m_workspace.library().shownAssets();
}

bool UploadViewModel::showsCachedListing() const {
    return m_workspace.library().showsCachedListing();
}

const QString& UploadViewModel::listingNotice() const {
    return m_workspace.library().listingNotice();
}

bool UploadViewModel::isRefreshing() const {
    return m_workspace.library().isRefreshing();
}

const std::optional<MuxState>& UploadViewModel::savedMuxState() const {
    return m_workspace.library().savedMuxState();
}

const QSet<QString>& UploadViewModel::changedMuxAssets() const {
    return m_workspace.library().changedMuxAssets();
}

const std::optional<QList<MuxAsset>>& UploadViewModel::lastCompleteListing() const {
    return m_workspace.library().lastCompleteListing();
}

void UploadViewModel::setExistingAssets(QList<MuxAsset> assets) {
    m_workspace.library().setExistingAssets(std::move(assets));
}

void UploadViewModel::setChangedMuxAssets(QSet<QString> ids) {
    m_workspace.library().setChangedMuxAssets(std::move(ids));
}

QCoro::Task<Result<void>> UploadViewModel::postSheetCSV(QString csv) {
    return m_workspace.sheetExporter().postSheetCSV(std::move(csv));
}

QCoro::Task<> UploadViewModel::exportAfterLibraryChange(std::optional<QList<MuxAsset>> listed) {
    return m_workspace.sheetExporter().exportAfterLibraryChange(std::move(listed));
}

// --- upload batches: forwards to the queue ------------------------------------------

const QList<UploadItem>& UploadViewModel::uploads() const {
    return m_workspace.uploadQueue().items();
}

qint64 UploadViewModel::pendingBatchUploads() const {
    return m_workspace.uploadQueue().pendingBatchUploads();
}

qint64 UploadViewModel::completedBatchUploads() const {
    return m_workspace.uploadQueue().completedBatchUploads();
}

void UploadViewModel::startUploadBatch(const QList<QUrl>& files) {
    m_workspace.uploadQueue().startUploadBatch(files);
}

QCoro::Task<> UploadViewModel::completeUploadBatch() {
    QPointer self(this);
    auto listed = co_await relistLibrary();
    if (!self)
        co_return;
    co_await exportAfterLibraryChange(std::move(listed));
}

void UploadViewModel::markUploadedAssetNew(const QString& assetID) {
    m_workspace.library().markAssetNew(assetID);
    appendLog(QStringLiteral("Marked uploaded asset as new: ") + assetID);
}

// --- core --------------------------------------------------------------------------

void UploadViewModel::appendLog(const QString& message) {
    m_workspace.log().append(message);
}

QList<LocalVideo> UploadViewModel::localVideos() const {
    QList<LocalVideo> videos;
    videos.reserve(localVideoURLs().size());
    for (const auto& url : localVideoURLs())
        videos.append(LocalVideo{url});
    return videos;
}

// --- settings ----------------------------------------------------------------------

QCoro::Task<> UploadViewModel::loadSettings() {
    return m_workspace.credentials().load();
}

bool UploadViewModel::saveWouldClearTokens() const {
    return m_workspace.credentials().saveWouldClearTokens();
}

QCoro::Task<> UploadViewModel::saveSettings(bool clearingConfirmed) {
    return m_workspace.credentials().save(clearingConfirmed);
}

// --- seen-state --------------------------------------------------------------------

void UploadViewModel::saveLocalVideoState() {
    m_workspace.localFolder().saveState();
}

// --- library and sheet -------------------------------------------------------------

void UploadViewModel::saveMuxState() {
    m_workspace.library().saveMuxState();
}

QCoro::Task<> UploadViewModel::refreshLibrary() {
    (void)co_await relistLibrary();
}

QCoro::Task<std::optional<QList<MuxAsset>>> UploadViewModel::relistLibrary() {
    QPointer self(this);
    m_workspace.library().beginRefresh();
    if (m_provider == VideoProvider::localFolder) {
        co_await loadLocalVideos();
        if (!self)
            co_return std::nullopt;
        m_workspace.library().endRefresh();
        appendLog(
            QStringLiteral("Loaded %1 videos from local folder.").arg(localVideoURLs().size()));
        co_return std::nullopt;
    }
    // The first listing needs the tokens, which the secret store hands over asynchronously.
    co_await waitUntilReady();
    if (!self)
        co_return std::nullopt;
    const auto& credentials = m_workspace.credentials();
    auto listed = co_await m_workspace.library().refreshService(credentials.tokenID(),
                                                                credentials.tokenSecret());
    if (!listed)
        co_return std::nullopt;
    co_return std::move(*listed);
}

void UploadViewModel::refreshIfNeverListed() {
    if (m_provider == VideoProvider::webMux && !lastCompleteListing() && !isRefreshing())
        startRefreshLibrary();
}

void UploadViewModel::detectChangedMuxAssets(const QList<MuxAsset>& assets) {
    m_workspace.library().detectChangedMuxAssets(assets);
}

void UploadViewModel::markAssetSeen(const QString& assetID) {
    m_workspace.library().markAssetSeen(assetID);
}

void UploadViewModel::markAllSeen() {
    const double now = currentTimeSeconds();
    m_workspace.library().markAllSeen(now);
    m_workspace.localFolder().markAllSeen(now);
    appendLog(QStringLiteral("Marked all videos as seen"));
}

QCoro::Task<> UploadViewModel::deleteSelectedAsset() {
    if (!m_selectedAsset) {
        appendLog(QStringLiteral("No asset selected to delete."));
        co_return;
    }
    QPointer self(this);
    const bool deleted =
        co_await m_workspace.library().deleteAsset(*m_selectedAsset, tokenID(), tokenSecret());
    if (!self || !deleted)
        co_return;
    auto listed = co_await relistLibrary();
    if (!self)
        co_return;
    setSelectedAsset(std::nullopt);
    appendLog(QStringLiteral("Updating Google Sheet\u2026"));
    co_await exportAfterLibraryChange(std::move(listed));
}

QCoro::Task<> UploadViewModel::saveSheetKey(QString key) {
    QPointer self(this);
    auto saved = co_await m_workspace.credentials().saveSheetKey(std::move(key));
    if (self && !saved)
        appendLog(QStringLiteral("Failed to save the sheet key: ") + saved.error().message);
}

QCoro::Task<> UploadViewModel::updateGoogleSheets() {
    return m_workspace.sheetExporter().updateGoogleSheets();
}

// --- city map ----------------------------------------------------------------------

const CityMap& UploadViewModel::cityMap() const {
    static const CityMap none;
    return m_workspace.cityTable() ? m_workspace.cityTable()->map() : none;
}

void UploadViewModel::setCityMap(CityMap map) {
    if (m_workspace.cityTable())
        m_workspace.cityTable()->setMap(std::move(map));
}

void UploadViewModel::saveCityMap() {
    if (m_workspace.cityTable())
        m_workspace.cityTable()->save();
}

// --- plain field setters -----------------------------------------------------------

void UploadViewModel::setShowAPIKeySheet(bool show) {
    if (m_showAPIKeySheet == show)
        return;
    m_showAPIKeySheet = show;
    Q_EMIT showAPIKeySheetChanged(show);
}

void UploadViewModel::setProvider(VideoProvider provider) {
    if (m_provider == provider)
        return;
    m_provider = provider;
    if (!m_workspace.options().headless)
        QSettings().setValue(QLatin1String(providerKey), provider == VideoProvider::localFolder
                                                             ? QStringLiteral("localFolder")
                                                             : QStringLiteral("webMux"));
    m_workspace.delivery().setFolderShown(provider == VideoProvider::localFolder);
    Q_EMIT providerChanged(provider);
}

void UploadViewModel::setTokenID(const QString& tokenID) {
    m_workspace.credentials().setTokenID(tokenID);
}

void UploadViewModel::setTokenSecret(const QString& tokenSecret) {
    m_workspace.credentials().setTokenSecret(tokenSecret);
}

void UploadViewModel::setUseMaxResolution(bool use) {
    m_workspace.credentials().setUseMaxResolution(use);
}

void UploadViewModel::setSelectedAsset(std::optional<MuxAsset> asset) {
    m_selectedAsset = std::move(asset);
    Q_EMIT selectedAssetChanged();
}

void UploadViewModel::setLocalFolderURL(std::optional<QUrl> folder) {
    if (!m_workspace.options().headless)
        QSettings().setValue(QLatin1String(localFolderKey),
                             folder ? folder->toLocalFile() : QString());
    m_workspace.localFolder().setFolderURL(std::move(folder));
}

void UploadViewModel::setSelectedLocalVideo(std::optional<QUrl> file) {
    m_selectedLocalVideo = std::move(file);
    Q_EMIT selectedLocalVideoChanged();
}

void UploadViewModel::setIncludeSubfolders(bool include) {
    m_workspace.localFolder().setIncludeSubfolders(include);
}

void UploadViewModel::setDeliverNewClips(bool deliver) {
    if (m_deliverNewClips == deliver)
        return;
    m_deliverNewClips = deliver;
    Q_EMIT deliverNewClipsChanged();
}

void UploadViewModel::setReplaceChangedClips(bool replace) {
    if (m_replaceChangedClips == replace)
        return;
    m_replaceChangedClips = replace;
    Q_EMIT deliverNewClipsChanged();
}

// --- local folder ------------------------------------------------------------------

const std::optional<QUrl>& UploadViewModel::localFolderURL() const {
    return m_workspace.localFolder().folderURL();
}

const QList<QUrl>& UploadViewModel::localVideoURLs() const {
    return m_workspace.localFolder().videoURLs();
}

bool UploadViewModel::includeSubfolders() const {
    return m_workspace.localFolder().includeSubfolders();
}

const std::optional<LocalVideoState>& UploadViewModel::savedLocalState() const {
    return m_workspace.localFolder().savedState();
}

const QSet<QUrl>& UploadViewModel::changedLocalVideos() const {
    return m_workspace.localFolder().changedVideos();
}

void UploadViewModel::setFixtureLocalVideos(QList<QUrl> files, QSet<QUrl> changedFiles) {
    m_workspace.localFolder().setFixture(std::move(files), std::move(changedFiles));
}

QCoro::Task<> UploadViewModel::loadLocalVideos() {
    return m_workspace.localFolder().load();
}

QCoro::Task<> UploadViewModel::selectLocalFolder(QUrl folder) {
    if (!m_workspace.options().headless)
        QSettings().setValue(QLatin1String(localFolderKey), folder.toLocalFile());
    return m_workspace.localFolder().select(std::move(folder));
}

QCoro::Task<> UploadViewModel::reloadLocalFolder() {
    return m_workspace.localFolder().reload();
}

void UploadViewModel::markLocalVideoSeen(const QUrl& file) {
    m_workspace.localFolder().markSeen(file);
}

void UploadViewModel::setMetadataThreadPool(QThreadPool* pool) {
    m_workspace.localFolder().setMetadataThreadPool(pool);
}

} // namespace clipferry
