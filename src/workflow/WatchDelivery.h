#pragma once

#include "workflow/FolderClaim.h"
#include "workflow/FolderWatcher.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <chrono>
#include <functional>

namespace clipferry {

class ActivityLog;
class Credentials;
class DeliveryTracker;
class LibrarySync;

// Unattended delivery of one folder: the clips that settle in it and are not on the
// service (by the ledger and the library) go to the upload queue through the delivery
// tracker, while this watcher holds the folder's claim. The window's "Deliver new clips
// automatically" and `clipferry watch` both run one.
//
//     WatchDelivery watch(peers, {.watch = {.folder = "/renders", .recursive = true}});
//     watch.start();
class WatchDelivery : public QObject {
    Q_OBJECT
public:
    struct Options {
        // The folder, and when its clips count as settled.
        FolderWatcher::Options watch;
        // A clip that changes after its delivery is sent again, its old asset deleted once
        // the new one is Done; otherwise it is only reported.
        bool replaceChanged = false;
        // The claim's timing; the claim is on the watched folder.
        std::chrono::milliseconds renewInterval{std::chrono::seconds(10)};
        std::chrono::milliseconds staleAfter{std::chrono::seconds(60)};
        // Clips are compared with a listing of the library at most this old.
        std::chrono::milliseconds maxListingAge{std::chrono::minutes(5)};
    };

    struct Peers {
        LibrarySync& library;
        Credentials& credentials;
        DeliveryTracker& delivery;
        ActivityLog& log;
    };

    // Adjusts a watcher's options before it starts (tests shorten the waits).
    using Tweak = std::function<void(Options&)>;

    WatchDelivery(Peers peers, Options options, QObject* parent = nullptr);
    ~WatchDelivery() override;

    void start();
    [[nodiscard]] const Options& options() const { return m_options; }
    [[nodiscard]] const FolderWatcher& watcher() const { return m_watcher; }
    [[nodiscard]] const FolderClaim& claim() const { return m_claim; }

Q_SIGNALS:
    // A delivered clip changed; it is sent again only with `replaceChanged`.
    void changedAfterDelivery(const QUrl& file);
    // What it waits for changed: clips settling, the claim.
    void waitingChanged();

private:
    void take(const QList<QUrl>& files);
    void claimChanged(bool held);
    [[nodiscard]] QCoro::Task<> deliverReady();
    [[nodiscard]] bool listingIsFresh() const;

    Peers m_peers;
    Options m_options;
    FolderWatcher m_watcher;
    FolderClaim m_claim;
    // Settled clips not decided on yet, in the order they settled.
    QList<QUrl> m_ready;
    // Clips that settled once in this run: settling again means they changed.
    QSet<QUrl> m_settledBefore;
    bool m_deciding = false;
    bool m_relist = true;
};

} // namespace clipferry
