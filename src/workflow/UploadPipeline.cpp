#include "UploadViewModel.h"

#include "DisplayText.h"

#include <QDateTime>
#include <QPointer>

// One file becomes one asset: create an upload, send the bytes, wait for the asset,
// title it, wait until it plays. At most `maxConcurrentUploads` files are in flight;
// the rest wait in "Pending" in the order they were dropped.
namespace clipferry {
namespace {
constexpr qint64 progressReportIntervalMs = 100;
const auto maxResolutionTier = QStringLiteral("2160p");
} // namespace

void UploadViewModel::startUploadBatch(const QList<QUrl>& files) {
    // A batch dropped while another still runs joins it, so the completion step (relist
    // and sheet post) runs once, after the last file of either.
    if (m_completedBatchUploads == m_pendingBatchUploads) {
        m_pendingBatchUploads = files.size();
        m_completedBatchUploads = 0;
    } else {
        m_pendingBatchUploads += files.size();
    }
    for (const auto& file : files) {
        m_uploads.append(UploadItem::make(file));
        const auto index = m_uploads.size() - 1;
        m_waitingUploads.append(index);
        Q_EMIT uploadAppended(index);
    }
    appendLog(QStringLiteral("Started upload batch with %1 videos.").arg(files.size()));
    // The items start from the event loop, after this step, as tasks of their own.
    post([this] { startWaitingUploads(); });
}

void UploadViewModel::startWaitingUploads() {
    const int limit = std::max(1, m_options.maxConcurrentUploads);
    while (m_runningUploads < limit && !m_waitingUploads.isEmpty()) {
        ++m_runningUploads;
        keep(processUpload(m_waitingUploads.takeFirst()));
    }
}

QCoro::Task<> UploadViewModel::processUpload(qsizetype index) {
    if (index < 0 || index >= m_uploads.size())
        co_return;
    QPointer self(this);
    co_await waitUntilReady();
    if (!self)
        co_return;

    m_mux->setCredentials(m_tokenID, m_tokenSecret);
    auto outcome = co_await runUploadSteps(index);
    if (!self)
        co_return;
    if (!outcome) {
        auto& item = m_uploads[index];
        item.status = UploadStatus::failed;
        item.error = outcome.error().message;
        item.progress = 1.0;
        Q_EMIT uploadChanged(index);
        appendLog(QStringLiteral("ERROR: ") + outcome.error().message);
    }
    m_lastProgressReport.remove(index);
    --m_runningUploads;
    startWaitingUploads();
    co_await finishBatchItem();
}

QCoro::Task<Result<void>> UploadViewModel::runUploadSteps(qsizetype index) {
    QPointer self(this);
    const auto cancelled = [] {
        return fail(QString(), -1, QStringLiteral("Cancelled"));
    };
    setUploadStatus(index, UploadStatus::creatingUpload, 0.1);
    const QUrl fileURL = m_uploads[index].fileURL;
    const QString fileName = fileURL.fileName();

    auto created = co_await m_mux->createUpload(fileName, maxResolutionTier);
    if (!self)
        co_return cancelled();
    if (!created)
        co_return tl::unexpected(created.error());

    setUploadStatus(index, UploadStatus::uploading, 0.3);
    // Named first: g++ 12 destroys a lambda temporary inside a co_await expression twice.
    MuxClient::ProgressCallback progress = [self, index](qint64 sentBytes, qint64 total) {
        if (self)
            self->reportUploadProgress(index, sentBytes, total);
    };
    auto sent =
        co_await m_mux->uploadFile(fileURL.toLocalFile(), created->url, std::move(progress));
    if (!self)
        co_return cancelled();
    if (!sent)
        co_return tl::unexpected(sent.error());

    setUploadStatus(index, UploadStatus::waitingAsset, 0.5);
    auto assetID = co_await m_mux->waitForAssetID(created->id);
    if (!self)
        co_return cancelled();
    if (!assetID)
        co_return tl::unexpected(assetID.error());

    auto titled = co_await m_mux->updateAssetTitle(*assetID, withoutExtension(fileName));
    if (!self)
        co_return cancelled();
    if (!titled)
        co_return tl::unexpected(titled.error());

    setUploadStatus(index, UploadStatus::processingAsset, 0.7);
    auto playbackID = co_await m_mux->waitForAssetReady(*assetID);
    if (!self)
        co_return cancelled();
    if (!playbackID)
        co_return tl::unexpected(playbackID.error());

    m_uploads[index].playbackURL = streamingAddress(*playbackID);
    markUploadedAssetNew(*assetID);
    setUploadStatus(index, UploadStatus::done, 1.0);
    co_return Result<void>{};
}

void UploadViewModel::reportUploadProgress(qsizetype index, qint64 sent, qint64 total) {
    auto& item = m_uploads[index];
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
    Q_EMIT uploadChanged(index);
}

void UploadViewModel::setUploadStatus(qsizetype index, UploadStatus status, double progress) {
    auto& item = m_uploads[index];
    item.status = status;
    item.progress = progress;
    Q_EMIT uploadChanged(index);
    appendLog(uploadStatusLabel(status) + QStringLiteral(" \u2013 ") + item.title);
}

void UploadViewModel::markUploadedAssetNew(const QString& assetID) {
    auto changed = m_changedMuxAssets;
    changed.insert(assetID);
    setChangedMuxAssets(std::move(changed));
    appendLog(QStringLiteral("Marked uploaded asset as new: ") + assetID);
}

QCoro::Task<> UploadViewModel::finishBatchItem() {
    ++m_completedBatchUploads;
    if (m_completedBatchUploads != m_pendingBatchUploads)
        co_return;
    QPointer self(this);
    appendLog(QStringLiteral("Upload batch completed. Updating Google Sheet\u2026"));
    co_await refreshLibrary();
    if (!self)
        co_return;
    co_await exportAfterLibraryChange();
}

QString UploadViewModel::streamingAddress(const QString& playbackID) const {
    QString base = m_options.streamBase.toString();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QLatin1Char('/') + playbackID + QStringLiteral(".m3u8");
}

} // namespace clipferry
