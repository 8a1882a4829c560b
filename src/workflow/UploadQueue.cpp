#include "UploadQueue.h"

#include "DetachedTask.h"
#include "DisplayText.h"
#include "MuxClient.h"

#include <QDateTime>
#include <QPointer>

namespace clipferry {
namespace {
constexpr qint64 progressReportIntervalMs = 100;
const auto maxResolutionTier = QStringLiteral("2160p");
} // namespace

UploadQueue::UploadQueue(MuxClient& mux, Options options, Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_mux(mux)
    , m_options(std::move(options))
    , m_hooks(std::move(hooks)) {}

UploadQueue::~UploadQueue() = default;

void UploadQueue::log(const QString& message) const {
    if (m_hooks.log)
        m_hooks.log(message);
}

void UploadQueue::startUploadBatch(const QList<QUrl>& files) {
    // A batch dropped while another still runs joins it, so the completion step (relist
    // and sheet post) runs once, after the last file of either.
    if (m_completedBatchUploads == m_pendingBatchUploads) {
        m_pendingBatchUploads = files.size();
        m_completedBatchUploads = 0;
    } else {
        m_pendingBatchUploads += files.size();
    }
    for (const auto& file : files) {
        m_items.append(UploadItem::make(file));
        const auto index = m_items.size() - 1;
        m_waiting.append(index);
        Q_EMIT itemAppended(index);
    }
    log(QStringLiteral("Started upload batch with %1 videos.").arg(files.size()));
    // The items start from the event loop, after this step, as tasks of their own.
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
    if (m_hooks.beforeItem) {
        co_await m_hooks.beforeItem();
        if (!self)
            co_return;
    }

    auto outcome = co_await runSteps(index);
    if (!self)
        co_return;
    if (!outcome) {
        auto& item = m_items[index];
        item.status = UploadStatus::failed;
        item.error = outcome.error().message;
        item.progress = 1.0;
        Q_EMIT itemChanged(index);
        log(QStringLiteral("ERROR: ") + outcome.error().message);
    }
    m_lastProgressReport.remove(index);
    --m_running;
    startWaiting();
    co_await finishBatchItem();
}

QCoro::Task<Result<void>> UploadQueue::runSteps(qsizetype index) {
    QPointer self(this);
    const auto cancelled = [] {
        return fail(QString(), -1, QStringLiteral("Cancelled"));
    };
    setUploadStatus(index, UploadStatus::creatingUpload, 0.1);
    const QUrl fileURL = m_items[index].fileURL;
    const QString fileName = fileURL.fileName();

    auto created = co_await m_mux.createUpload(fileName, maxResolutionTier);
    if (!self)
        co_return cancelled();
    if (!created)
        co_return tl::unexpected(created.error());

    setUploadStatus(index, UploadStatus::uploading, 0.3);
    // Named first: g++ 12 destroys a lambda temporary inside a co_await expression twice.
    MuxClient::ProgressCallback progress = [self, index](qint64 sentBytes, qint64 total) {
        if (self)
            self->reportProgress(index, sentBytes, total);
    };
    auto sent = co_await m_mux.uploadFile(fileURL.toLocalFile(), created->url, std::move(progress));
    if (!self)
        co_return cancelled();
    if (!sent)
        co_return tl::unexpected(sent.error());

    setUploadStatus(index, UploadStatus::waitingAsset, 0.5);
    auto assetID = co_await m_mux.waitForAssetID(created->id);
    if (!self)
        co_return cancelled();
    if (!assetID)
        co_return tl::unexpected(assetID.error());

    auto titled = co_await m_mux.updateAssetTitle(*assetID, withoutExtension(fileName));
    if (!self)
        co_return cancelled();
    if (!titled)
        co_return tl::unexpected(titled.error());

    setUploadStatus(index, UploadStatus::processingAsset, 0.7);
    auto playbackID = co_await m_mux.waitForAssetReady(*assetID);
    if (!self)
        co_return cancelled();
    if (!playbackID)
        co_return tl::unexpected(playbackID.error());

    m_items[index].playbackURL = streamingAddress(*playbackID);
    if (m_hooks.assetCreated)
        m_hooks.assetCreated(*assetID);
    setUploadStatus(index, UploadStatus::done, 1.0);
    Q_EMIT itemDone(index, fileURL, *assetID);
    co_return Result<void>{};
}

void UploadQueue::reportProgress(qsizetype index, qint64 sent, qint64 total) {
    auto& item = m_items[index];
    if (item.status != UploadStatus::uploading || total <= 0)
        return;
    // Progress arrives per network chunk; the list redraws at most ten times a second.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 last = m_lastProgressReport.value(index, 0);
    if (sent < total && now - last < progressReportIntervalMs)
        return;
    m_lastProgressReport.insert(index, now);
    const double fraction = std::clamp(double(sent) / double(total), 0.0, 1.0);
    item.progress = 0.3 + 0.2 * fraction;
    Q_EMIT itemChanged(index);
}

void UploadQueue::setUploadStatus(qsizetype index, UploadStatus status, double progress) {
    auto& item = m_items[index];
    item.status = status;
    item.progress = progress;
    Q_EMIT itemChanged(index);
    log(uploadStatusLabel(status) + QStringLiteral(" \u2013 ") + item.title);
}

QCoro::Task<> UploadQueue::finishBatchItem() {
    ++m_completedBatchUploads;
    if (m_completedBatchUploads != m_pendingBatchUploads)
        co_return;
    log(QStringLiteral("Upload batch completed. Updating Google Sheet\u2026"));
    if (m_hooks.afterBatch)
        co_await m_hooks.afterBatch();
}

QString UploadQueue::streamingAddress(const QString& playbackID) const {
    QString base = m_options.streamBase.toString();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QLatin1Char('/') + playbackID + QStringLiteral(".m3u8");
}

} // namespace clipferry
