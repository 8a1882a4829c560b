#include "workflow/UploadViewModel.h"

#include "model/CredentialStore.h"
#include "model/DetachedTask.h"
#include "model/StateFolder.h"
#include "service/BandwidthLimiter.h"
#include "service/MuxClient.h"
#include "service/NetworkReachability.h"
#include "workflow/DeliveryLedger.h"
#include "workflow/DeliveryTracker.h"
#include "workflow/FileAttributes.h"
#include "workflow/LibrarySync.h"
#include "workflow/ListingCache.h"
#include "workflow/SheetExporter.h"
#include "workflow/UploadJournal.h"
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
namespace {

// Starts from a seen-state file, or from a new state when it is missing or cannot be used.
// A damaged file is kept aside before a save may replace it; one that cannot be read or
// copied is left alone. Returns whether saves may replace the file.
template <typename State, typename Decode>
bool startState(std::optional<State>& state, const char* fileName, const QString& what,
                Decode decode, double now, UploadViewModel& viewModel) {
    const QString name = QString::fromLatin1(fileName);
    auto loaded = loadStoredFile<State>(stateFileURL(name), decode);
    state = loaded.value ? std::move(loaded.value) : std::optional<State>(State{now, {}});
    if (loaded.outcome == LoadedFile<State>::Outcome::unreadable ||
        loaded.outcome == LoadedFile<State>::Outcome::damaged)
        viewModel.appendLog(QStringLiteral("Failed to load %1: %2. ").arg(what, loaded.reason) +
                            (loaded.mayReplace() ? QStringLiteral("Kept it as %1.bak.").arg(name)
                                                 : QStringLiteral("The file is left as it is.")));
    return loaded.mayReplace();
}

} // namespace

