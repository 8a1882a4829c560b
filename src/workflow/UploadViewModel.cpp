#include "workflow/UploadViewModel.h"

#include "model/DetachedTask.h"
#include "workflow/ActivityLog.h"
#include "workflow/AutoDelivery.h"
#include "workflow/CityTable.h"
#include "workflow/Credentials.h"
#include "workflow/DeliveryTracker.h"
#include "workflow/LibrarySource.h"
#include "workflow/LibrarySync.h"
#include "workflow/LocalFolder.h"
#include "workflow/SheetExporter.h"
#include "workflow/TransferSettings.h"
#include "workflow/UploadQueue.h"

namespace clipferry {

UploadViewModel::UploadViewModel(const PlatformConfig& config, Workspace& workspace,
                                 QObject* parent)
    : QObject(parent)
    , m_workspace(workspace)
    , m_config(config) {
    auto& credentials = workspace.credentials();
    connect(&workspace.log(), &ActivityLog::appended, this, &UploadViewModel::logAppended);
    connect(&credentials, &Credentials::changed, this, [this](Credentials::Key key) {
        if (key == Credentials::Key::tokens)
            Q_EMIT credentialsChanged();
    });
    connect(&credentials, &Credentials::loaded, this, &UploadViewModel::takeLoadedCredentials);
    auto& queue = workspace.uploadQueue();
    connect(&queue, &UploadQueue::itemAppended, this, &UploadViewModel::uploadAppended);
    connect(&queue, &UploadQueue::itemChanged, this, &UploadViewModel::uploadChanged);
    connect(&queue, &UploadQueue::itemAboutToBeRemoved, this,
            &UploadViewModel::uploadAboutToBeRemoved);
    connect(&queue, &UploadQueue::itemRemoved, this, &UploadViewModel::uploadRemoved);
    connect(&queue, &UploadQueue::batchFinished, this, &UploadViewModel::uploadBatchFinished);
    auto& sheet = workspace.sheetExporter();
    connect(&sheet, &SheetExporter::exportFinished, this, &UploadViewModel::sheetExportFinished);
    connect(&sheet, &SheetExporter::webAppUrlChanged, this,
            &UploadViewModel::sheetWebAppUrlChanged);
    connect(&workspace.delivery(), &DeliveryTracker::statesChanged, this,
            &UploadViewModel::deliveryStatesChanged);
    if (auto* cities = workspace.cityTable())
        connect(cities, &CityTable::changed, this, &UploadViewModel::cityMapChanged);
    if (auto* automatic = workspace.autoDelivery())
        connect(automatic, &AutoDelivery::switchesChanged, this,
                &UploadViewModel::deliverNewClipsChanged);

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
    auto& source = workspace.source();
    connect(&source, &LibrarySource::providerChanged, this, &UploadViewModel::providerChanged);
    connect(&source, &LibrarySource::assetDeleted, this, [this](const QString& id) {
        if (m_selectedAsset && m_selectedAsset->id == id)
            setSelectedAsset(std::nullopt);
    });
    // A viewer-only build shows the service library alone.
    if (m_config.isViewerOnly())
        setProvider(VideoProvider::webMux);
    if (credentials.isLoaded())
        takeLoadedCredentials();
}

UploadViewModel::~UploadViewModel() = default;

void UploadViewModel::takeLoadedCredentials() {
    setShowAPIKeySheet(m_workspace.credentials().needsKeys());
}

QCoro::Task<> UploadViewModel::waitUntilReady() {
    return m_workspace.credentials().waitUntilLoaded();
}

bool UploadViewModel::isReady() const {
    return m_workspace.credentials().isLoaded();
}

// --- credentials and settings ------------------------------------------------------

const QString& UploadViewModel::tokenID() const {
    return m_workspace.credentials().tokenID();
}

void UploadViewModel::setTokenID(const QString& tokenID) {
    m_workspace.credentials().setTokenID(tokenID);
}

const QString& UploadViewModel::tokenSecret() const {
    return m_workspace.credentials().tokenSecret();
}

void UploadViewModel::setTokenSecret(const QString& tokenSecret) {
    m_workspace.credentials().setTokenSecret(tokenSecret);
}

bool UploadViewModel::useMaxResolution() const {
    return m_workspace.credentials().useMaxResolution();
}

void UploadViewModel::setUseMaxResolution(bool use) {
    m_workspace.credentials().setUseMaxResolution(use);
}

const std::optional<QString>& UploadViewModel::credentialsReadError() const {
    return m_workspace.credentials().readError();
}

QCoro::Task<> UploadViewModel::loadSettings() {
    return m_workspace.credentials().load();
}

void UploadViewModel::startLoadSettings() {
    runDetached(m_workspace.source().reloadCredentials());
}

bool UploadViewModel::saveWouldClearTokens() const {
    return m_workspace.credentials().saveWouldClearTokens();
}

QCoro::Task<> UploadViewModel::saveSettings(bool clearingConfirmed) {
    return m_workspace.credentials().save(clearingConfirmed);
}

QCoro::Task<> UploadViewModel::saveSheetKey(QString key) {
    (void)co_await m_workspace.credentials().saveSheetKey(std::move(key));
}

int UploadViewModel::uploadsAtOnce() const {
    return m_workspace.transferSettings().uploadsAtOnce();
}

void UploadViewModel::setUploadsAtOnce(int count) {
    m_workspace.transferSettings().setUploadsAtOnce(count);
}

double UploadViewModel::uploadLimitMBps() const {
    return m_workspace.transferSettings().limitMBps();
}

void UploadViewModel::setUploadLimitMBps(double megabytesPerSecond) {
    m_workspace.transferSettings().setLimitMBps(megabytesPerSecond);
}

const QUrl& UploadViewModel::streamBase() const {
    return m_workspace.options().streamBase;
}

void UploadViewModel::appendLog(const QString& message) {
    m_workspace.log().append(message);
}

const QList<LogEntry>& UploadViewModel::log() const {
    return m_workspace.log().entries();
}

// --- the source on view ------------------------------------------------------------

VideoProvider UploadViewModel::provider() const {
    return m_workspace.source().provider();
}

void UploadViewModel::setProvider(VideoProvider provider) {
    m_workspace.source().setProvider(provider);
}

QCoro::Task<> UploadViewModel::refreshLibrary() {
    return m_workspace.source().refresh();
}

void UploadViewModel::refreshIfNeverListed() {
    m_workspace.source().refreshIfNeverListed();
}

void UploadViewModel::markAllSeen() {
    m_workspace.source().markAllSeen();
}

QCoro::Task<> UploadViewModel::deleteSelectedAsset() {
    if (!m_selectedAsset) {
        appendLog(QStringLiteral("No asset selected to delete."));
        co_return;
    }
    co_await m_workspace.source().deleteAsset(*m_selectedAsset);
}

void UploadViewModel::startDeleteAsset(MuxAsset confirmed) {
    runDetached(m_workspace.source().deleteAsset(std::move(confirmed)));
}

// --- the service library -----------------------------------------------------------

const QList<MuxAsset>& UploadViewModel::existingAssets() const {
    return m_workspace.library().existingAssets();
}

const QList<MuxAsset>& UploadViewModel::shownAssets() const {
    return m_workspace.library().shownAssets();
}

bool UploadViewModel::showsCachedListing() const {
    return m_workspace.library().showsCachedListing();
}

const Grouping<MuxAsset>* UploadViewModel::shownGrouping() const {
    return m_workspace.library().shownGrouping();
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

void UploadViewModel::loadKeptListing() {
    m_workspace.library().loadKeptListing();
}

void UploadViewModel::detectChangedMuxAssets(const QList<MuxAsset>& assets) {
    m_workspace.library().detectChangedMuxAssets(assets);
}

void UploadViewModel::markAssetSeen(const QString& assetID) {
    m_workspace.library().markAssetSeen(assetID);
}

void UploadViewModel::markUploadedAssetNew(const QString& assetID) {
    m_workspace.library().markAssetNew(assetID);
}

void UploadViewModel::saveMuxState() {
    m_workspace.library().saveMuxState();
}

void UploadViewModel::setFixtureLibrary(QList<MuxAsset> assets, QSet<QString> changedAssets) {
    m_workspace.library().setChangedMuxAssets(std::move(changedAssets));
    m_workspace.library().setExistingAssets(std::move(assets));
}

// --- the sheet ---------------------------------------------------------------------

QCoro::Task<Result<void>> UploadViewModel::postSheetCSV(QString csv) {
    return m_workspace.sheetExporter().postSheetCSV(std::move(csv));
}

QCoro::Task<> UploadViewModel::updateGoogleSheets() {
    return m_workspace.sheetExporter().updateGoogleSheets();
}

const QUrl& UploadViewModel::sheetWebAppUrl() const {
    return m_workspace.sheetExporter().webAppUrl();
}

const std::optional<QString>& UploadViewModel::sheetAddressProblem() const {
    return m_workspace.sheetExporter().addressProblem();
}

Result<void> UploadViewModel::setSheetWebAppUrl(const QString& text) {
    return m_workspace.sheetExporter().setWebAppUrl(text);
}

// --- upload batches ----------------------------------------------------------------

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

QList<UploadQueue::RowAction> UploadViewModel::uploadActions(qsizetype row) const {
    return m_workspace.uploadQueue().actions(row);
}

void UploadViewModel::performUploadAction(qsizetype row, UploadQueue::RowAction action) {
    m_workspace.uploadQueue().perform(row, action);
}

QString UploadViewModel::uploadTotalsText() const {
    return m_workspace.uploadQueue().totalsText();
}

int UploadViewModel::activeUploadCount() const {
    return m_workspace.uploadQueue().activeCount();
}

int UploadViewModel::failedUploadCount() const {
    return m_workspace.uploadQueue().failedCount();
}

void UploadViewModel::pauseOrResumeAllUploads() {
    m_workspace.uploadQueue().pauseOrResumeAll();
}

void UploadViewModel::retryAllFailedUploads() {
    m_workspace.uploadQueue().retryAllFailed();
}

void UploadViewModel::clearFinishedUploads() {
    m_workspace.uploadQueue().clearFinished();
}

std::optional<QString> UploadViewModel::quitQuestion() const {
    return m_workspace.uploadQueue().quitQuestion();
}

QCoro::Task<std::optional<DeliveryTracker::DropQuestion>>
UploadViewModel::dropFiles(QList<QUrl> items) {
    return m_workspace.delivery().dropFiles(std::move(items));
}

void UploadViewModel::answerDrop(const DeliveryTracker::DropQuestion& question, int answer) {
    m_workspace.delivery().answerDrop(question, answer);
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

// --- the view's own fields ---------------------------------------------------------

void UploadViewModel::setShowAPIKeySheet(bool show) {
    if (m_showAPIKeySheet == show)
        return;
    m_showAPIKeySheet = show;
    Q_EMIT showAPIKeySheetChanged(show);
}

void UploadViewModel::setSelectedAsset(std::optional<MuxAsset> asset) {
    m_selectedAsset = std::move(asset);
    Q_EMIT selectedAssetChanged();
}

void UploadViewModel::setSelectedLocalVideo(std::optional<QUrl> file) {
    m_selectedLocalVideo = std::move(file);
    Q_EMIT selectedLocalVideoChanged();
}

bool UploadViewModel::deliverNewClips() const {
    const auto* automatic = m_workspace.autoDelivery();
    return automatic && automatic->deliverNewClips();
}

void UploadViewModel::setDeliverNewClips(bool deliver) {
    if (auto* automatic = m_workspace.autoDelivery())
        automatic->setDeliverNewClips(deliver);
}

bool UploadViewModel::replaceChangedClips() const {
    const auto* automatic = m_workspace.autoDelivery();
    return automatic && automatic->replaceChangedClips();
}

void UploadViewModel::setReplaceChangedClips(bool replace) {
    if (auto* automatic = m_workspace.autoDelivery())
        automatic->setReplaceChangedClips(replace);
}

// --- local folder ------------------------------------------------------------------

const std::optional<QUrl>& UploadViewModel::localFolderURL() const {
    return m_workspace.localFolder().folderURL();
}

void UploadViewModel::setLocalFolderURL(std::optional<QUrl> folder) {
    m_workspace.source().setFolderURL(std::move(folder));
}

void UploadViewModel::startSelectLocalFolder(QUrl folder) {
    runDetached(m_workspace.source().selectFolder(std::move(folder)));
}

const QList<QUrl>& UploadViewModel::localVideoURLs() const {
    return m_workspace.localFolder().videoURLs();
}

QList<LocalVideo> UploadViewModel::localVideos() const {
    QList<LocalVideo> videos;
    videos.reserve(localVideoURLs().size());
    for (const auto& url : localVideoURLs())
        videos.append(LocalVideo{url});
    return videos;
}

bool UploadViewModel::includeSubfolders() const {
    return m_workspace.localFolder().includeSubfolders();
}

void UploadViewModel::setIncludeSubfolders(bool include) {
    m_workspace.localFolder().setIncludeSubfolders(include);
}

const std::optional<LocalVideoState>& UploadViewModel::savedLocalState() const {
    return m_workspace.localFolder().savedState();
}

const QSet<QUrl>& UploadViewModel::changedLocalVideos() const {
    return m_workspace.localFolder().changedVideos();
}

QCoro::Task<> UploadViewModel::loadLocalVideos() {
    return m_workspace.localFolder().load();
}

void UploadViewModel::markLocalVideoSeen(const QUrl& file) {
    m_workspace.localFolder().markSeen(file);
}

void UploadViewModel::saveLocalVideoState() {
    m_workspace.localFolder().saveState();
}

void UploadViewModel::setMetadataThreadPool(QThreadPool* pool) {
    m_workspace.localFolder().setMetadataThreadPool(pool);
}

void UploadViewModel::setFixtureLocalVideos(QList<QUrl> files, QSet<QUrl> changedFiles) {
    m_workspace.localFolder().setFixture(std::move(files), std::move(changedFiles));
}

DeliveryStatus UploadViewModel::deliveryStatus(const QUrl& file) const {
    return m_workspace.delivery().status(file);
}

qsizetype UploadViewModel::uploadCandidateCount(const QList<QUrl>& shown) const {
    return m_workspace.delivery().uploadCandidates(shown).size();
}

std::optional<DeliveryTracker::DeliveryQuestion>
UploadViewModel::deliverShown(const QList<QUrl>& shown) {
    return m_workspace.delivery().deliverShown(shown);
}

void UploadViewModel::answerDelivery(const DeliveryTracker::DeliveryQuestion& question,
                                     int answer) {
    m_workspace.delivery().answerDelivery(question, answer);
}

} // namespace clipferry
