#pragma once

#include "model/Result.h"
#include "model/UploadItem.h"
#include "workflow/DeliveryLedger.h"
#include "workflow/TransferMeter.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace clipferry {

class ActivityLog;
class Credentials;
class MuxClient;
class NetworkReachability;
class StopSource;

// Failures no later attempt can mend: the file is gone or changed, the service errored
// the upload or the asset, or the asset is gone.
[[nodiscard]] bool canNeverSucceed(const Error& error);

// Carries dropped files to the service, one asset each: creates the upload, sends the
// bytes, waits for the asset, titles it and waits until it plays. At most
// `maxConcurrent` files are in flight; the rest wait in "Pending" in drop order. Every
// file is written to the delivery ledger when it is accepted and each stage as it is
// reached, so it goes on from its stage after a crash or a retry with the IDs it has: a
// file never becomes two assets, and a file another process is sending is not taken.
// Each item waits for the credentials before its first request.
class UploadQueue : public QObject {
    Q_OBJECT

public:
    struct Options {
        QUrl streamBase;
        int maxConcurrent = 3;
        // Failed entries taken over from another process come back as failed rows, to stay
        // until the user removes or retries them; without rows (a command-line run) each
        // is reported once and dropped, so the next attempt at its file starts afresh.
        bool showFailedEntries = true;
        // While the service cannot be reached an item waits, trying its step again after
        // `offlineRetryDelay`, doubling up to `offlineRetryCap`.
        std::chrono::milliseconds offlineRetryDelay{1000};
        std::chrono::milliseconds offlineRetryCap{30000};
        // Ends those waits, and a transfer's, when the network comes back; outlives the queue.
        NetworkReachability* reachability = nullptr;
    };
    // The whole list at a glance, for the line above it.
    struct Totals {
        int finished = 0; // done
        int count = 0;    // all but cancelled
        qint64 bytesSent = 0;
        qint64 bytesTotal = 0;
        // At the speed of the transfers now running; none while nothing moves.
        std::optional<qint64> secondsLeft;
    };
    // Awaited after an item reached Done and before its batch may end: the delivery
    // tracker's removal of the assets the file replaces.
    using AfterItemDone = std::function<QCoro::Task<>(QUrl fileURL, QString assetID)>;

    UploadQueue(MuxClient& mux, DeliveryLedger& ledger, Credentials& credentials, ActivityLog& log,
                Options options, QObject* parent = nullptr);
    void setAfterItemDone(AfterItemDone step) { m_afterItemDone = std::move(step); }
    ~UploadQueue() override;

    [[nodiscard]] const QList<UploadItem>& items() const { return m_items; }
    [[nodiscard]] Totals totals() const;
    // "3 of 12 · 1.4 of 6.2 GB · 12 min left"; empty for an empty list.
    [[nodiscard]] QString totalsText() const;
    // How many items are on their way (running, or waiting to run).
    [[nodiscard]] int activeCount() const;
    // What to ask before the window closes while items are on their way: they resume at
    // the next start, so quitting loses nothing. Nothing to ask when none are.
    [[nodiscard]] std::optional<QString> quitQuestion() const;
    // How many uploads run at once, from now on.
    void setMaxConcurrent(int count);
    [[nodiscard]] int maxConcurrent() const { return m_options.maxConcurrent; }
    [[nodiscard]] qint64 pendingBatchUploads() const { return m_pendingBatchUploads; }
    [[nodiscard]] qint64 completedBatchUploads() const { return m_completedBatchUploads; }

    // Accepts the files into the ledger and starts them as one batch. A file already in
    // flight here or in another process is passed over with a log line; one whose entry a
    // dead process left is taken over from its stage. Returns how many joined the batch.
    qsizetype startUploadBatch(const QList<QUrl>& files);
    // Brings back, as one batch, the ledger's unfinished entries that no living process
    // runs (with `paths`, only those of these files), each from its stage; entries that
    // failed for good come back as failed rows. Returns how many joined the batch.
    qsizetype resumeUnfinished(const QStringList& paths = {});
    [[nodiscard]] QCoro::Task<> processUpload(qsizetype index);
    void setUploadStatus(qsizetype index, UploadStatus status, double progress);
    [[nodiscard]] QCoro::Task<> finishBatchItem();