UploadViewModel::Options UploadViewModel::defaultOptions() {
    Options options;
    options.apiBase = QUrl(QString::fromUtf8(build::muxApiBase));
    options.streamBase = QUrl(QString::fromUtf8(build::muxStreamBase));
    options.sheetWebAppUrl = QUrl(QString::fromUtf8(build::sheetWebAppUrl));
    options.listingCacheFile = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                               QLatin1Char('/') + QLatin1StringView(listingCacheFileName);
    options.ledgerFile = stateFileURL(QString::fromLatin1(deliveryLedgerFileName));
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
    openLedger();
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
    hooks.afterItemDone = [this](QUrl fileURL, QString assetID) {
        return m_delivery->afterItemDone(std::move(fileURL), std::move(assetID));
    };
    UploadQueue::Options queueOptions{m_options.streamBase, m_options.maxConcurrentUploads,
                                      m_options.writeStateFiles};
    queueOptions.offlineRetryDelay = m_options.client.retryBaseDelay;
    queueOptions.offlineRetryCap = m_options.client.maxResumeDelay;
    if (!m_options.networkReachability) {
        m_options.networkReachability = std::make_shared<NetworkReachability>();
        m_options.networkReachability->followPlatform();
    }
    queueOptions.reachability = m_options.networkReachability.get();
    m_uploadQueue =
        std::make_unique<UploadQueue>(*m_mux, *m_ledger, std::move(queueOptions), std::move(hooks));
    connect(this, &UploadViewModel::credentialsChanged, this,
            &UploadViewModel::resumeUnfinishedUploads);
    connect(m_uploadQueue.get(), &UploadQueue::itemAppended, this,
            &UploadViewModel::uploadAppended);
    connect(m_uploadQueue.get(), &UploadQueue::itemChanged, this, &UploadViewModel::uploadChanged);
    auto log = [this](const QString& message) {
        appendLog(message);
    };
    const auto& client = m_options.client;
    SheetExporter::Options sheet{m_options.sheetWebAppUrl,
                                 m_options.streamBase,
                                 {client.maxRetries, client.retryBaseDelay},
                                 client.transferTimeout,
                                 client.clock,
                                 m_options.fixedSheetKey,
                                 !m_options.writeStateFiles,
                                 m_options.fixedSheetWebAppUrl};
    // An export without a fresh listing lists for itself, with the tokens as they stand then.
    m_sheet = std::make_unique<SheetExporter>(
        network, credentials, std::move(sheet),
        [this] { return m_library->listAll(m_tokenID, m_tokenSecret); }, log);
    connect(m_sheet.get(), &SheetExporter::exportFinished, this,
            &UploadViewModel::sheetExportFinished);
    // The keychain answers asynchronously; the sheet decision and readiness follow it.
    keep(loadCredentialsAndBecomeReady());
    loadCityMap();

    const double now = currentTimeSeconds();
    m_localStateFileReplaceable =
        startState(m_savedLocalState, localVideoStateFileName, QStringLiteral("local video state"),
                   decodeLocalVideoState, now, *this);
    std::optional<MuxState> savedMuxState;
    const bool muxStateFileReplaceable = startState(
        savedMuxState, muxStateFileName, QStringLiteral("mux state"), decodeMuxState, now, *this);
    m_library = std::make_unique<LibrarySync>(*m_mux, log, std::move(savedMuxState),
                                              m_options.listingCacheFile);
    // The command line reads the files the window owns and never writes them, so a run
    // beside the open window cannot undo the window's changes.
    if (!muxStateFileReplaceable || !m_options.writeStateFiles)
        m_library->leaveStateFileAlone();
    connect(m_library.get(), &LibrarySync::existingAssetsChanged, this,
            &UploadViewModel::existingAssetsChanged);
    connect(m_library.get(), &LibrarySync::changedMuxAssetsChanged, this,
            &UploadViewModel::changedMuxAssetsChanged);
    connect(m_library.get(), &LibrarySync::isRefreshingChanged, this,
            &UploadViewModel::isRefreshingChanged);
    connect(m_library.get(), &LibrarySync::showsCachedListingChanged, this,
            &UploadViewModel::showsCachedListingChanged);
    connect(m_library.get(), &LibrarySync::listingNoticeChanged, this,
            &UploadViewModel::listingNoticeChanged);
    m_delivery = std::make_unique<DeliveryTracker>(*this, m_options.maxListingAge);
    restoreKeptSettings();
}

namespace {
constexpr auto uploadsAtOnceKey = "uploadsAtOnce";
constexpr auto uploadLimitKey = "uploadLimitMBps";
constexpr auto providerKey = "source";
constexpr auto localFolderKey = "localFolder";
} // namespace

void UploadViewModel::restoreKeptSettings() {
    const QSettings settings;
    m_uploadQueue->setMaxConcurrent(
        settings.value(QLatin1String(uploadsAtOnceKey), m_options.maxConcurrentUploads).toInt());
    m_uploadLimitMBps =
        std::max(0.0, settings.value(QLatin1String(uploadLimitKey), 0.0).toDouble());
    m_mux->bandwidth().setRate(static_cast<qint64>(m_uploadLimitMBps * 1e6));
    // A command-line run neither takes nor changes the window's source.
    if (!m_options.writeStateFiles)
        return;
    const QString folder = settings.value(QLatin1String(localFolderKey)).toString();
    if (!folder.isEmpty())
        m_localFolderURL = QUrl::fromLocalFile(folder);
    if (settings.value(QLatin1String(providerKey)).toString() == QLatin1String("localFolder") &&
        m_localFolderURL)
        m_provider = VideoProvider::localFolder;
}

int UploadViewModel::uploadsAtOnce() const {
    return m_uploadQueue->maxConcurrent();
}

void UploadViewModel::setUploadsAtOnce(int count) {
    m_uploadQueue->setMaxConcurrent(count);
    QSettings().setValue(QLatin1String(uploadsAtOnceKey), m_uploadQueue->maxConcurrent());
}

