#include "UploadViewModel.h"

#include "CredentialStore.h"
#include "DetachedTask.h"
#include "FileAttributes.h"
#include "MuxClient.h"
#include "StateFolder.h"
#include "UploadQueue.h"

#include <QCoro/QCoroSignal>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QUuid>
#include <clipferry/BuildConfig.h>
#include <cstdio>

namespace clipferry {
namespace {

// Reads a seen-state file; anything missing or undecodable yields nothing, silently.
template <typename State, typename Decode>
std::optional<State> readStateFile(const QString& fileName, Decode decode) {
    const auto path = stateFileURL(fileName);
    if (!QFileInfo::exists(path))
        return std::nullopt;
    auto bytes = readWholeFile(path);
    if (!bytes)
        return std::nullopt;
    auto state = decode(*bytes);
    if (!state)
        return std::nullopt;
    return *state;
}

} // namespace

UploadViewModel::Options UploadViewModel::defaultOptions() {
    Options options;
    options.apiBase = QUrl(QString::fromUtf8(build::muxApiBase));
    options.streamBase = QUrl(QString::fromUtf8(build::muxStreamBase));
    options.sheetWebAppUrl = QUrl(QString::fromUtf8(build::sheetWebAppUrl));
    options.client.apiBase = options.apiBase;
    return options;
}

UploadViewModel::UploadViewModel(const PlatformConfig& config, QNetworkAccessManager& network,
                                 const CredentialStore& credentials, Options options,
                                 QObject* parent)
    : QObject(parent)
    , m_mux(std::make_unique<MuxClient>(network, options.client))
    , m_config(config)
    , m_network(network)
    , m_credentials(credentials)
    , m_options(std::move(options)) {
    UploadQueue::Hooks hooks;
    hooks.beforeItem = [this] {
        return prepareUpload();
    };
    hooks.afterBatch = [this] {
        return completeUploadBatch();
    };
    hooks.log = [this](const QString& message) {
        appendLog(message);
    };
    hooks.assetCreated = [this](const QString& assetID) {
        markUploadedAssetNew(assetID);
    };
    m_uploadQueue = std::make_unique<UploadQueue>(
        *m_mux,
        UploadQueue::Options{m_options.streamBase, m_options.maxConcurrentUploads,
                             stateFileURL(QString::fromLatin1(uploadJournalFileName))},
        std::move(hooks));
    connect(this, &UploadViewModel::credentialsChanged, this,
            &UploadViewModel::resumeUnfinishedUploads);
    connect(m_uploadQueue.get(), &UploadQueue::itemAppended, this,
            &UploadViewModel::uploadAppended);
    connect(m_uploadQueue.get(), &UploadQueue::itemChanged, this, &UploadViewModel::uploadChanged);
    // The keychain answers asynchronously; the sheet decision and readiness follow it.
    keep(loadCredentialsAndBecomeReady());
    loadCityMap();

    const double now = currentTimeSeconds();
    m_savedLocalState = readStateFile<LocalVideoState>(QString::fromLatin1(localVideoStateFileName),
                                                       decodeLocalVideoState);
    if (!m_savedLocalState)
        m_savedLocalState = LocalVideoState{now, {}};
    auto log = [this](const QString& message) {
        appendLog(message);
    };
    m_library = std::make_unique<LibrarySync>(
        *m_mux, log,
        readStateFile<MuxState>(QString::fromLatin1(muxStateFileName), decodeMuxState));
    connect(m_library.get(), &LibrarySync::existingAssetsChanged, this,
            &UploadViewModel::existingAssetsChanged);
    connect(m_library.get(), &LibrarySync::changedMuxAssetsChanged, this,
            &UploadViewModel::changedMuxAssetsChanged);
    connect(m_library.get(), &LibrarySync::isRefreshingChanged, this,
            &UploadViewModel::isRefreshingChanged);
    m_sheet = std::make_unique<SheetExporter>(
        network, SheetExporter::Options{m_options.sheetWebAppUrl, m_options.streamBase},
        [this](bool afterChange) { return listForExport(afterChange); }, log);
}

UploadViewModel::~UploadViewModel() = default;

void UploadViewModel::keep(QCoro::Task<> task) {
    runDetached(std::move(task));
}

void UploadViewModel::post(std::function<void()> job) {
    QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
}

QCoro::Task<> UploadViewModel::loadCredentialsAndBecomeReady() {
    QPointer self(this);
    co_await loadSettings();
    if (!self)
        co_return;
    if (m_tokenID.isEmpty() || m_tokenSecret.isEmpty())
        setShowAPIKeySheet(true);
    m_ready = true;
    Q_EMIT ready();
    if (self)
        resumeUnfinishedUploads();
}

void UploadViewModel::resumeUnfinishedUploads() {
    // Once, and with credentials: without them every request would fail for nothing.
    if (m_uploadsResumed || !m_ready || m_tokenID.isEmpty() || m_tokenSecret.isEmpty())
        return;
    m_uploadsResumed = true;
    m_uploadQueue->resumeUnfinished();
}

QCoro::Task<> UploadViewModel::waitUntilReady() {
    if (!m_ready)
        co_await qCoro(this, &UploadViewModel::ready);
}

// --- upload batches: forwards to the queue ------------------------------------------

const QList<UploadItem>& UploadViewModel::uploads() const {
    return m_uploadQueue->items();
}

qint64 UploadViewModel::pendingBatchUploads() const {
    return m_uploadQueue->pendingBatchUploads();
}

qint64 UploadViewModel::completedBatchUploads() const {
    return m_uploadQueue->completedBatchUploads();
}

void UploadViewModel::startUploadBatch(const QList<QUrl>& files) {
    m_uploadQueue->startUploadBatch(files);
}

QCoro::Task<> UploadViewModel::processUpload(qsizetype index) {
    return m_uploadQueue->processUpload(index);
}

void UploadViewModel::setUploadStatus(qsizetype index, UploadStatus status, double progress) {
    m_uploadQueue->setUploadStatus(index, status, progress);
}

QCoro::Task<> UploadViewModel::finishBatchItem() {
    return m_uploadQueue->finishBatchItem();
}

QCoro::Task<> UploadViewModel::prepareUpload() {
    QPointer self(this);
    co_await waitUntilReady();
    if (self)
        m_mux->setCredentials(m_tokenID, m_tokenSecret);
}

QCoro::Task<> UploadViewModel::completeUploadBatch() {
    QPointer self(this);
    co_await refreshLibrary();
    if (!self)
        co_return;
    co_await exportAfterLibraryChange();
}

void UploadViewModel::markUploadedAssetNew(const QString& assetID) {
    m_library->markAssetNew(assetID);
    appendLog(QStringLiteral("Marked uploaded asset as new: ") + assetID);
}

// --- core --------------------------------------------------------------------------

void UploadViewModel::appendLog(const QString& message) {
    const QByteArray line = "[Clipferry] " + message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fflush(stdout);
    post([this, message] {
        m_log.append(LogEntry{QUuid::createUuid(), message});
        Q_EMIT logAppended(m_log.constLast());
    });
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
    QPointer self(this);
    // The preference is synchronous, so it is in place before construction returns.
    m_useMaxResolution = QSettings().value(QLatin1String(useMaxResolutionKey), false).toBool();
    const auto& store = m_credentials;
    auto id = co_await store.readKeychainString(QString::fromLatin1(tokenIDAccount));
    if (!self)
        co_return;
    auto secret = co_await store.readKeychainString(QString::fromLatin1(tokenSecretAccount));
    if (!self)
        co_return;
    m_tokenID = id.value_or(QString());
    m_tokenSecret = secret.value_or(QString());
    Q_EMIT credentialsChanged();
}

QCoro::Task<> UploadViewModel::saveSettings() {
    QPointer self(this);
    const QString id = m_tokenID;
    const QString secret = m_tokenSecret;
    QSettings().setValue(QLatin1String(useMaxResolutionKey), m_useMaxResolution);
    const auto& store = m_credentials;
    auto savedID = co_await store.saveKeychainString(QString::fromLatin1(tokenIDAccount), id);
    if (!self)
        co_return;
    auto savedSecret =
        co_await store.saveKeychainString(QString::fromLatin1(tokenSecretAccount), secret);
    if (!self)
        co_return;
    // A silent failure would let the user believe the tokens are stored.
    if (!savedID)
        appendLog(QStringLiteral("Failed to save credentials: ") + savedID.error().message);
    else if (!savedSecret)
        appendLog(QStringLiteral("Failed to save credentials: ") + savedSecret.error().message);
}

// --- seen-state --------------------------------------------------------------------

void UploadViewModel::saveLocalVideoState() {
    if (!m_savedLocalState)
        return;
    auto written = writeFileAtomically(stateFileURL(QString::fromLatin1(localVideoStateFileName)),
                                       encodeLocalVideoState(*m_savedLocalState));
    if (!written)
        appendLog(QStringLiteral("Failed to save local video state: ") + written.error().message);
}

// --- library and sheet -------------------------------------------------------------

void UploadViewModel::saveMuxState() {
    m_library->saveMuxState();
}

QCoro::Task<> UploadViewModel::refreshLibrary() {
    QPointer self(this);
    m_library->beginRefresh();
    if (m_provider == VideoProvider::localFolder) {
        loadLocalVideos();
        m_library->endRefresh();
        appendLog(
            QStringLiteral("Loaded %1 videos from local folder.").arg(m_localVideoURLs.size()));
        co_return;
    }
    // The first listing needs the tokens, which the secret store hands over asynchronously.
    co_await waitUntilReady();
    if (!self)
        co_return;
    co_await m_library->refreshService(m_tokenID, m_tokenSecret);
}

void UploadViewModel::refreshIfNeverListed() {
    if (m_provider == VideoProvider::webMux && !lastCompleteListing() && !isRefreshing())
        startRefreshLibrary();
}

void UploadViewModel::detectChangedMuxAssets(const QList<MuxAsset>& assets) {
    m_library->detectChangedMuxAssets(assets);
}

void UploadViewModel::markAssetSeen(const QString& assetID) {
    m_library->markAssetSeen(assetID);
}

void UploadViewModel::markAllSeen() {
    const double now = currentTimeSeconds();
    m_library->markAllSeen(now);
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
        co_await m_library->deleteAsset(*m_selectedAsset, m_tokenID, m_tokenSecret);
    if (!self || !deleted)
        co_return;
    co_await refreshLibrary();
    if (!self)
        co_return;
    setSelectedAsset(std::nullopt);
    appendLog(QStringLiteral("Updating Google Sheet\u2026"));
    co_await exportAfterLibraryChange();
}

QString UploadViewModel::buildSheetCSV() const {
    return m_sheet->buildSheetCSV(lastCompleteListing().value_or(QList<MuxAsset>{}));
}

QCoro::Task<Result<QList<MuxAsset>>> UploadViewModel::listForExport(bool afterChange) {
    QPointer self(this);
    if (afterChange && m_provider == VideoProvider::localFolder)
        (void)co_await m_library->listAll(m_tokenID, m_tokenSecret);
    if (!self || !lastCompleteListing())
        co_return fail(errorDomain::sheet, libraryNotListedCode,
                       QStringLiteral("the service library could not be listed"));
    co_return *lastCompleteListing();
}

QCoro::Task<> UploadViewModel::updateGoogleSheets() {
    return m_sheet->updateGoogleSheets();
}

// --- city map ----------------------------------------------------------------------

QString UploadViewModel::cityMapFileURL() const {
    return stateFolderPath() + QStringLiteral("/CityMap.json");
}

void UploadViewModel::ensureCityMapFolder() const {
    const auto folder = stateFolderPath();
    if (!QFileInfo::exists(folder))
        (void)QDir().mkpath(folder);
}

void UploadViewModel::loadCityMap() {
    ensureCityMapFolder();
    const auto path = cityMapFileURL();
    if (QFileInfo::exists(path)) {
        auto decoded = readWholeFile(path).and_then(decodeCityMap);
        if (decoded) {
            setCityMap(std::move(*decoded));
            appendLog(QStringLiteral("Loaded city map from file."));
            return;
        }
        appendLog(QStringLiteral("Failed to load city map: ") + decoded.error().message +
                  QStringLiteral(". Using defaults."));
        // One typo must not cost the user a hand-edited table: keep the bad file aside
        // before the defaults replace it.
        const auto backup = path + QStringLiteral(".bak");
        QFile::remove(backup);
        if (QFile::copy(path, backup))
            appendLog(QStringLiteral("Kept the unreadable city map as CityMap.json.bak."));
    }
    setCityMap(defaultCityMap());
    saveCityMap();
    appendLog(QStringLiteral("City map initialized with defaults."));
}

void UploadViewModel::saveCityMap() {
    ensureCityMapFolder();
    auto written = writeFileAtomically(cityMapFileURL(), encodeCityMap(m_cityMap));
    if (written)
        appendLog(QStringLiteral("Saved city map."));
    else
        appendLog(QStringLiteral("Failed to save city map: ") + written.error().message);
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
    Q_EMIT providerChanged(provider);
}

void UploadViewModel::setTokenID(const QString& tokenID) {
    if (m_tokenID == tokenID)
        return;
    m_tokenID = tokenID;
    Q_EMIT credentialsChanged();
}

void UploadViewModel::setTokenSecret(const QString& tokenSecret) {
    if (m_tokenSecret == tokenSecret)
        return;
    m_tokenSecret = tokenSecret;
    Q_EMIT credentialsChanged();
}

void UploadViewModel::setUseMaxResolution(bool use) {
    if (m_useMaxResolution == use)
        return;
    m_useMaxResolution = use;
    Q_EMIT credentialsChanged();
}

void UploadViewModel::setSelectedAsset(std::optional<MuxAsset> asset) {
    m_selectedAsset = std::move(asset);
    Q_EMIT selectedAssetChanged();
}

void UploadViewModel::setLocalFolderURL(std::optional<QUrl> folder) {
    m_localFolderURL = std::move(folder);
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

void UploadViewModel::setCityMap(CityMap map) {
    m_cityMap = std::move(map);
    Q_EMIT cityMapChanged();
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
