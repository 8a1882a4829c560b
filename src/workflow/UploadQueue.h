#pragma once

#include "model/Result.h"
#include "model/UploadItem.h"
#include "workflow/TransferMeter.h"
#include "workflow/UploadJournal.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>

namespace clipferry {

class MuxClient;
class StopSource;

// Carries dropped files to the service, one asset each: creates the upload, sends the
// bytes, waits for the asset, titles it and waits until it plays. At most
// `maxConcurrent` files are in flight; the rest wait in "Pending" in drop order. An
// unfinished item is kept in a journal, so it goes on from its stage after a restart or
// a retry with the IDs it has: a file never becomes two assets. The owner supplies the
// steps that are not the queue's: readiness, the log, the change set, the batch's end.
class UploadQueue : public QObject {
    Q_OBJECT

public:
    struct Options {
        QUrl streamBase;
        int maxConcurrent = 3;
        // The journal of unfinished uploads; empty: none is kept.
        QString journalPath;
    };
    struct Hooks {
        // Awaited before each item's first request: credentials read and handed to the client.
        std::function<QCoro::Task<>()> beforeItem;
        // Awaited once after the last item of a batch.
        std::function<QCoro::Task<>()> afterBatch;
        std::function<void(const QString& message)> log;
        std::function<void(const QString& assetID)> assetCreated;
        // Awaited after an item reached Done and before its batch may end.
        std::function<QCoro::Task<>(QUrl fileURL, QString assetID)> afterItemDone;
    };

    UploadQueue(MuxClient& mux, Options options, Hooks hooks, QObject* parent = nullptr);
    ~UploadQueue() override;

    [[nodiscard]] const QList<UploadItem>& items() const { return m_items; }
    [[nodiscard]] qint64 pendingBatchUploads() const { return m_pendingBatchUploads; }
    [[nodiscard]] qint64 completedBatchUploads() const { return m_completedBatchUploads; }

    void startUploadBatch(const QList<QUrl>& files);
    // Brings the journal's unfinished uploads back as one batch, each from its stage.
    void resumeUnfinished();
    [[nodiscard]] QCoro::Task<> processUpload(qsizetype index);
    void setUploadStatus(qsizetype index, UploadStatus status, double progress);
    [[nodiscard]] QCoro::Task<> finishBatchItem();

    // Pending and running items can be cancelled; failed and cancelled ones retried.
    [[nodiscard]] bool canCancel(qsizetype index) const;
    [[nodiscard]] bool canRetry(qsizetype index) const;
    [[nodiscard]] int failedCount() const;
    void cancel(qsizetype index);
    void retry(qsizetype index);
    void retryAllFailed();

Q_SIGNALS:
    void itemAppended(qsizetype index);
    void itemChanged(qsizetype index);
    // An item reached Done: its file now plays as this asset.
    void itemDone(qsizetype index, const QUrl& fileURL, const QString& assetID);
    // The last item of a batch ended; counts of the items done and failed in it.
    void batchFinished(int done, int failed);

private:
    struct Job {
        UploadRecord record;
        std::shared_ptr<StopSource> stop;
        bool running = false;
        bool journaled = false;
        TransferMeter meter;
    };

    void joinBatch(qsizetype count);
    void append(UploadItem item, UploadRecord record, bool journaled);
    void startWaiting();
    [[nodiscard]] QCoro::Task<Result<void>> runSteps(qsizetype index);
    [[nodiscard]] QCoro::Task<Result<void>> createSession(qsizetype index);
    [[nodiscard]] QCoro::Task<Result<void>> transfer(qsizetype index, bool resume);
    // Ends the item's direct upload on the service and forgets the item: its file will
    // not be sent.
    [[nodiscard]] tl::unexpected<Error> abandon(qsizetype index, const QString& message);
    void cancelOnService(const QString& uploadID);
    void reportProgress(qsizetype index, qint64 sent, qint64 total);
    void fail(qsizetype index, const Error& error);
    void writeJournal(qsizetype index, bool keep);
    [[nodiscard]] QString streamingAddress(const QString& playbackID) const;
    void log(const QString& message) const;

    MuxClient& m_mux;
    Options m_options;
    Hooks m_hooks;
    QList<UploadItem> m_items;
    QList<Job> m_jobs; // beside m_items, index for index
    QList<qsizetype> m_waiting;
    int m_running = 0;
    qint64 m_pendingBatchUploads = 0;
    qint64 m_completedBatchUploads = 0;
    int m_batchDone = 0;
    int m_batchFailed = 0;
};

} // namespace clipferry