void UploadViewModel::setUploadLimitMBps(double megabytesPerSecond) {
    m_uploadLimitMBps = std::max(0.0, megabytesPerSecond);
    m_mux->bandwidth().setRate(static_cast<qint64>(m_uploadLimitMBps * 1e6));
    QSettings().setValue(QLatin1String(uploadLimitKey), m_uploadLimitMBps);
}

UploadViewModel::~UploadViewModel() {
    m_localScanStop.request_stop();
}

void UploadViewModel::openLedger() {
    auto ledger = DeliveryLedger::open(m_options.ledgerFile);
    if (!ledger) {
        // Uploads still run, journaled for this session alone.
        appendLog(ledger.error().message);
        ledger = DeliveryLedger::open(QString());
    }
    m_ledger = std::move(*ledger);
    if (!m_options.writeStateFiles)
        return;
    const QString journal = QFileInfo(m_options.ledgerFile).path() + QLatin1Char('/') +
                            QLatin1StringView(uploadJournalFileName);
    if (auto imported = m_ledger->importJournal(journal); !imported)
        appendLog(QStringLiteral("Failed to take over the upload journal: ") +
                  imported.error().message);
}

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
    const bool complete = !m_tokenID.isEmpty() && !m_tokenSecret.isEmpty();
    // An unread store is not an empty one: the sheet opens, saying so, either way.
    setShowAPIKeySheet(!complete || m_credentialsReadError);
    if (!m_ready) {
        m_ready = true;
        Q_EMIT ready();
    } else if (complete) {
        refreshIfNeverListed();
    }
    if (self)
        resumeUnfinishedUploads();
}

void UploadViewModel::resumeUnfinishedUploads() {
    // Once, and with credentials: without them every request would fail for nothing. A
    // command-line run takes over only the entries of the files it is given.
    if (!m_options.writeStateFiles || m_uploadsResumed || !m_ready || m_tokenID.isEmpty() ||
        m_tokenSecret.isEmpty())
        return;
    m_uploadsResumed = true;
    m_uploadQueue->resumeUnfinished();
}

QCoro::Task<> UploadViewModel::waitUntilReady() {
    if (!m_ready)
        co_await qCoro(this, &UploadViewModel::ready);
}

// --- library and sheet: forwards to their owners -----------------------------------

const QList<MuxAsset>& UploadViewModel::existingAssets() const {
    return m_library->existingAssets();
}

const QList<MuxAsset>& UploadViewModel::shownAssets() const {
    return m_library->shownAssets();
}

bool UploadViewModel::showsCachedListing() const {
    return m_library->showsCachedListing();
}

const QString& UploadViewModel::listingNotice() const {
    return m_library->listingNotice();
}

bool UploadViewModel::isRefreshing() const {
    return m_library->isRefreshing();
}

const std::optional<MuxState>& UploadViewModel::savedMuxState() const {
    return m_library->savedMuxState();
}

const QSet<QString>& UploadViewModel::changedMuxAssets() const {
    return m_library->changedMuxAssets();
}

const std::optional<QList<MuxAsset>>& UploadViewModel::lastCompleteListing() const {
    return m_library->lastCompleteListing();
}

void UploadViewModel::setExistingAssets(QList<MuxAsset> assets) {
    m_library->setExistingAssets(std::move(assets));
}

void UploadViewModel::setChangedMuxAssets(QSet<QString> ids) {
    m_library->setChangedMuxAssets(std::move(ids));
}

QCoro::Task<Result<void>> UploadViewModel::postSheetCSV(QString csv) {
    return m_sheet->postSheetCSV(std::move(csv));
}

QCoro::Task<> UploadViewModel::exportAfterLibraryChange(std::optional<QList<MuxAsset>> listed) {
    return m_sheet->exportAfterLibraryChange(std::move(listed));
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
    auto listed = co_await relistLibrary();
    if (!self)
        co_return;
    co_await exportAfterLibraryChange(std::move(listed));
}

