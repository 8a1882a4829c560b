#pragma once

#include "Result.h"
#include "UploadItem.h"

#include <QCoro/QCoroTask>
#include <QHash>
#include <QList>
#include <QObject>
#include <QUrl>
#include <functional>

namespace clipferry {

class MuxClient;

// Carries dropped files to the service, one asset each: creates the upload, sends the
// bytes, waits for the asset, titles it and waits until it plays. At most
// `maxConcurrent` files are in flight; the rest wait in "Pending" in drop order.
// The owner supplies the steps that are not the queue's: readiness, the log, the
// library's change set and the work after a batch.
class UploadQueue : public QObject {
    Q_OBJECT

public:
    struct Options {
        QUrl streamBase;
        int maxConcurrent = 3;
    };
    struct Hooks {
        // Awaited before each item's first request: credentials read and handed to the client.
        std::function<QCoro::Task<>()> beforeItem;
        // Awaited once after the last item of a batch.
        std::function<QCoro::Task<>()> afterBatch;
        std::function<void(const QString& message)> log;
        std::function<void(const QString& assetID)> assetCreated;
    };

    UploadQueue(MuxClient& mux, Options options, Hooks hooks, QObject* parent = nullptr);
    ~UploadQueue() override;

    [[nodiscard]] const QList<UploadItem>& items() const { return m_items; }
    [[nodiscard]] qint64 pendingBatchUploads() const { return m_pendingBatchUploads; }
    [[nodiscard]] qint64 completedBatchUploads() const { return m_completedBatchUploads; }

    void startUploadBatch(const QList<QUrl>& files);
    [[nodiscard]] QCoro::Task<> processUpload(qsizetype index);
    void setUploadStatus(qsizetype index, UploadStatus status, double progress);
    [[nodiscard]] QCoro::Task<> finishBatchItem();

Q_SIGNALS:
    void itemAppended(qsizetype index);
    void itemChanged(qsizetype index);
    // An item reached Done: its file now plays as this asset.
    void itemDone(qsizetype index, const QUrl& fileURL, const QString& assetID);

private:
    void startWaiting();
    [[nodiscard]] QCoro::Task<Result<void>> runSteps(qsizetype index);
    void reportProgress(qsizetype index, qint64 sent, qint64 total);
    [[nodiscard]] QString streamingAddress(const QString& playbackID) const;
    void log(const QString& message) const;

    MuxClient& m_mux;
    Options m_options;
    Hooks m_hooks;
    QList<UploadItem> m_items;
    QList<qsizetype> m_waiting;
    int m_running = 0;
    qint64 m_pendingBatchUploads = 0;
    qint64 m_completedBatchUploads = 0;
    QHash<qsizetype, qint64> m_lastProgressReport;
};

} // namespace clipferry
