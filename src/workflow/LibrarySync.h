#pragma once

#include "model/Result.h"
#include "model/SeenState.h"
#include "model/StoredFile.h"
#include "service/MuxRecords.h"
#include "workflow/ListingCache.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSet>
#include <functional>
#include <optional>

namespace clipferry {

class ActivityLog;
class MuxClient;

// The service library as the app knows it: the listing on view, the assets new or
// changed since the user saw them, the seen-state behind that, and deletes.
class LibrarySync : public QObject {
    Q_OBJECT

public:
    // The seen-state is read from `stateFile` now; a missing or unusable one starts afresh.
    // Each complete listing is kept in `listingCache` for the next start; an empty path
    // keeps none.
    LibrarySync(MuxClient& mux, ActivityLog& log, StoredFile stateFile, StoredFile listingCache,
                QObject* parent = nullptr);

    [[nodiscard]] const QList<MuxAsset>& existingAssets() const { return m_existingAssets; }
    [[nodiscard]] const QSet<QString>& changedMuxAssets() const { return m_changedMuxAssets; }
    [[nodiscard]] const std::optional<MuxState>& savedMuxState() const { return m_savedMuxState; }
    [[nodiscard]] bool isRefreshing() const { return m_isRefreshing; }
    // The last listing that reached the end of the library, and when it ended; whoever
    // needs the whole library (exports, delivery state) reads it here.
    [[nodiscard]] const std::optional<QList<MuxAsset>>& lastCompleteListing() const {
        return m_lastCompleteListing;
    }
    [[nodiscard]] const QDateTime& lastCompleteListingTime() const { return m_lastListedAt; }
    // When the request for its first page left: anything made before is in it.
    [[nodiscard]] const QDateTime& lastCompleteListingStartTime() const {
        return m_lastListingStartedAt;
    }
    // The rows to show: the listing, or, until the first refresh of this run replaces it,
    // the one the previous run kept. Only for showing: nothing else reads the kept rows.
    [[nodiscard]] const QList<MuxAsset>& shownAssets() const {
        return m_cachedListing && m_existingAssets.isEmpty() ? *m_cachedListing : m_existingAssets;
    }
    [[nodiscard]] bool showsCachedListing() const {
        return m_cachedListing && m_existingAssets.isEmpty();
    }
    // The shown rows grouped by city while they are the listing read at start, which was
    // grouped as it was read; null otherwise.
    [[nodiscard]] const Grouping<MuxAsset>* shownGrouping() const {
        return showsCachedListing() && m_keptGrouping ? &*m_keptGrouping : nullptr;
    }
    // Reads the listing the previous run kept, off this thread, and shows it in one step
    // unless a listing came first. Once per run; the window asks after its first frame,
    // since ten thousand kept assets would otherwise compete with it for the cores.
    void loadKeptListing();
    // Why the rows on view are not a fresh listing, after a refresh that failed: "Mux
    // cannot be reached. Showing the library as listed at 14:32."; empty once one succeeds.
    [[nodiscard]] const QString& listingNotice() const { return m_listingNotice; }
    // Records a listing that reached the end of the library, now; tests call it directly.
    void setLastCompleteListing(QList<MuxAsset> assets);

    // The start and end of a refresh of either provider. The rows on view stay, dimmed as
    // a kept listing, until the new listing replaces them; a failed one leaves them there.
    void beginRefresh();
    void endRefresh();
    // Lists the service with the given tokens and, when the whole library arrived, shows
    // it and updates the change flags and the seen-state; a refresh runs between
    // beginRefresh and endRefresh. Hands back that complete listing, so whoever refreshed
    // to publish the library need not list it again.
    [[nodiscard]] QCoro::Task<Result<QList<MuxAsset>>> refreshService(QString tokenID,
                                                                      QString tokenSecret);
    // The whole library, recorded as the last complete listing when it arrives; the
    // view and the seen-state are left alone.
    [[nodiscard]] QCoro::Task<Result<QList<MuxAsset>>> listAll(QString tokenID,
                                                               QString tokenSecret);

    void detectChangedMuxAssets(const QList<MuxAsset>& assets);
    void markAssetSeen(const QString& assetID);
    // Every asset on view seen at `now`; the change flags clear from the event loop.
    void markAllSeen(double now);
    // An asset this app just created: flagged, and logged.
    void markAssetNew(const QString& assetID);
    void saveMuxState();
    // The state file found at start could neither be read nor kept aside: never replace it.
    // Logs the attempt and its outcome; true when the service deleted the asset.
    [[nodiscard]] QCoro::Task<bool> deleteAsset(MuxAsset asset, QString tokenID,
                                                QString tokenSecret);

    void setExistingAssets(QList<MuxAsset> assets);
    void setChangedMuxAssets(QSet<QString> ids);

Q_SIGNALS:
    void existingAssetsChanged();
    void changedMuxAssetsChanged();
    void isRefreshingChanged(bool refreshing);
    void lastCompleteListingChanged();
    void showsCachedListingChanged(bool showsCached);
    void listingNoticeChanged();

private:
    void post(std::function<void()> job);
    void setIsRefreshing(bool refreshing);
    void setListingNotice(QString notice);
    void takeKeptListing(std::optional<KeptListing> kept);
    void replaceCachedListing(std::optional<QList<MuxAsset>> listing);

    MuxClient& m_mux;
    ActivityLog& m_log;
    StoredFile m_stateFile;
    QList<MuxAsset> m_existingAssets;
    QSet<QString> m_changedMuxAssets;
    std::optional<MuxState> m_savedMuxState;
    bool m_isRefreshing = false;
    std::optional<QList<MuxAsset>> m_lastCompleteListing;
    StoredFile m_listingCache;
    std::optional<QList<MuxAsset>> m_cachedListing;
    // m_cachedListing by city, while it is the one read at start.
    std::optional<Grouping<MuxAsset>> m_keptGrouping;
    bool m_keptListingLoading = false;
    bool m_listedSinceStart = false;
    QDateTime m_lastListedAt;
    // When the kept listing was written, for a run that has not listed yet.
    QDateTime m_cachedListedAt;
    QString m_listingNotice;
    QDateTime m_lastListingStartedAt;
};

} // namespace clipferry