void UploadViewModel::markUploadedAssetNew(const QString& assetID) {
    m_library->markAssetNew(assetID);
    appendLog(QStringLiteral("Marked uploaded asset as new: ") + assetID);
}

// --- core --------------------------------------------------------------------------

void UploadViewModel::appendLog(const QString& message) {
    const QByteArray line = "[Clipferry] " + message.toUtf8() + '\n';
    if (m_options.echoLog) {
        m_options.echoLog(line);
    } else {
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
        std::fflush(stdout);
    }
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

namespace {

// Takes a token read from the store into the field and the stored copy; text the user
// typed meanwhile stays. Returns the read's failure.
std::optional<QString> takeStoredToken(const Result<std::optional<QString>>& read, QString& field,
                                       std::optional<QString>& stored) {
    if (!read) {
        stored.reset();
        return read.error().message;
    }
    stored = read->value_or(QString());
    if (field.isEmpty())
        field = *stored;
    return std::nullopt;
}

// A token goes to the store when it differs from what is known to be there; an unknown
// one only when something was typed, and an emptied one only when that was confirmed.
bool shouldWriteToken(const QString& field, const std::optional<QString>& stored,
                      bool clearingConfirmed) {
    if (!stored)
        return !field.isEmpty();
    return field != *stored && (!field.isEmpty() || clearingConfirmed);
}

} // namespace

QCoro::Task<> UploadViewModel::loadSettings() {
    QPointer self(this);
    // The preference is synchronous, so it is in place before construction returns.
    m_useMaxResolution = QSettings().value(QLatin1String(useMaxResolutionKey), false).toBool();
    if (m_options.fixedTokens) {
        std::tie(m_tokenID, m_tokenSecret) = *m_options.fixedTokens;
        Q_EMIT credentialsChanged();
        co_return;
    }
    const auto& store = m_credentials;
    const QString idAccount = QString::fromLatin1(tokenIDAccount);
    const QString secretAccount = QString::fromLatin1(tokenSecretAccount);
    auto id = co_await store.readKeychainString(idAccount);
    if (!self)
        co_return;
    auto secret = co_await store.readKeychainString(secretAccount);
    if (!self)
        co_return;
    const auto idFailure = takeStoredToken(id, m_tokenID, m_storedTokenID);
    const auto secretFailure = takeStoredToken(secret, m_tokenSecret, m_storedTokenSecret);
    m_credentialsReadError = idFailure ? idFailure : secretFailure;
    if (m_credentialsReadError)
        appendLog(QStringLiteral("Could not read the saved API keys: ") + *m_credentialsReadError);
    Q_EMIT credentialsChanged();
}

bool UploadViewModel::saveWouldClearTokens() const {
    const auto clears = [](const QString& field, const std::optional<QString>& stored) {
        return field.isEmpty() && stored && !stored->isEmpty();
    };
    return clears(m_tokenID, m_storedTokenID) || clears(m_tokenSecret, m_storedTokenSecret);
}

QCoro::Task<> UploadViewModel::saveSettings(bool clearingConfirmed) {
    QPointer self(this);
    QSettings().setValue(QLatin1String(useMaxResolutionKey), m_useMaxResolution);
    const auto& store = m_credentials;
    struct Token {
        const char* account;
        QString value;
        std::optional<QString>* stored;
    };
    const QList<Token> tokens{{tokenIDAccount, m_tokenID, &m_storedTokenID},
                              {tokenSecretAccount, m_tokenSecret, &m_storedTokenSecret}};
    for (const auto& token : tokens) {
        if (!shouldWriteToken(token.value, *token.stored, clearingConfirmed))
            continue;
        const QString account = QString::fromLatin1(token.account);
        auto saved = co_await store.saveKeychainString(account, token.value);
        if (!self)
            co_return;
        // A silent failure would let the user believe the tokens are stored.
        if (!saved) {
            appendLog(QStringLiteral("Failed to save credentials: ") + saved.error().message);
            co_return;
        }
        *token.stored = token.value;
    }
}

// --- seen-state --------------------------------------------------------------------

void UploadViewModel::saveLocalVideoState() {
    if (!m_savedLocalState || !m_localStateFileReplaceable || !m_options.writeStateFiles)
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
    (void)co_await relistLibrary();
}

QCoro::Task<std::optional<QList<MuxAsset>>> UploadViewModel::relistLibrary() {
    QPointer self(this);
    m_library->beginRefresh();
    if (m_provider == VideoProvider::localFolder) {
        co_await loadLocalVideos();
        if (!self)
            co_return std::nullopt;
        m_library->endRefresh();
        appendLog(
            QStringLiteral("Loaded %1 videos from local folder.").arg(m_localVideoURLs.size()));
        co_return std::nullopt;
    }
    // The first listing needs the tokens, which the secret store hands over asynchronously.
    co_await waitUntilReady();
    if (!self)
        co_return std::nullopt;
    auto listed = co_await m_library->refreshService(m_tokenID, m_tokenSecret);
    if (!listed)
        co_return std::nullopt;
    co_return std::move(*listed);
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
    auto listed = co_await relistLibrary();
    if (!self)
        co_return;
    setSelectedAsset(std::nullopt);
    appendLog(QStringLiteral("Updating Google Sheet\u2026"));
    co_await exportAfterLibraryChange(std::move(listed));
}

QString UploadViewModel::buildSheetCSV() const {
    return m_sheet->buildSheetCSV(lastCompleteListing().value_or(QList<MuxAsset>{}));
}

QCoro::Task<> UploadViewModel::saveSheetKey(QString key) {
    QPointer self(this);
    auto saved = co_await m_sheet->saveSheetKey(std::move(key));
    if (self && !saved)
        appendLog(QStringLiteral("Failed to save the sheet key: ") + saved.error().message);
}

QCoro::Task<> UploadViewModel::updateGoogleSheets() {
    return m_sheet->updateGoogleSheets();
}

// --- city map ----------------------------------------------------------------------

QString UploadViewModel::cityMapFileURL() const {
    return stateFolderPath() + QStringLiteral("/CityMap.json");
}

void UploadViewModel::ensureCityMapFolder() const {
    (void)makePrivateFolder(stateFolderPath());
}

void UploadViewModel::loadCityMap() {
    if (m_options.writeStateFiles)
        ensureCityMapFolder();
    auto loaded = loadStoredFile<CityMap>(cityMapFileURL(), decodeCityMap);
    if (loaded.value) {
        setCityMap(std::move(*loaded.value));
        appendLog(QStringLiteral("Loaded city map from file."));
        return;
    }
    if (loaded.outcome != LoadedFile<CityMap>::Outcome::missing)
        appendLog(QStringLiteral("Failed to load city map: ") + loaded.reason +
                  QStringLiteral(". Using defaults."));
    setCityMap(defaultCityMap());
    // A hand-edited table that cannot be read now may be readable later, and one typo must
    // not cost it: the defaults replace the file only once a copy of it is kept.
    if (!loaded.mayReplace()) {
        if (!loaded.keptAside)
            appendLog(QStringLiteral("Could not keep the damaged city map aside: ") +
                      loaded.keptAside.error().message);
        return;
    }
    if (loaded.outcome == LoadedFile<CityMap>::Outcome::damaged)
        appendLog(QStringLiteral("Kept the unreadable city map as CityMap.json.bak."));
    saveCityMap();
    appendLog(QStringLiteral("City map initialized with defaults."));
}

void UploadViewModel::saveCityMap() {
    if (!m_options.writeStateFiles)
        return;
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
    if (m_options.writeStateFiles)
        QSettings().setValue(QLatin1String(providerKey), provider == VideoProvider::localFolder
                                                             ? QStringLiteral("localFolder")
                                                             : QStringLiteral("webMux"));
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
    if (m_options.writeStateFiles)
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
