#include "workflow/UploadQueue.h"

#include "model/DetachedTask.h"
#include "model/DisplayText.h"
#include "model/StateFolder.h"
#include "service/MuxClient.h"
#include "service/NetworkReachability.h"
#include "service/PacerClock.h"
#include "service/ServiceError.h"
#include "service/ServiceTransport.h"
#include "workflow/ActivityLog.h"
#include "workflow/Credentials.h"

#include <QFileInfo>
#include <QPointer>

namespace clipferry {

UploadQueue::UploadQueue(MuxClient& mux, DeliveryLedger& ledger, Credentials& credentials,
                         ActivityLog& log, Options options, QObject* parent)
    : QObject(parent)
    , m_mux(mux)
    , m_ledger(ledger)
    , m_credentials(credentials)
    , m_log(log)
    , m_options(std::move(options)) {}

// Running items are not stopped here: a stop would resume their tasks while this object
// is half gone. Their requests end with the client, and the tasks find this object gone.
UploadQueue::~UploadQueue() = default;

void UploadQueue::log(const QString& message) const {
    m_log.append(message);
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

void UploadQueue::append(UploadRecord record) {
    auto item = UploadItem::make(QUrl::fromLocalFile(record.filePath));
    if (!record.title.isEmpty())
        item.title = record.title;
    item.bytesTotal = record.size > 0 ? record.size : QFileInfo(record.filePath).size();
    m_items.append(std::move(item));
    Job job;
    job.key = m_nextKey++;
    job.record = std::move(record);
    m_waiting.append(job.key);
    m_jobs.append(std::move(job));
    Q_EMIT itemAppended(m_items.size() - 1);
}

void UploadQueue::startBatch(const QList<UploadRecord>& records, const QString& logLine) {
    joinBatch(records.size());
    for (const auto& record : records)
        append(record);
    log(logLine.arg(records.size()));
    // The items start from the event loop, after this step, as tasks of their own.
    QMetaObject::invokeMethod(this, &UploadQueue::startWaiting, Qt::QueuedConnection);
}

qsizetype UploadQueue::startUploadBatch(const QList<QUrl>& files) {
    QSet<QString> inThisList;
    for (qsizetype i = 0; i < m_items.size(); ++i)
        if (m_jobs[i].running || m_items[i].status == UploadStatus::pending)
            inThisList.insert(m_jobs[i].record.filePath);
    // A drop starts its files one by one: only the unfinished entries' names are read.
    const QSet<QString> unfinished = m_ledger.unfinishedFiles().value_or(QSet<QString>{});

    QList<UploadRecord> fresh;
    QStringList orphans;
    for (const auto& file : files) {
        const QString path = file.toLocalFile();
        if (inThisList.contains(path)) {
            log(QStringLiteral("Already uploading %1.").arg(file.fileName()));
        } else if (unfinished.contains(path)) {
            orphans.append(path);
        } else {
            UploadRecord record;
            record.filePath = path;
            record.title = withoutExtension(file.fileName());
            fresh.append(std::move(record));
        }
        inThisList.insert(path);
    }
    QList<UploadRecord> records;
    // An entry of one of these files that a dead process left goes on from its stage;
    // one a living process runs is its own.
    if (!orphans.isEmpty()) {
        if (auto claimed = m_ledger.claimOrphans(orphans))
            records = adopt(std::move(*claimed));
        for (const auto& path : orphans)
            if (std::none_of(records.cbegin(), records.cend(),
                             [&path](const UploadRecord& r) { return r.filePath == path; })) {
                log(QStringLiteral("%1 is being uploaded by another Clipferry.")
                        .arg(QFileInfo(path).fileName()));
                m_runElsewhere.append(path);
            }
    }
    if (!fresh.isEmpty()) {
        auto accepted = m_ledger.accept(fresh);
        if (!accepted)
            log(QStringLiteral("Failed to save the upload journal: ") + accepted.error().message);
        else
            for (const auto& record : fresh)
                if (std::none_of(accepted->cbegin(), accepted->cend(), [&](const UploadRecord& r) {
                        return r.filePath == record.filePath;
                    })) {
                    log(QStringLiteral("%1 is being uploaded by another Clipferry.")
                            .arg(QFileInfo(record.filePath).fileName()));
                    m_runElsewhere.append(record.filePath);
                }
        records += accepted ? std::move(*accepted) : std::move(fresh);
    }
    startBatch(records, QStringLiteral("Started upload batch with %1 videos."));
    return records.size();
}

qsizetype UploadQueue::resumeUnfinished(const QStringList& paths) {
    auto claimed = m_ledger.claimOrphans(paths);
    if (!claimed) {
        log(claimed.error().message);
        return 0;
    }
    const auto resumed = adopt(std::move(*claimed));
    if (!resumed.isEmpty())
        startBatch(resumed, QStringLiteral("Resuming %1 unfinished uploads."));
    return resumed.size();
}

QList<UploadRecord> UploadQueue::adopt(QList<UploadRecord> claimed) {
    QList<UploadRecord> runnable;
    for (auto& record : claimed) {
        if (record.stage == UploadStatus::paused) {
            // The ledger keeps no stage for a paused entry: its IDs say how far it got.
            record.stage = record.uploadID.isEmpty()  ? UploadStatus::pending
                           : record.assetID.isEmpty() ? UploadStatus::uploading
                                                      : UploadStatus::waitingAsset;
            // A run for named files sends them, paused in the window or not.
            if (!m_options.showFailedEntries) {
                runnable.append(std::move(record));
                continue;
            }
            append(std::move(record));
            m_waiting.removeLast();
            const auto index = m_items.size() - 1;
            m_items[index].status = UploadStatus::paused;
            Q_EMIT itemChanged(index);
            continue;
        }
        if (record.stage != UploadStatus::failed && record.stage != UploadStatus::cancelled) {
            runnable.append(std::move(record));
            continue;
        }
        if (record.stage == UploadStatus::failed && !m_options.showFailedEntries) {
            log(QStringLiteral("An earlier upload of %1 failed: %2")
                    .arg(QFileInfo(record.filePath).fileName(), record.error));
            if (auto removed = m_ledger.remove(record.ledgerID); !removed)
                log(QStringLiteral("Failed to save the upload journal: ") +
                    removed.error().message);
            continue;
        }
        // A failure for good is shown once more, not tried again; a cancelled transfer
        // that had completed still has an asset to remove.
        const UploadStatus stage = record.stage;
        append(std::move(record));
        m_waiting.removeLast();
        const auto index = m_items.size() - 1;
        auto& item = m_items[index];
        item.status = stage;
        item.progress = 1.0;
        if (stage == UploadStatus::failed)
            item.error = m_jobs[index].record.error;
        Q_EMIT itemChanged(index);
        if (stage == UploadStatus::cancelled)
            discardAsset(index, QString());
    }
    return runnable;
}

void UploadQueue::startWaiting() {
    const int limit = std::max(1, m_options.maxConcurrent);
    while (m_running < limit && !m_waiting.isEmpty()) {
        ++m_running;
        runDetached(runItem(m_waiting.takeFirst()));
    }
}

qsizetype UploadQueue::indexOf(qint64 key) const {
    for (qsizetype i = 0; i < m_jobs.size(); ++i)
        if (m_jobs[i].key == key)
            return i;
    return -1;
}

QCoro::Task<> UploadQueue::processUpload(qsizetype index) {
    if (index < 0 || index >= m_items.size())
        co_return;
    ++m_running;
    co_await runItem(m_jobs[index].key);
}

// A running item's row stays while it runs (only finished rows can be removed), but the
// rows before it may go: its index is looked up again after every wait.
QCoro::Task<> UploadQueue::runItem(qint64 key) {
    QPointer self(this);
    qsizetype index = indexOf(key);
    if (index < 0) {
        --m_running;
        co_return;
    }
    m_jobs[index].running = true;
    m_jobs[index].stop = std::make_shared<StopSource>();
    const auto stop = m_jobs[index].stop;
    co_await m_credentials.waitUntilLoaded();
    if (!self)
        co_return;
    m_mux.setCredentials(m_credentials.tokenID(), m_credentials.tokenSecret());

    auto outcome = co_await runSteps(key);
    if (!self)
        co_return;
    // The service cannot be reached: the item waits, and its step is tried again now and
    // then, going on from what it holds, until the network is back.
    for (auto delay = m_options.offlineRetryDelay;
         !stop->isStopped() && !outcome && isNetworkOutage(outcome.error());
         delay = std::min(delay * 2, m_options.offlineRetryCap)) {
        setUnreachable(indexOf(key), true);
        const auto wait =
            m_options.reachability ? m_options.reachability->stopOrOnline(stop) : stop;
        auto slept = sleepUnlessStopped(delay, wait);
        co_await std::move(slept);
        if (!self)
            co_return;
        if (stop->isStopped())
            break;
        outcome = co_await runSteps(key);
        if (!self)
            co_return;
    }
    index = indexOf(key);
    setUnreachable(index, false);
    if (outcome && m_afterItemDone) {
        // Named first: g++ 12 destroys a temporary inside a co_await expression twice.
        auto afterDone = m_afterItemDone(m_items[index].fileURL, m_jobs[index].record.assetID);
        co_await std::move(afterDone);
        if (!self)
            co_return;
        index = indexOf(key);
    }
    m_jobs[index].running = false;
    // A paused item holds its place in the ledger as paused (a step that ended after the
    // pause may have written its own stage); it counts as finished until resumed.
    if (m_items[index].status == UploadStatus::paused) {
        savePaused(index);
        Q_EMIT itemChanged(index);
    }
    // A cancelled item was logged when the user cancelled it; it counts as finished.
    if (!stop->isStopped()) {
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
    // A failure that no later attempt can mend is kept as such, so a restart shows it
    // instead of sending the file again; any other failure goes on from its stage then.
    if (canNeverSucceed(error)) {
        auto& record = m_jobs[index].record;
        record.stage = UploadStatus::failed;
        record.error = error.message;
        save(index);
    }
    auto& item = m_items[index];
    item.status = UploadStatus::failed;
    item.error = error.message;
    item.progress = 1.0;
    item.detail.clear();
    m_jobs[index].unreachable = false;
    ++m_batchFailed;
    Q_EMIT itemChanged(index);
    log(QStringLiteral("ERROR: ") + error.message);
}

void UploadQueue::setUploadStatus(qsizetype index, UploadStatus status, double progress) {
    auto& item = m_items[index];
    // A step tried again (after the network came back) says nothing new.
    const bool changed = item.status != status;
    item.status = status;
    item.progress = progress;
    if (status == UploadStatus::done)
        item.bytesSent = item.bytesTotal;
    if (status != UploadStatus::uploading && !m_jobs[index].unreachable)
        item.detail.clear();
    Q_EMIT itemChanged(index);
    if (changed)
        log(uploadStatusLabel(status) + QStringLiteral(" \u2013 ") + item.title);
}

QCoro::Task<> UploadQueue::finishBatchItem() {
    ++m_completedBatchUploads;
    if (m_completedBatchUploads != m_pendingBatchUploads)
        co_return;
    // The relist and the sheet export follow the signal, after this line.
    log(QStringLiteral("Upload batch completed. Updating Google Sheet\u2026"));
    Q_EMIT batchFinished(m_batchDone, m_batchFailed);
}

// --- cancel and retry ----------------------------------------------------------------

bool UploadQueue::canPause(qsizetype index) const {
    if (index < 0 || index >= m_items.size())
        return false;
    const auto status = m_items[index].status;
    return status != UploadStatus::done && status != UploadStatus::failed &&
           status != UploadStatus::cancelled && status != UploadStatus::paused;
}

bool UploadQueue::canResume(qsizetype index) const {
    return index >= 0 && index < m_items.size() && !m_jobs[index].running &&
           m_items[index].status == UploadStatus::paused;
}

void UploadQueue::pause(qsizetype index) {
    if (!canPause(index))
        return;
    auto& job = m_jobs[index];
    const bool waiting = m_waiting.removeOne(job.key);
    job.unreachable = false;
    setUploadStatus(index, UploadStatus::paused, m_items[index].progress);
    // The session stays: a resume asks it what it holds and sends the rest.
    if (waiting) {
        savePaused(index);
        runDetached(finishBatchItem());
        return;
    }
    if (job.stop)
        job.stop->stop();
}

void UploadQueue::resume(qsizetype index) {
    if (!canResume(index))
        return;
    joinBatch(1);
    setUploadStatus(index, UploadStatus::pending, 0.0);
    save(index);
    m_waiting.append(m_jobs[index].key);
    QMetaObject::invokeMethod(this, &UploadQueue::startWaiting, Qt::QueuedConnection);
}

void UploadQueue::pauseAll() {
    for (qsizetype index = 0; index < m_items.size(); ++index)
        pause(index);
}

void UploadQueue::resumeAll() {
    for (qsizetype index = 0; index < m_items.size(); ++index)
        resume(index);
}

void UploadQueue::pauseOrResumeAll() {
    if (activeCount() > 0)
        pauseAll();
    else
        resumeAll();
}

QList<UploadQueue::RowAction> UploadQueue::actions(qsizetype index) const {
    QList<RowAction> offered;
    const std::pair<bool (UploadQueue::*)(qsizetype) const, RowAction> checks[] = {
        {&UploadQueue::canCancel, cancelAction},
        {&UploadQueue::canRemove, removeAction},
        {&UploadQueue::canPause, pauseAction},
        {&UploadQueue::canResume, resumeAction},
        {&UploadQueue::canRetry, retryAction}};
    for (const auto& [can, action] : checks)
        if ((this->*can)(index))
            offered.append(action);
    return offered;
}

void UploadQueue::perform(qsizetype index, RowAction action) {
    switch (action) {
    case cancelAction:
        return cancel(index);
    case removeAction:
        return remove(index);
    case retryAction:
        return retry(index);
    case pauseAction:
        return pause(index);
    case resumeAction:
        return resume(index);
    case noAction:
        return;
    }
}

void UploadQueue::savePaused(qsizetype index) {
    UploadRecord paused = m_jobs[index].record;
    if (paused.ledgerID <= 0)
        return;
    paused.stage = UploadStatus::paused;
    if (auto saved = m_ledger.save(paused); !saved)
        log(QStringLiteral("Failed to save the upload journal: ") + saved.error().message);
}

void UploadQueue::setUnreachable(qsizetype index, bool unreachable) {
    if (index < 0 || m_jobs[index].unreachable == unreachable)
        return;
    m_jobs[index].unreachable = unreachable;
    auto& item = m_items[index];
    item.detail = unreachable ? QStringLiteral("Waiting for the network\u2026") : QString();
    if (unreachable)
        log(QStringLiteral("Waiting for the network \u2013 ") + item.title);
    Q_EMIT itemChanged(index);
}

int UploadQueue::activeCount() const {
    return static_cast<int>(std::count_if(m_items.begin(), m_items.end(), [](const auto& item) {
        return item.status != UploadStatus::done && item.status != UploadStatus::failed &&
               item.status != UploadStatus::cancelled && item.status != UploadStatus::paused;
    }));
}

std::optional<QString> UploadQueue::quitQuestion() const {
    const int active = activeCount();
    if (active == 0)
        return std::nullopt;
    return active == 1
               ? QStringLiteral("1 upload is running. Quit and resume it at the next start?")
               : QStringLiteral("%1 uploads are running. Quit and resume them at the next "
                                "start?")
                     .arg(active);
}

void UploadQueue::setMaxConcurrent(int count) {
    m_options.maxConcurrent = std::clamp(count, 1, 6);
    // More room starts waiting items now; less lets the running ones finish.
    startWaiting();
}

UploadQueue::Totals UploadQueue::totals() const {
    Totals totals;
    double speed = 0;
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const auto& item = m_items[i];
        if (item.status == UploadStatus::cancelled)
            continue;
        ++totals.count;
        if (item.status == UploadStatus::done)
            ++totals.finished;
        totals.bytesTotal += item.bytesTotal;
        totals.bytesSent += std::min(item.bytesSent, item.bytesTotal);
        if (item.status == UploadStatus::uploading && !m_jobs[i].unreachable)
            speed += m_jobs[i].meter.bytesPerSecond();
    }
    if (speed >= 1.0 && totals.bytesSent < totals.bytesTotal)
        totals.secondsLeft = static_cast<qint64>(
            std::ceil(static_cast<double>(totals.bytesTotal - totals.bytesSent) / speed));
    return totals;
}

QString UploadQueue::totalsText() const {
    const Totals now = totals();
    if (now.count == 0)
        return {};
    QString text = QStringLiteral("%1 of %2 \u00b7 %3 of %4")
                       .arg(now.finished)
                       .arg(now.count)
                       .arg(formatBytes(now.bytesSent), formatBytes(now.bytesTotal));
    if (now.secondsLeft)
        text +=
            QStringLiteral(" \u00b7 ") + formatDuration(*now.secondsLeft) + QStringLiteral(" left");
    return text;
}

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
    const bool waiting = m_waiting.removeOne(job.key);
    setUploadStatus(index, UploadStatus::cancelled, m_items[index].progress);
    if (waiting) {
        forget(index);
        runDetached(finishBatchItem());
        return;
    }
    if (job.stop)
        job.stop->stop();
    // Once the last byte is out the service makes the asset whatever happens next: it is
    // removed when it appears, so a retry cannot make a second one.
    if (job.record.stage >= UploadStatus::waitingAsset) {
        job.record.stage = UploadStatus::cancelled;
        save(index);
        discardAsset(index, QStringLiteral("Deleted the asset of a cancelled upload \u2013 %1."));
        return;
    }
    if (!job.record.uploadID.isEmpty())
        cancelOnService(job.record.uploadID);
    forget(index);
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
    auto& record = m_jobs[index].record;
    // A failure for good, a cancel, or a file that changed: a new direct upload of the
    // file as it is now. Otherwise the session goes on from what it holds.
    if (record.stage == UploadStatus::failed || record.stage == UploadStatus::cancelled ||
        record.uploadID.isEmpty()) {
        const QString path = record.filePath;
        const qint64 ledgerID = record.ledgerID;
        record = UploadRecord{};
        record.ledgerID = ledgerID;
        record.filePath = path;
        record.title = item.title;
    }
    setUploadStatus(index, UploadStatus::pending, 0.0);
    save(index);
    m_waiting.append(m_jobs[index].key);
    QMetaObject::invokeMethod(this, &UploadQueue::startWaiting, Qt::QueuedConnection);
}

void UploadQueue::retryAllFailed() {
    for (qsizetype index = 0; index < m_items.size(); ++index)
        if (m_items[index].status == UploadStatus::failed)
            retry(index);
}

bool UploadQueue::canRemove(qsizetype index) const {
    if (index < 0 || index >= m_items.size() || m_jobs[index].running)
        return false;
    const auto status = m_items[index].status;
    return status == UploadStatus::done || status == UploadStatus::failed ||
           status == UploadStatus::cancelled;
}

void UploadQueue::remove(qsizetype index) {
    if (!canRemove(index))
        return;
    // A failure is forgotten with its row. A cancelled transfer whose asset is still being
    // removed keeps its entry until that is done; a delivered one until a listing shows it.
    const auto& record = m_jobs[index].record;
    if (m_items[index].status == UploadStatus::failed && record.stage != UploadStatus::cancelled)
        forget(index);
    Q_EMIT itemAboutToBeRemoved(index);
    m_items.removeAt(index);
    m_jobs.removeAt(index);
    Q_EMIT itemRemoved(index);
}

void UploadQueue::clearFinished() {
    for (qsizetype index = m_items.size() - 1; index >= 0; --index)
        if (m_items[index].status == UploadStatus::done && !m_jobs[index].running)
            remove(index);
}

// --- ledger ------------------------------------------------------------------------

void UploadQueue::save(qsizetype index) {
    auto& record = m_jobs[index].record;
    // Not in the ledger yet (its first write failed, or a cancel took it out): in again.
    if (record.ledgerID <= 0) {
        if (auto accepted = m_ledger.accept({record}); accepted && !accepted->isEmpty())
            record.ledgerID = accepted->first().ledgerID;
    }
    auto saved = m_ledger.save(record);
    if (!saved)
        log(QStringLiteral("Failed to save the upload journal: ") + saved.error().message);
}

void UploadQueue::forget(qsizetype index) {
    auto& record = m_jobs[index].record;
    if (record.ledgerID <= 0)
        return;
    if (auto removed = m_ledger.remove(record.ledgerID); !removed)
        log(QStringLiteral("Failed to save the upload journal: ") + removed.error().message);
    record.ledgerID = 0;
}

} // namespace clipferry
