#include "workflow/Workspace.h"

#include "model/DetachedTask.h"
#include "model/SeenState.h"
#include "model/StoredFile.h"
#include "service/MuxClient.h"
#include "service/NetworkReachability.h"
#include "workflow/ActivityLog.h"
#include "workflow/AutoDelivery.h"
#include "workflow/CityTable.h"
#include "workflow/Credentials.h"
#include "workflow/DeliveryLedger.h"
#include "workflow/DeliveryTracker.h"
#include "workflow/LibrarySource.h"
#include "workflow/LibrarySync.h"
#include "workflow/ListingCache.h"
#include "workflow/LocalFolder.h"
#include "workflow/SheetExporter.h"
#include "workflow/TransferSettings.h"
#include "workflow/UploadJournal.h"
#include "workflow/UploadQueue.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <clipferry/BuildConfig.h>

namespace clipferry {

Workspace::Options Workspace::defaultOptions() {
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

Workspace::Workspace(ActivityLog& log, QNetworkAccessManager& network, const CredentialStore& store,
                     Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_log(log) {
    const auto access =
        m_options.headless ? StoredFile::Access::readOnly : StoredFile::Access::readWrite;
    m_client = std::make_unique<MuxClient>(network, m_options.client);
    m_credentials = std::make_unique<Credentials>(
        store, m_log,
        Credentials::Options{m_options.fixedTokens, m_options.fixedSheetKey, m_options.headless});
    openLedger();
    m_library = std::make_unique<LibrarySync>(
        *m_client, m_log, StoredFile(stateFilePath(QString::fromLatin1(muxStateFileName)), access),
        StoredFile(m_options.listingCacheFile, access));

    UploadQueue::Options queue{m_options.streamBase, m_options.maxConcurrentUploads,
                               !m_options.headless};
    queue.offlineRetryDelay = m_options.client.retryBaseDelay;
    queue.offlineRetryCap = m_options.client.maxResumeDelay;
    if (!m_options.networkReachability) {
        m_options.networkReachability = std::make_shared<NetworkReachability>();
        m_options.networkReachability->followPlatform();
    }
    queue.reachability = m_options.networkReachability.get();
    m_uploadQueue = std::make_unique<UploadQueue>(*m_client, *m_ledger, *m_credentials, m_log,
                                                  std::move(queue));
    connect(m_uploadQueue.get(), &UploadQueue::assetCreated, m_library.get(),
            &LibrarySync::markAssetNew);

    const auto& client = m_options.client;
    SheetExporter::Options sheet{
        m_options.sheetWebAppUrl, m_options.streamBase, {client.maxRetries, client.retryBaseDelay},
        client.transferTimeout,   client.clock,         m_options.fixedSheetWebAppUrl};
    // An export without a fresh listing lists for itself, with the tokens as they stand then.
    m_sheet =
        std::make_unique<SheetExporter>(network, *m_credentials, m_log, std::move(sheet), [this] {
            return m_library->listAll(m_credentials->tokenID(), m_credentials->tokenSecret());
        });
    m_localFolder = std::make_unique<LocalFolder>(
        StoredFile(stateFilePath(QString::fromLatin1(localVideoStateFileName)), access), m_log,
        m_options.metadataPublishInterval);
    m_delivery = std::make_unique<DeliveryTracker>(
        DeliveryTracker::Peers{*m_library, *m_uploadQueue, *m_localFolder, *m_ledger, *m_client,
                               *m_credentials, m_log},
        m_options.maxListingAge);
    // A replaced clip's old assets go before its batch ends and the library is listed again.
    m_uploadQueue->setAfterItemDone([this](QUrl fileURL, QString assetID) {
        return m_delivery->afterItemDone(std::move(fileURL), std::move(assetID));
    });
    m_source = std::make_unique<LibrarySource>(LibrarySource::Peers{*m_library, *m_localFolder,
                                                                    *m_credentials, *m_sheet,
                                                                    *m_delivery, m_log},
                                               !m_options.headless);
    connect(m_uploadQueue.get(), &UploadQueue::batchFinished, m_source.get(),
            [this] { runDetached(m_source->completeBatch()); });
    m_transferSettings = std::make_unique<TransferSettings>(*m_uploadQueue, m_client->bandwidth(),
                                                            m_options.maxConcurrentUploads);
    if (!m_options.headless) {
        m_cityTable = std::make_unique<CityTable>(
            StoredFile(stateFilePath(QStringLiteral("CityMap.json")), access), m_log);
        m_autoDelivery = std::make_unique<AutoDelivery>(
            WatchDelivery::Peers{*m_library, *m_credentials, *m_delivery, m_log}, *m_localFolder,
            m_options.watchTweak);
        connect(m_credentials.get(), &Credentials::loaded, this,
                &Workspace::resumeUnfinishedUploads);
        connect(m_credentials.get(), &Credentials::changed, this, [this](Credentials::Key key) {
            if (key == Credentials::Key::tokens)
                resumeUnfinishedUploads();
        });
    }
    // The secret store answers asynchronously; whoever needs the tokens waits for `loaded`.
    runDetached(m_credentials->load());
}

void Workspace::resumeUnfinishedUploads() {
    // Without tokens every request would fail for nothing.
    if (m_uploadsResumed || !m_credentials->isLoaded() || !m_credentials->hasTokens())
        return;
    m_uploadsResumed = true;
    m_uploadQueue->resumeUnfinished();
}

Workspace::~Workspace() = default;

void Workspace::openLedger() {
    auto ledger = DeliveryLedger::open(m_options.ledgerFile);
    if (!ledger) {
        // Uploads still run, journaled for this session alone.
        m_log.append(ledger.error().message);
        ledger = DeliveryLedger::open(QString());
    }
    m_ledger = std::move(*ledger);
    // The old journal is the window's to take over.
    if (m_options.headless)
        return;
    const QString journal = QFileInfo(m_options.ledgerFile).path() + QLatin1Char('/') +
                            QLatin1StringView(uploadJournalFileName);
    if (auto imported = importUploadJournal(*m_ledger, journal); !imported)
        m_log.append(QStringLiteral("Failed to take over the upload journal: ") +
                     imported.error().message);
}

} // namespace clipferry
