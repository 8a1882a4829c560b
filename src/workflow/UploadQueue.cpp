#include "workflow/UploadQueue.h"

#include "model/DetachedTask.h"
#include "model/StateFolder.h"
#include "service/MuxClient.h"
#include "service/ServiceTransport.h"

#include <QFileInfo>
#include <QPointer>

namespace clipferry {

UploadQueue::UploadQueue(MuxClient& mux, Options options, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_mux(mux)
    , m_options(std::move(options))
    , m_hooks(std::move(hooks)) {}

// Running items are not stopped here: a stop would resume their tasks while this object
// is half gone. Their requests end with the client, and the tasks find this object gone.
UploadQueue::~UploadQueue() = default;

void UploadQueue::log(const QString& message) const {
    if (m_hooks.log)
        m_hooks.log(message);
}

void UploadQueue::joinBatch(qsizetype count) {
    // Files dropped while a batch still runs join it, so the completion step (relist
    // and sheet post) runs once, after the last file of either.
    if (m_completedBatchUploads == m_pendingBatchUploads) {
        m_pendingBatchUploads = count;
        m_completedBatchUploads = 0;
        m_batchDone = 0;
        m_batchFailed = 0;
    } else {
        m_pendingBatchUploads += count;
    }
}

void UploadQueue::append(UploadItem item, UploadRecord record, bool journaled) {
    m_items.append(std::move(item));
    Job job;
    job.record = std::move(record);
    job.journaled = journaled;
    m_jobs.append(std::move(job));
    const auto index = m_items.size() - 1;
    m_waiting.append(index);
    Q_EMIT itemAppended(index);
}

void UploadQueue::startUploadBatch(const QList<QUrl>& files) {
    joinBatch(files.size());
    for (const auto& file : files) {
        auto item = UploadItem::make(file);
        UploadRecord record;
        record.filePath = file.toLocalFile();
        record.title = item.title;
        append(std::move(item), std::move(record), false);
    }
    log(QStringLiteral("Started upload batch with %1 videos.").arg(files.size()));
    // The items start from the event loop, after this step, as tasks of their own.
    QMetaObject::invokeMethod(this, &UploadQueue::startWaiting, Qt::QueuedConnection);
}

void UploadQueue::resumeUnfinished() {
    if (m_options.journalPath.isEmpty() || !QFileInfo::exists(m_options.journalPath))
        return;
    auto records = readWholeFile(m_options.journalPath).and_then(decodeUploadJournal);
    if (!records) {
        log(records.error().message);
        return;
    }
    if (records->isEmpty())
        return;
    joinBatch(records->size());
    for (auto& record : *records) {
        auto item = UploadItem::make(QUrl::fromLocalFile(record.filePath));
        item.title = record.title;
        append(std::move(item), std::move(record), true);
    }
    log(QStringLiteral("Resuming %1 unfinished uploads.").arg(records->size()));
    QMetaObject::invokeMethod(this, &UploadQueue::startWaiting, Qt::QueuedConnection);
}

void UploadQueue::startWaiting() {
    const int limit = std::max(1, m_options.maxConcurrent);
    while (m_running < limit && !m_waiting.isEmpty()) {
        ++m_running;
        runDetached(processUpload(m_waiting.takeFirst()));
    }
}

QCoro::Task<> UploadQueue::processUpload(qsizetype index) {
    if (index < 0 || index >= m_items.size())
        co_return;
    QPointer self(this);
    m_jobs[index].running = true;
    m_jobs[index].stop = std::make_shared<StopSource>();
    if (m_hooks.beforeItem) {
        co_await m_hooks.beforeItem();
        if (!self)
            co_return;
    }

    auto outcome = co_await runSteps(index);
    if (!self)
        co_return;
    if (outcome && m_hooks.afterItemDone) {
        // Named first: g++ 12 destroys a temporary inside a co_await expression twice.
        auto afterDone =
            m_hooks.afterItemDone(m_items[index].fileURL, m_jobs[index].record.assetID);
        co_await std::move(afterDone);
        if (!self)
            co_return;
    }
    m_jobs[index].running = false;
    // A cancelled item was logged when the user cancelled it; it counts as finished.
    if (!m_jobs[index].stop->isStopped()) {
        if (!outcome)
            fail(index, outcome.error());
        else
            ++m_batchDone;
    }
    --m_running;
    startWaiting();
    co_await finishBatchItem();
}

void UploadQueue::fail(qsizetype index, const Error& error) {
    auto& item = m_items[index];
    item.status = UploadStatus::failed;
    item.error = error.message;
    item.progress = 1.0;
    item.detail.clear();
    ++m_batchFailed;
    Q_EMIT itemChanged(index);
    log(QStringLiteral("ERROR: ") + error.message);
}

void UploadQueue::setUploadStatus(qsizetype index, UploadStatus status, double progress) {
    auto& item = m_items[index];
    item.status = status;
    item.progress = progress;
    if (status != UploadStatus::uploading)
        item.detail.clear();
    Q_EMIT itemChanged(index);
    log(uploadStatusLabel(status) + QStringLiteral(" \u2013 ") + item.title);
}

QCoro::Task<> UploadQueue::finishBatchItem() {
    ++m_completedBatchUploads;
    if (m_completedBatchUploads != m_pendingBatchUploads)
        co_return;
    QPointer self(this);
    Q_EMIT batchFinished(m_batchDone, m_batchFailed);
    if (!self)
        co_return;
    log(QStringLiteral("Upload batch completed. Updating Google Sheet\u2026"));
    if (m_hooks.afterBatch)
        co_await m_hooks.afterBatch();
}

// --- cancel and retry ----------------------------------------------------------------

bool UploadQueue::canCancel(qsizetype index) const {
    if (index < 0 || index >= m_items.size())
        return false;
    const auto status = m_items[index].status;
    return status != UploadStatus::done && status != UploadStatus::failed &&
           status != UploadStatus::cancelled;
}

bool UploadQueue::canRetry(qsizetype index) const {
    if (index < 0 || index >= m_items.size() || m_jobs[index].running)
        return false;
    const auto status = m_items[index].status;
    return status == UploadStatus::failed || status == UploadStatus::cancelled;
}

int UploadQueue::failedCount() const {
    return static_cast<int>(std::count_if(m_items.begin(), m_items.end(), [](const auto& item) {
        return item.status == UploadStatus::failed;
    }));
}

void UploadQueue::cancel(qsizetype index) {
    if (!canCancel(index))
        return;
    auto& job = m_jobs[index];
    const bool waiting = m_waiting.removeOne(index);
    setUploadStatus(index, UploadStatus::cancelled, m_items[index].progress);
    writeJournal(index, false);
    if (waiting) {
        runDetached(finishBatchItem());
        return;
    }
    if (job.stop)
        job.stop->stop();
    if (!job.record.assetID.isEmpty() || job.record.stage >= UploadStatus::waitingAsset) {
        log(QStringLiteral("Stopped waiting for %1; its asset stays in the library.")
                .arg(m_items[index].title));
        return;
    }
    if (!job.record.uploadID.isEmpty())
        cancelOnService(job.record.uploadID);
}

void UploadQueue::cancelOnService(const QString& uploadID) {
    auto task = [](QPointer<UploadQueue> self, MuxClient& mux, QString id) -> QCoro::Task<> {
        auto cancelled = co_await mux.cancelUpload(id);
        if (self && !cancelled)
            self->log(QStringLiteral("Could not cancel the upload %1: %2")
                          .arg(id, cancelled.error().message));
    };
    runDetached(task(QPointer(this), m_mux, uploadID));
}

void UploadQueue::retry(qsizetype index) {
    if (!canRetry(index))
        return;
    joinBatch(1);
    auto& item = m_items[index];
    item.error.reset();
    setUploadStatus(index, UploadStatus::pending, 0.0);
    writeJournal(index, true);
    m_waiting.append(index);
    QMetaObject::invokeMethod(this, &UploadQueue::startWaiting, Qt::QueuedConnection);
}

void UploadQueue::retryAllFailed() {
    for (qsizetype index = 0; index < m_items.size(); ++index)
        if (m_items[index].status == UploadStatus::failed)
            retry(index);
}

// --- journal -----------------------------------------------------------------------

void UploadQueue::writeJournal(qsizetype index, bool keep) {
    if (m_options.journalPath.isEmpty() || (!keep && !m_jobs[index].journaled))
        return;
    m_jobs[index].journaled = keep;
    QList<UploadRecord> records;
    for (const auto& job : m_jobs)
        if (job.journaled)
            records.append(job.record);
    auto written = writeFileAtomically(m_options.journalPath, encodeUploadJournal(records));
    if (!written)
        log(QStringLiteral("Failed to save the upload journal: ") + written.error().message);
}

} // namespace clipferry