    // What a row offers, as buttons and keys; `noAction` is none.
    enum RowAction { noAction, cancelAction, retryAction, pauseAction, resumeAction, removeAction };
    // The row's actions, in the order its buttons stand from the right.
    [[nodiscard]] QList<RowAction> actions(qsizetype index) const;
    void perform(qsizetype index, RowAction action);
    // Pauses everything on its way, or, when nothing is, resumes what was paused.
    void pauseOrResumeAll();
    // Pending and running items can be cancelled; failed and cancelled ones retried;
    // finished ones (done, failed, cancelled) removed.
    [[nodiscard]] bool canCancel(qsizetype index) const;
    [[nodiscard]] bool canRetry(qsizetype index) const;
    [[nodiscard]] bool canRemove(qsizetype index) const;
    // Items on their way can be paused, keeping their upload session; paused ones resumed.
    [[nodiscard]] bool canPause(qsizetype index) const;
    [[nodiscard]] bool canResume(qsizetype index) const;
    void pause(qsizetype index);
    void resume(qsizetype index);
    void pauseAll();
    void resumeAll();
    [[nodiscard]] int failedCount() const;
    // Files handed to this queue that a living process was already sending, so they were
    // left to it; oldest first.
    [[nodiscard]] const QStringList& filesRunElsewhere() const { return m_runElsewhere; }
    void cancel(qsizetype index);
    void retry(qsizetype index);
    void retryAllFailed();
    // Takes a finished row off the list. A failed file's ledger entry goes with it, so the
    // next start does not show it again; a delivered one stays until a listing shows it.
    void remove(qsizetype index);
    // Removes every row that reached Done.
    void clearFinished();

Q_SIGNALS:
    void itemAppended(qsizetype index);
    void itemChanged(qsizetype index);
    // A row is about to go, and has gone: the rows after it move up by one.
    void itemAboutToBeRemoved(qsizetype index);
    void itemRemoved(qsizetype index);
    // An item reached Done: its file now plays as this asset.
    void itemDone(qsizetype index, const QUrl& fileURL, const QString& assetID);
    // The last item of a batch ended; counts of the items done and failed in it.
    void batchFinished(int done, int failed);
    // The service made an asset from a file of this queue.
    void assetCreated(const QString& assetID);

private:
    struct Job {
        // The item's handle: tasks hold it across their waits, as rows may go meanwhile.
        qint64 key = 0;
        UploadRecord record;
        std::shared_ptr<StopSource> stop;
        bool running = false;
        // The service cannot be reached; the row says so until bytes or answers come.
        bool unreachable = false;
        TransferMeter meter;
    };

    void joinBatch(qsizetype count);
    void append(UploadRecord record);
    void startBatch(const QList<UploadRecord>& records, const QString& logLine);
    // Takes entries claimed from the ledger into the list; returns those to run.
    [[nodiscard]] QList<UploadRecord> adopt(QList<UploadRecord> claimed);
    void startWaiting();
    // The row of an item's handle; -1 once the row is gone.
    [[nodiscard]] qsizetype indexOf(qint64 key) const;
    [[nodiscard]] QCoro::Task<> runItem(qint64 key);
    [[nodiscard]] QCoro::Task<Result<void>> runSteps(qint64 key);
    [[nodiscard]] QCoro::Task<Result<void>> createSession(qint64 key);
    [[nodiscard]] QCoro::Task<Result<void>> transfer(qint64 key, bool resume);
    // Ends the item's direct upload on the service and forgets the item: its file will
    // not be sent.
    [[nodiscard]] tl::unexpected<Error> abandon(qsizetype index, const QString& message);
    void cancelOnService(const QString& uploadID);
    void reportProgress(qsizetype index, qint64 sent, qint64 total);
    void setUnreachable(qsizetype index, bool unreachable);
    // The ledger holds the item as paused; its own stage stays in memory.
    void savePaused(qsizetype index);
    void fail(qsizetype index, const Error& error);
    // The service has or will make an asset from a transfer that must not stand: it is
    // waited for and deleted, and the entry goes when it is gone.
    void discardAsset(qsizetype index, const QString& logLine);
    void save(qsizetype index);
    void forget(qsizetype index);
    [[nodiscard]] QString streamingAddress(const QString& playbackID) const;
    void log(const QString& message) const;

    MuxClient& m_mux;
    DeliveryLedger& m_ledger;
    Credentials& m_credentials;
    ActivityLog& m_log;
    Options m_options;
    AfterItemDone m_afterItemDone;
    QList<UploadItem> m_items;
    QList<Job> m_jobs;       // beside m_items, index for index
    QList<qint64> m_waiting; // handles, in the order they start
    qint64 m_nextKey = 1;
    QStringList m_runElsewhere;
    int m_running = 0;
    qint64 m_pendingBatchUploads = 0;
    qint64 m_completedBatchUploads = 0;
    int m_batchDone = 0;
    int m_batchFailed = 0;
};

} // namespace clipferry
