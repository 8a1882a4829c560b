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
    connect(&queue, &UploadQueue::batchFinished, this, [this] { keep(completeUploadBatch()); });
    queue.setAfterItemDone([this](QUrl fileURL, QString assetID) {
        return m_delivery->afterItemDone(std::move(fileURL), std::move(assetID));
    });
    connect(&workspace.sheetExporter(), &SheetExporter::exportFinished, this,
            &UploadViewModel::sheetExportFinished);
    if (auto* cities = workspace.cityTable())
        connect(cities, &CityTable::changed, this, &UploadViewModel::cityMapChanged);

    m_localStateFile.emplace(stateFilePath(QString::fromLatin1(localVideoStateFileName)),
                             workspace.options().headless ? StoredFile::Access::readOnly
                                                          : StoredFile::Access::readWrite);
    auto loaded = m_localStateFile->load<LocalVideoState>(decodeLocalVideoState);
    if (loaded.failed())
        appendLog(loadFailureLine(loaded, QStringLiteral("local video state"), *m_localStateFile));
    m_savedLocalState =
        loaded.value ? std::move(loaded.value) : LocalVideoState{currentTimeSeconds(), {}};
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
    m_delivery = std::make_unique<DeliveryTracker>(*this, workspace.options().maxListingAge);
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
        m_localFolderURL = QUrl::fromLocalFile(folder);
    if (settings.value(QLatin1String(providerKey)).toString() == QLatin1String("localFolder") &&
        m_localFolderURL)
        m_provider = VideoProvider::localFolder;
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

UploadViewModel::~UploadViewModel() {
    m_localScanStop.request_stop();
}

void UploadViewModel::keep(QCoro::Task<> task) {
    runDetached(std::move(task));
}

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

QCoro::Task<> UploadViewModel::processUpload(qsizetype index) {
    return m_workspace.uploadQueue().processUpload(index);
}

void UploadViewModel::setUploadStatus(qsizetype index, UploadStatus status, double progress) {
    m_workspace.uploadQueue().setUploadStatus(index, status, progress);
}

QCoro::Task<> UploadViewModel::finishBatchItem() {
    return m_workspace.uploadQueue().finishBatchItem();
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
    videos.reserve(m_localVideoURLs.size());
    for (const auto& url : m_localVideoURLs)
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
    if (!m_savedLocalState)
        return;
    auto written = m_localStateFile->save(encodeLocalVideoState(*m_savedLocalState));
    if (!written)
        appendLog(QStringLiteral("Failed to save local video state: ") + written.error().message);
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
            QStringLiteral("Loaded %1 videos from local folder.").arg(m_localVideoURLs.size()));
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
    if (!m_savedLocalState)
        m_savedLocalState = LocalVideoState{now, {}};
    for (const auto& url : std::as_const(m_localVideoURLs)) {
        const auto attributes = readFileAttributes(url.toLocalFile());
        if (!attributes)
            continue;
        m_savedLocalState->fileTimes.insert(url.toLocalFile(),
                                            FileRecord{attributes->modified, attributes->size});
    }
    saveLocalVideoState();
    post([this] { setChangedLocalVideos({}); });
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

QString UploadViewModel::buildSheetCSV() const {
    return m_workspace.sheetExporter().buildSheetCSV(
        lastCompleteListing().value_or(QList<MuxAsset>{}));
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
    m_localFolderURL = std::move(folder);
    if (!m_workspace.options().headless)
        QSettings().setValue(QLatin1String(localFolderKey),
                             m_localFolderURL ? m_localFolderURL->toLocalFile() : QString());
    Q_EMIT localFolderChanged();
}

void UploadViewModel::setSelectedLocalVideo(std::optional<QUrl> file) {
    m_selectedLocalVideo = std::move(file);
    Q_EMIT selectedLocalVideoChanged();
}

void UploadViewModel::setIncludeSubfolders(bool include) {
    if (m_includeSubfolders == include)
        return;
    m_includeSubfolders = include;
    Q_EMIT localFolderChanged();
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

void UploadViewModel::setLocalVideoURLs(QList<QUrl> files) {
    m_localVideoURLs = std::move(files);
    Q_EMIT localVideoURLsChanged();
}

void UploadViewModel::setChangedLocalVideos(QSet<QUrl> files) {
    m_changedLocalVideos = std::move(files);
    Q_EMIT changedLocalVideosChanged();
}

} // namespace clipferry
