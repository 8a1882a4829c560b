#include "model/DetachedTask.h"
#include "model/DisplayText.h"
#include "service/MuxClient.h"
#include "service/ServiceAddresses.h"
#include "service/ServiceError.h"
#include "service/ServiceTransport.h"
#include "workflow/UploadQueue.h"

#include <QDateTime>
#include <QFileInfo>
#include <QPointer>

// The stages of one item. Each stage records what it got before the next begins, so a
// retry or a restart goes on from the stage reached: the transfer resumes from what the
// session holds, the waits resume with the IDs they have.
namespace clipferry {
namespace {

const auto maxResolutionTier = QStringLiteral("2160p");

tl::unexpected<Error> cancelledError() {
    return tl::unexpected(ServiceTransport::cancelled());
}

tl::unexpected<Error> fileError(const QString& message) {
    return fail(errorDomain::file, 0, message);
}

// Why the file cannot be sent, or nothing.
std::optional<QString> unsendable(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("The file is gone: ") + path;
    // Folders, devices and FIFOs have no length to send.
    if (!info.isFile())
        return QStringLiteral("Not a regular file: ") + path;
    if (!info.isReadable())
        return QStringLiteral("The file cannot be read: ") + path;
    if (info.size() == 0)
        return QStringLiteral("The file is empty: ") + path;
    return std::nullopt;
}

bool sameFile(const QFileInfo& info, const UploadRecord& record) {
    return info.exists() && info.size() == record.size &&
           info.lastModified().toMSecsSinceEpoch() == record.modifiedMs;
}

} // namespace

bool canNeverSucceed(const Error& error) {
    if (error.domain == errorDomain::file)
        return true;
    return error.domain.isEmpty() &&
           (error.code == uploadDeadCode || error.code == assetErroredCode || error.code == 404 ||
            error.code == 410);
}

QCoro::Task<Result<void>> UploadQueue::runSteps(qint64 key) {
    QPointer self(this);
    qsizetype index = indexOf(key);
    const auto stop = m_jobs[index].stop;
    if (stop->isStopped())
        co_return cancelledError();
    // Whether the step that just ended left the item to go on; its row is looked up again.
    const auto goesOn = [&] {
        if (!self || stop->isStopped())
            return false;
        index = indexOf(key);
        return true;
    };
    // A journal entry from before the transfer began resumes it all the same: the
    // session answers what it holds, nothing when it holds nothing.
    bool resume = !m_jobs[index].record.uploadID.isEmpty() &&
                  m_jobs[index].record.stage <= UploadStatus::uploading;
    if (m_jobs[index].record.uploadID.isEmpty()) {
        setUploadStatus(index, UploadStatus::creatingUpload, 0.1);
        const QString path = m_jobs[index].record.filePath;
        if (auto problem = unsendable(path))
            co_return fileError(*problem);
        const QFileInfo info(path);
        m_jobs[index].record.size = info.size();
        m_jobs[index].record.modifiedMs = info.lastModified().toMSecsSinceEpoch();
        auto created = co_await createSession(key);
        if (!goesOn())
            co_return cancelledError();
        if (!created)
            co_return created;
    }

    if (m_jobs[index].record.stage <= UploadStatus::uploading) {
        auto sent = co_await transfer(key, resume);
        if (!goesOn())
            co_return cancelledError();
        if (!sent)
            co_return sent;
    }

    setUploadStatus(index, UploadStatus::waitingAsset, 0.5);
    if (m_jobs[index].record.assetID.isEmpty()) {
        auto assetID = co_await m_mux.waitForAssetID(m_jobs[index].record.uploadID, stop);
        if (!goesOn())
            co_return cancelledError();
        if (!assetID)
            co_return tl::unexpected(assetID.error());
        m_jobs[index].record.assetID = *assetID;
        save(index);
    }
    const QString assetID = m_jobs[index].record.assetID;

    if (m_jobs[index].record.stage < UploadStatus::processingAsset) {
        const QString title = withoutExtension(m_items[index].fileURL.fileName());
        auto titled = co_await m_mux.updateAssetTitle(assetID, title);
        if (!goesOn())
            co_return cancelledError();
        if (!titled)
            co_return titled;
        m_jobs[index].record.stage = UploadStatus::processingAsset;
        save(index);
    }

    setUploadStatus(index, UploadStatus::processingAsset, 0.7);
    auto playbackID = co_await m_mux.waitForAssetReady(assetID, stop);
    if (!goesOn())
        co_return cancelledError();
    if (!playbackID)
        co_return tl::unexpected(playbackID.error());

    m_items[index].playbackURL = streamingAddress(*playbackID);
    // Delivered: the entry stays until a listing shows the asset, so no path offers the
    // file again in between.
    m_jobs[index].record.stage = UploadStatus::done;
    save(index);
    if (m_hooks.assetCreated)
        m_hooks.assetCreated(assetID);
    index = indexOf(key);
    setUploadStatus(index, UploadStatus::done, 1.0);
    Q_EMIT itemDone(index, m_items[index].fileURL, assetID);
    co_return Result<void>{};
}

QCoro::Task<Result<void>> UploadQueue::createSession(qint64 key) {
    QPointer self(this);
    qsizetype index = indexOf(key);
    // The passthrough keeps the extension; the title does not.
    auto created = co_await m_mux.createUpload(m_items[index].fileURL.fileName(), maxResolutionTier,
                                               m_jobs[index].stop);
    if (!self)
        co_return cancelledError();
    if (!created)
        co_return tl::unexpected(created.error());
    index = indexOf(key);
    auto& record = m_jobs[index].record;
    record.uploadID = created->id;
    record.uploadURL = created->url;
    record.assetID.clear();
    record.stage = UploadStatus::uploading;
    save(index);
    co_return Result<void>{};
}

QCoro::Task<Result<void>> UploadQueue::transfer(qint64 key, bool resume) {
    QPointer self(this);
    qsizetype index = indexOf(key);
    const auto stop = m_jobs[index].stop;
    const QString path = m_jobs[index].record.filePath;
    if (resume) {
        const QFileInfo info(path);
        if (!info.exists())
            co_return abandon(index, QStringLiteral("The file is gone: ") + path);
        if (!sameFile(info, m_jobs[index].record))
            co_return abandon(index, QStringLiteral("The file changed since its upload began."));
    }

    setUploadStatus(index, UploadStatus::uploading, 0.0);
    // Named first: g++ 12 destroys a lambda temporary inside a co_await expression twice.
    FileTransfer how;
    how.resume = resume;
    how.stop = stop;
    how.expectedSize = m_jobs[index].record.size;
    how.expectedModifiedMs = m_jobs[index].record.modifiedMs;
    how.progress = [self, key](qint64 sent, qint64 total) {
        if (self)
            self->reportProgress(self->indexOf(key), sent, total);
    };
    how.reachability = m_options.reachability;
    how.unreachable = [self, key](bool unreachable) {
        if (self)
            self->setUnreachable(self->indexOf(key), unreachable);
    };
    how.resumedAt = [self, key](qint64 held, qint64 total) {
        if (!self)
            return;
        const auto at = self->indexOf(key);
        self->m_jobs[at].meter.restart(held, QDateTime::currentMSecsSinceEpoch());
        // What the session holds, shown at once: the bar never falls back to nothing.
        self->m_items[at].bytesSent = held;
        self->m_items[at].progress = total > 0 ? double(held) / double(total) : 0.0;
        self->reportProgress(at, held, total);
    };
    for (;;) {
        m_jobs[index].meter.restart(0, QDateTime::currentMSecsSinceEpoch());
        auto sent = co_await m_mux.uploadFile(path, m_jobs[index].record.uploadURL, how);
        if (!self || stop->isStopped())
            co_return cancelledError();
        index = indexOf(key);
        if (sent)
            break;
        // The file changed before its last byte left: the session is ended unfinished.
        if (sent.error().domain == errorDomain::file)
            co_return abandon(index, sent.error().message);
        if (!sent.error().domain.isEmpty() || sent.error().code != uploadExpiredCode)
            co_return sent;
        log(QStringLiteral("Upload session expired \u2013 %1; starting again.")
                .arg(m_items[index].title));
        auto created = co_await createSession(key);
        if (!self || stop->isStopped())
            co_return cancelledError();
        index = indexOf(key);
        if (!created)
            co_return created;
        how.resume = false;
    }

    m_jobs[index].record.stage = UploadStatus::waitingAsset;
    save(index);
    // The file changed in the instant after its last check: the asset the service makes
    // from those bytes must not stand.
    if (!sameFile(QFileInfo(path), m_jobs[index].record)) {
        m_jobs[index].record.stage = UploadStatus::cancelled;
        save(index);
        discardAsset(index, QStringLiteral("Deleted the asset of a file that changed during its "
                                           "upload \u2013 %1."));
        co_return fileError(QStringLiteral("The file changed while it was being uploaded."));
    }
    co_return Result<void>{};
}

tl::unexpected<Error> UploadQueue::abandon(qsizetype index, const QString& message) {
    cancelOnService(m_jobs[index].record.uploadID);
    return fileError(message);
}

void UploadQueue::discardAsset(qsizetype index, const QString& logLine) {
    // The row may go meanwhile: the entry is then removed by its ledger ID.
    auto task = [](QPointer<UploadQueue> self, UploadRecord record, qint64 key,
                   QString logLine) -> QCoro::Task<> {
        QString assetID = record.assetID;
        if (assetID.isEmpty()) {
            auto found = co_await self->m_mux.waitForAssetID(record.uploadID, {});
            if (!self)
                co_return;
            // A session the service never turned into an asset leaves nothing to remove.
            if (!found && !canNeverSucceed(found.error())) {
                self->log(QStringLiteral("Could not remove the asset of %1: %2")
                              .arg(record.title, found.error().message));
                co_return;
            }
            assetID = found.value_or(QString());
        }
        if (!assetID.isEmpty()) {
            auto deleted = co_await self->m_mux.deleteAsset(assetID);
            if (!self)
                co_return;
            if (!deleted && deleted.error().code != 404) {
                self->log(QStringLiteral("Could not remove the asset of %1: %2")
                              .arg(record.title, deleted.error().message));
                co_return;
            }
            if (!logLine.isEmpty())
                self->log(logLine.arg(record.title));
        }
        // Gone unless a retry has since made the entry a new upload of its own.
        const auto index = self->indexOf(key);
        if (index < 0) {
            if (auto removed = self->m_ledger.remove(record.ledgerID); !removed)
                self->log(QStringLiteral("Failed to save the upload journal: ") +
                          removed.error().message);
            co_return;
        }
        auto& now = self->m_jobs[index].record;
        if (now.ledgerID == record.ledgerID && now.uploadID == record.uploadID)
            self->forget(index);
    };
    runDetached(task(QPointer(this), m_jobs[index].record, m_jobs[index].key, logLine));
}

void UploadQueue::reportProgress(qsizetype index, qint64 sent, qint64 total) {
    if (index < 0)
        return;
    auto& item = m_items[index];
    if (item.status != UploadStatus::uploading || total <= 0)
        return;
    // Progress arrives per network chunk; the row redraws a few times a second.
    // Bytes moving are the network's answer: whatever waited for it is over.
    m_jobs[index].unreachable = false;
    item.bytesTotal = total;
    item.bytesSent = sent;
    if (!m_jobs[index].meter.sample(sent, total, QDateTime::currentMSecsSinceEpoch()))
        return;
    item.progress = std::clamp(double(sent) / double(total), 0.0, 1.0);
    item.detail = m_jobs[index].meter.text();
    Q_EMIT itemChanged(index);
}

QString UploadQueue::streamingAddress(const QString& playbackID) const {
    return service::streamLocation(m_options.streamBase, playbackID).toString();
}

} // namespace clipferry
