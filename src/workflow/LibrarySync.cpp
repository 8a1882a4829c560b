#include "workflow/LibrarySync.h"

#include "model/StateFolder.h"
#include "service/MuxClient.h"
#include "service/ServiceError.h"
#include "service/ServiceTransport.h"
#include "workflow/ActivityLog.h"
#include "workflow/ChangeTime.h"
#include "workflow/ListingCache.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace clipferry {

LibrarySync::LibrarySync(MuxClient& mux, ActivityLog& log, StoredFile stateFile,
                         StoredFile listingCache, QObject* parent)
    : QObject(parent)
    , m_mux(mux)
    , m_log(log)
    , m_stateFile(std::move(stateFile))
    , m_listingCache(std::move(listingCache)) {
    auto loaded = m_stateFile.load<MuxState>(decodeMuxState);
    if (loaded.failed())
        m_log.append(loadFailureLine(loaded, QStringLiteral("mux state"), m_stateFile));
    m_savedMuxState = loaded.value ? std::move(loaded.value) : MuxState{currentTimeSeconds(), {}};
}

void LibrarySync::loadKeptListing() {
    if (m_listingCache.path().isEmpty() || m_keptListingLoading || m_listedSinceStart)
        return;
    m_keptListingLoading = true;
    using Kept = std::optional<KeptListing>;
    auto* reading = new QFutureWatcher<Kept>(this);
    connect(reading, &QFutureWatcherBase::finished, this, [this, reading] {
        takeKeptListing(reading->result());
        reading->deleteLater();
    });
    reading->setFuture(QtConcurrent::run(readKeptListing, m_listingCache.path()));
}

void LibrarySync::takeKeptListing(std::optional<KeptListing> kept) {
    // A listing that arrived first is newer than anything kept.
    if (!kept || m_listedSinceStart)
        return;
    const bool wasShown = showsCachedListing();
    m_cachedListing = std::move(kept->assets);
    m_keptGrouping = std::move(kept->byCity);
    m_cachedListedAt = QFileInfo(m_listingCache.path()).lastModified();
    if (!m_existingAssets.isEmpty())
        return;
    Q_EMIT existingAssetsChanged();
    if (!wasShown)
        Q_EMIT showsCachedListingChanged(true);
}

void LibrarySync::replaceCachedListing(std::optional<QList<MuxAsset>> listing) {
    m_cachedListing = std::move(listing);
    m_keptGrouping.reset();
}

void LibrarySync::post(std::function<void()> job) {
    QMetaObject::invokeMethod(this, std::move(job), Qt::QueuedConnection);
}

void LibrarySync::beginRefresh() {
    setIsRefreshing(true);
    const bool showedCache = showsCachedListing();
    if (!m_existingAssets.isEmpty()) {
        replaceCachedListing(m_existingAssets);
        m_cachedListedAt = m_lastListedAt.toLocalTime();
    }
    setExistingAssets({});
    if (showsCachedListing() != showedCache)
        Q_EMIT showsCachedListingChanged(showsCachedListing());
}

void LibrarySync::endRefresh() {
    setIsRefreshing(false);
}

QCoro::Task<Result<QList<MuxAsset>>> LibrarySync::listAll(QString tokenID, QString tokenSecret) {
    QPointer self(this);
    const QDateTime started = QDateTime::currentDateTimeUtc();
    auto listed = co_await m_mux.listAllAssets(std::move(tokenID), std::move(tokenSecret));
    if (self && listed) {
        m_lastListingStartedAt = started;
        setLastCompleteListing(*listed);
    }
    co_return listed;
}

void LibrarySync::setLastCompleteListing(QList<MuxAsset> assets) {
    m_lastCompleteListing = std::move(assets);
    m_lastListedAt = QDateTime::currentDateTimeUtc();
    // A cache that cannot be written costs only the next quick start; none is kept by a
    // run that must not touch the window's files.
    if (!m_listingCache.path().isEmpty() && m_listingCache.isWritable())
        (void)m_listingCache.save(encodeListing(*m_lastCompleteListing));
    Q_EMIT lastCompleteListingChanged();
}

