#pragma once

#include "workflow/DeliveryState.h"

#include <QCoro/QCoroTask>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <chrono>
#include <optional>

namespace clipferry {

class ActivityLog;
class Credentials;
class DeliveryLedger;
class LibrarySync;
class LocalFolder;
class MuxClient;
class UploadQueue;

// Local clips against the service library: the delivery state of every file of the local
// folder, kept up to date with the library's last complete listing and the upload list, and
// the decisions of "Upload N" and of a drop of files the service already holds.
//   tracker.status(file).state == Delivery::changed
//   tracker.startDelivery(tracker.uploadCandidates(shownFiles), ChangedClips::replace);
class DeliveryTracker : public QObject {
    Q_OBJECT
public:
    struct Peers {
        LibrarySync& library;
        UploadQueue& queue;
        LocalFolder& folder;
        DeliveryLedger& ledger;
        MuxClient& client;
        Credentials& credentials;
        ActivityLog& log;
    };
    // A listing older than `maxListingAge` is renewed in the background while the local
    // folder is shown.
    DeliveryTracker(Peers peers, std::chrono::milliseconds maxListingAge);
    // Whether the local folder is on view, which is when its states must be current.
    void setFolderShown(bool shown);
    ~DeliveryTracker() override;

    [[nodiscard]] bool hasListing() const { return m_index.has_value(); }
    // Unknown for a file outside the local folder.
    [[nodiscard]] DeliveryStatus status(const QUrl& file) const { return m_states.value(file); }
    // Local files with this state.
    [[nodiscard]] qsizetype count(Delivery state) const;
    // The state of any file, in the local folder or not, against what is known now.
    [[nodiscard]] DeliveryStatus statusOf(const QUrl& file) const;
    // Takes in what other processes delivered or began since the ledger was last read.
    void refreshFromLedger();

    // What "Upload N" sends of the files on show: those not on the service and the changed.
    struct Candidates {
        QList<QUrl> missing;
        QList<QUrl> changed;
        [[nodiscard]] qsizetype size() const { return missing.size() + changed.size(); }
    };
    [[nodiscard]] Candidates uploadCandidates(const QList<QUrl>& shown) const;
    enum class ChangedClips { replace, keepBoth };
    // One batch; a replaced clip's old assets are deleted once its new one is Done.
    void startDelivery(const Candidates& candidates, ChangedClips changed);

    // Of these files, those the service holds by name or that were delivered since the
    // listing.
    [[nodiscard]] QList<QUrl> knownFiles(const QList<QUrl>& files) const;
    // A drop's question: the held clips wait for one of `answers`, the last being Skip.
    struct DropQuestion {
        QString text;
        QStringList answers;
        QList<QUrl> known;    // on the service by name
        QList<QUrl> unsorted; // new, but named against the convention
    };
    // A drop or an "Open with": the clips among the items (a folder's too, with its
    // subfolders' when the switch says so); the rest is named in one log line. New clips
    // named by the convention start at once, each as a batch of its own; the others wait
    // for the question returned.
    [[nodiscard]] QCoro::Task<std::optional<DropQuestion>> dropFiles(QList<QUrl> items);
    void answerDrop(const DropQuestion& question, int answer);
    // "Upload N" on the files on show: starts at once when no clip changed since its
    // upload; otherwise waits for an answer to the question returned.
    struct DeliveryQuestion {
        QString text;
        QStringList answers; // Replace, Keep both, Cancel
        Candidates candidates;
    };
    [[nodiscard]] std::optional<DeliveryQuestion> deliverShown(const QList<QUrl>& shown);
    void answerDelivery(const DeliveryQuestion& question, int answer);

    // The upload queue's step after an item is Done: the assets its file replaces go.
    [[nodiscard]] QCoro::Task<> afterItemDone(QUrl file, QString newAssetID);

Q_SIGNALS:
    // Any file's state may have changed.
    void statesChanged();

private:
    void takeListing();
    void recompute();
    void noteUploads();
    void readLedger();
    void renewListingIfOld();
    [[nodiscard]] QStringList matchingAssets(const QUrl& file) const;
    void startBatch(const QList<QUrl>& files, const QList<QUrl>& replacing);

    Peers m_peers;
    bool m_folderShown = false;
    std::chrono::milliseconds m_maxListingAge;
    std::optional<DeliveryIndex> m_index;
    QHash<QUrl, DeliveryStatus> m_states;
    // From the ledger: files accepted and not finished, in any process, and files
    // delivered since the last listing with their assets.
    QSet<QUrl> m_inFlight;
    QHash<QUrl, QString> m_delivered;
    // The upload list's files and stages when the ledger was last read.
    QHash<QUrl, int> m_seenUploads;
    // File -> the asset ids its upload replaces.
    QHash<QUrl, QStringList> m_replacing;
    bool m_listing = false;
};

} // namespace clipferry
