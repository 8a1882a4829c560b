#include "ChangeTime.h"
#include "FileAttributes.h"
#include "UploadViewModel.h"

#include <QFileInfo>
#include <QPointer>

// The service library: listing, the new-or-changed flags against the seen-state, marking
// seen, and deleting the selected asset.
namespace clipferry {

QCoro::Task<> UploadViewModel::refreshLibrary() {
    QPointer self(this);
    setIsRefreshing(true);
    setExistingAssets({});
    if (m_provider == VideoProvider::localFolder) {
        loadLocalVideos();
        setIsRefreshing(false);
        appendLog(
            QStringLiteral("Loaded %1 videos from local folder.").arg(m_localVideoURLs.size()));
        co_return;
    }

    // The first listing needs the tokens, which the secret store hands over asynchronously.
    co_await waitUntilReady();
    if (!self)
        co_return;
    auto listed = co_await m_mux->listAllAssets(m_tokenID, m_tokenSecret);
    if (!self)
        co_return;
    if (!listed) {
        setIsRefreshing(false);
        appendLog(QStringLiteral("Failed to fetch MUX assets: ") + listed.error().message);
        co_return;
    }

    detectChangedMuxAssets(*listed);
    if (!m_savedMuxState)
        m_savedMuxState = MuxState{currentTimeSeconds(), {}};
    m_savedMuxState->lastLaunchedAt = currentTimeSeconds();
    saveMuxState();
    setLastCompleteListing(*listed);
    const auto count = listed->size();
    setExistingAssets(std::move(*listed));
    setIsRefreshing(false);
    appendLog(QStringLiteral("Loaded %1 total assets from MUX.").arg(count));
}

QCoro::Task<Result<void>> UploadViewModel::listQuietly() {
    QPointer self(this);
    auto listed = co_await m_mux->listAllAssets(m_tokenID, m_tokenSecret);
    if (!self)
        co_return fail(QString(), -1, QStringLiteral("Cancelled"));
    if (!listed)
        co_return tl::unexpected(listed.error());
    setLastCompleteListing(std::move(*listed));
    co_return Result<void>{};
}

void UploadViewModel::setLastCompleteListing(QList<MuxAsset> listing) {
    m_lastCompleteListing = std::move(listing);
    m_lastListingTime = currentTimeSeconds();
    Q_EMIT lastCompleteListingChanged();
}

void UploadViewModel::refreshIfNeverListed() {
    if (m_provider == VideoProvider::webMux && !m_lastCompleteListing && !m_isRefreshing)
        startRefreshLibrary();
}

void UploadViewModel::detectChangedMuxAssets(const QList<MuxAsset>& assets) {
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
            appendLog(QStringLiteral("Found %1 new/updated MUX assets.").arg(changed.size()));
    });
}

void UploadViewModel::markAssetSeen(const QString& assetID) {
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

void UploadViewModel::markAllSeen() {
    const double now = currentTimeSeconds();
    if (!m_savedMuxState)
        m_savedMuxState = MuxState{now, {}};
    for (const auto& asset : std::as_const(m_existingAssets))
        m_savedMuxState->seenAssetTimes.insert(asset.id, now);
    saveMuxState();

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

    post([this] {
        setChangedMuxAssets({});
        setChangedLocalVideos({});
    });
    appendLog(QStringLiteral("Marked all videos as seen"));
}

QCoro::Task<> UploadViewModel::deleteSelectedAsset() {
    if (!m_selectedAsset) {
        appendLog(QStringLiteral("No asset selected to delete."));
        co_return;
    }
    QPointer self(this);
    const MuxAsset asset = *m_selectedAsset;
    m_mux->setCredentials(m_tokenID, m_tokenSecret);
    appendLog(QStringLiteral("Deleting asset: ") + asset.passthrough.value_or(asset.id));
    auto deleted = co_await m_mux->deleteAsset(asset.id);
    if (!self)
        co_return;
    if (!deleted) {
        appendLog(QStringLiteral("Delete failed: ") + deleted.error().message);
        co_return;
    }
    appendLog(QStringLiteral("Deleted asset."));
    co_await refreshLibrary();
    if (!self)
        co_return;
    setSelectedAsset(std::nullopt);
    appendLog(QStringLiteral("Updating Google Sheet\u2026"));
    co_await exportAfterLibraryChange();
}

} // namespace clipferry