QCoro::Task<Result<QList<MuxAsset>>> LibrarySync::refreshService(QString tokenID,
                                                                 QString tokenSecret) {
    QPointer self(this);
    // Without a key pair the service can only refuse: the keys sheet asks for them, and
    // the listing follows their saving.
    if (tokenID.isEmpty() || tokenSecret.isEmpty()) {
        endRefresh();
        co_return tl::unexpected(Error{QString(), 401, QStringLiteral("No API keys.")});
    }
    auto listed = co_await listAll(std::move(tokenID), std::move(tokenSecret));
    if (!self)
        co_return tl::unexpected(ServiceTransport::cancelled());
    if (!listed) {
        endRefresh();
        m_log.append(QStringLiteral("Failed to fetch MUX assets: ") + listed.error().message);
        QString notice = isNetworkOutage(listed.error())
                             ? QStringLiteral("Mux cannot be reached.")
                             : QStringLiteral("The library could not be listed.");
        if (showsCachedListing() && m_cachedListedAt.isValid()) {
            const QDateTime at = m_cachedListedAt.toLocalTime();
            notice += at.date() == QDate::currentDate()
                          ? QStringLiteral(" Showing the library as listed at %1.")
                                .arg(at.toString(QStringLiteral("HH:mm")))
                          : QStringLiteral(" Showing the library as listed on %1.")
                                .arg(at.toString(QStringLiteral("d MMM yyyy, HH:mm")));
        }
        setListingNotice(std::move(notice));
        co_return listed;
    }
    setListingNotice({});

    detectChangedMuxAssets(*listed);
    if (!m_savedMuxState)
        m_savedMuxState = MuxState{currentTimeSeconds(), {}};
    m_savedMuxState->lastLaunchedAt = currentTimeSeconds();
    saveMuxState();
    const auto count = listed->size();
    const bool showedCache = showsCachedListing();
    m_listedSinceStart = true;
    replaceCachedListing(std::nullopt);
    setExistingAssets(*listed);
    if (showedCache)
        Q_EMIT showsCachedListingChanged(false);
    endRefresh();
    m_log.append(QStringLiteral("Loaded %1 total assets from MUX.").arg(count));
    co_return listed;
}

void LibrarySync::detectChangedMuxAssets(const QList<MuxAsset>& assets) {
    if (!m_savedMuxState) {
        post([this] { setChangedMuxAssets({}); });
        return;
    }
    const auto& state = *m_savedMuxState;
    QSet<QString> changed;
    for (const auto& asset : assets) {
        std::optional<double> changeTime;
        if (asset.updatedAt)
            changeTime = parseChangeTime(*asset.updatedAt);
        if (!changeTime && asset.createdAt)
            changeTime = parseChangeTime(*asset.createdAt);
        if (!changeTime)
            continue;
        const double reference = state.seenAssetTimes.value(asset.id, state.lastLaunchedAt);
        if (*changeTime > reference)
            changed.insert(asset.id);
    }
    // Changed assets stay changed until marked seen, also when they are no longer listed.
    changed.unite(m_changedMuxAssets);
    post([this, changed = std::move(changed)] {
        setChangedMuxAssets(changed);
        if (!changed.isEmpty())
            m_log.append(QStringLiteral("Found %1 new/updated MUX assets.").arg(changed.size()));
    });
}

void LibrarySync::markAssetSeen(const QString& assetID) {
    if (!m_savedMuxState)
        m_savedMuxState = MuxState{currentTimeSeconds(), {}};
    m_savedMuxState->seenAssetTimes.insert(assetID, currentTimeSeconds());
    saveMuxState();
    post([this, assetID] {
        auto changed = m_changedMuxAssets;
        if (changed.remove(assetID))
            setChangedMuxAssets(std::move(changed));
    });
}

void LibrarySync::markAllSeen(double now) {
    if (!m_savedMuxState)
        m_savedMuxState = MuxState{now, {}};
    for (const auto& asset : std::as_const(m_existingAssets))
        m_savedMuxState->seenAssetTimes.insert(asset.id, now);
    saveMuxState();
    post([this] { setChangedMuxAssets({}); });
}

void LibrarySync::markAssetNew(const QString& assetID) {
    auto changed = m_changedMuxAssets;
    changed.insert(assetID);
    setChangedMuxAssets(std::move(changed));
    m_log.append(QStringLiteral("Marked uploaded asset as new: ") + assetID);
}

void LibrarySync::saveMuxState() {
    if (!m_savedMuxState)
        return;
    auto written = m_stateFile.save(encodeMuxState(*m_savedMuxState));
    if (!written)
        m_log.append(QStringLiteral("Failed to save mux state: ") + written.error().message);
}

QCoro::Task<bool> LibrarySync::deleteAsset(MuxAsset asset, QString tokenID, QString tokenSecret) {
    QPointer self(this);
    m_mux.setCredentials(tokenID, tokenSecret);
    m_log.append(QStringLiteral("Deleting asset: ") + asset.passthrough.value_or(asset.id));
    auto deleted = co_await m_mux.deleteAsset(asset.id);
    if (!self)
        co_return false;
    if (!deleted) {
        m_log.append(QStringLiteral("Delete failed: ") + deleted.error().message);
        co_return false;
    }
    m_log.append(QStringLiteral("Deleted asset."));
    co_return true;
}

void LibrarySync::setIsRefreshing(bool refreshing) {
    if (m_isRefreshing == refreshing)
        return;
    m_isRefreshing = refreshing;
    Q_EMIT isRefreshingChanged(refreshing);
}

void LibrarySync::setListingNotice(QString notice) {
    if (m_listingNotice == notice)
        return;
    m_listingNotice = std::move(notice);
    Q_EMIT listingNoticeChanged();
}

void LibrarySync::setExistingAssets(QList<MuxAsset> assets) {
    m_existingAssets = std::move(assets);
    Q_EMIT existingAssetsChanged();
}

void LibrarySync::setChangedMuxAssets(QSet<QString> ids) {
    m_changedMuxAssets = std::move(ids);
    Q_EMIT changedMuxAssetsChanged();
}

} // namespace clipferry
