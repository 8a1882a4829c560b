#include "workflow/WatchDelivery.h"

#include "model/DetachedTask.h"
#include "workflow/ActivityLog.h"
#include "workflow/Credentials.h"
#include "workflow/DeliveryTracker.h"
#include "workflow/LibrarySync.h"

#include <QDateTime>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

namespace clipferry {

WatchDelivery::WatchDelivery(Peers peers, Options options, QObject* parent)
    : QObject(parent)
    , m_peers(peers)
    , m_options(std::move(options))
    , m_watcher(m_options.watch)
    , m_claim({.folder = m_options.watch.folder,
               .renewInterval = m_options.renewInterval,
               .staleAfter = m_options.staleAfter}) {
    connect(&m_watcher, &FolderWatcher::settled, this, &WatchDelivery::take);
    connect(&m_watcher, &FolderWatcher::unsettledChanged, this, &WatchDelivery::waitingChanged);
    connect(&m_claim, &FolderClaim::heldChanged, this, &WatchDelivery::claimChanged);
    connect(&m_watcher, &FolderWatcher::logMessage, &m_peers.log, &ActivityLog::append);
    connect(&m_claim, &FolderClaim::logMessage, &m_peers.log, &ActivityLog::append);
}

WatchDelivery::~WatchDelivery() = default;

void WatchDelivery::start() {
    m_watcher.start();
    m_claim.start();
}

void WatchDelivery::take(const QList<QUrl>& files) {
    for (const QUrl& file : files)
        if (!m_ready.contains(file))
            m_ready.append(file);
    if (m_claim.isHeld())
        runDetached(deliverReady());
}

// What the previous holder delivered is on the service by now; only a new listing shows
// it when that holder was another machine with a ledger of its own.
void WatchDelivery::claimChanged(bool held) {
    Q_EMIT waitingChanged();
    if (!held)
        return;
    m_relist = true;
    take(m_watcher.settledFiles());
}

bool WatchDelivery::listingIsFresh() const {
    return m_peers.library.lastCompleteListing() &&
           m_peers.library.lastCompleteListingTime().msecsTo(QDateTime::currentDateTimeUtc()) <
               m_options.maxListingAge.count();
}

QCoro::Task<> WatchDelivery::deliverReady() {
    // One decision at a time: clips settling meanwhile wait in `m_ready` for the loop.
    if (m_deciding)
        co_return;
    m_deciding = true;
    QPointer self(this);
    auto& credentials = m_peers.credentials;
    auto& log = m_peers.log;
    while (!m_ready.isEmpty() && m_claim.isHeld()) {
        if (m_relist || !listingIsFresh()) {
            co_await credentials.waitUntilLoaded();
            if (!self)
                co_return;
            auto listed =
                co_await m_peers.library.listAll(credentials.tokenID(), credentials.tokenSecret());
            if (!self)
                co_return;
            if (!listed) {
                log.append(QStringLiteral("Failed to fetch MUX assets: ") + listed.error().message);
                QTimer::singleShot(m_options.renewInterval, this,
                                   [this] { runDetached(deliverReady()); });
                break;
            }
            m_relist = false;
            // The claim may have gone while the library was listed.
            continue;
        }
        DeliveryTracker& tracker = m_peers.delivery;
        tracker.refreshFromLedger();
        DeliveryTracker::Candidates candidates;
        for (const QUrl& file : std::exchange(m_ready, {})) {
            if (!QFileInfo::exists(file.toLocalFile()))
                continue;
            const bool settledBefore = m_settledBefore.contains(file);
            m_settledBefore.insert(file);
            if (tracker.knownFiles({file}).isEmpty()) {
                candidates.missing.append(file);
                continue;
            }
            if (!settledBefore && tracker.statusOf(file).state != Delivery::changed)
                continue;
            if (m_options.replaceChanged) {
                candidates.changed.append(file);
                continue;
            }
            log.append(QStringLiteral("%1 changed after its delivery; left as it is.")
                           .arg(file.fileName()));
            Q_EMIT changedAfterDelivery(file);
        }
        if (candidates.size() == 0)
            continue;
        log.append(QStringLiteral("Delivering %1 new clips from %2.")
                       .arg(candidates.size())
                       .arg(m_watcher.options().folder));
        tracker.startDelivery(candidates, DeliveryTracker::ChangedClips::replace);
    }
    m_deciding = false;
}

} // namespace clipferry
