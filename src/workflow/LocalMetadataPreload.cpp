#include "workflow/UploadViewModel.h"

#include <QCoro/QCoroFuture>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

// Reads the metadata of scanned files in the background and lets the rows fill in as
// readings arrive, instead of all at once at the end.
namespace clipferry {

void UploadViewModel::ThreadPoolStopper::operator()(QThreadPool* pool) const {
    pool->clear();
    delete pool;
}

void UploadViewModel::setMetadataThreadPool(QThreadPool* pool) {
    m_metadataPool = pool;
}

QThreadPool& UploadViewModel::metadataThreadPool() {
    if (m_metadataPool)
        return *m_metadataPool;
    if (!m_ownMetadataPool) {
        m_ownMetadataPool.reset(new QThreadPool);
        m_ownMetadataPool->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        m_ownMetadataPool->setObjectName(QStringLiteral("clipferry.metadata"));
    }
    return *m_ownMetadataPool;
}

QCoro::Task<> UploadViewModel::preloadLocalMetadata(QList<QUrl> files) {
    QPointer self(this);
    auto& pool = metadataThreadPool();
    QList<QFuture<void>> readings;
    readings.reserve(files.size());
    for (const auto& file : files)
        readings.append(QtConcurrent::run(&pool, [file] { LocalVideo{file}.loadMetadata(); }));
    // Awaited in list order, so rows fill in top-down while later files are still read.
    for (auto& reading : readings) {
        co_await reading;
        if (!self)
            co_return;
        noteLocalMetadataArrived();
    }
}

// Publishes at once when the last publication is old enough, else once when it is.
void UploadViewModel::noteLocalMetadataArrived() {
    if (m_metadataPublishScheduled)
        return;
    const auto interval = m_workspace.options().metadataPublishInterval;
    const auto since = std::chrono::milliseconds(
        m_lastMetadataPublish.isValid() ? m_lastMetadataPublish.elapsed() : interval.count());
    if (since >= interval) {
        publishLocalMetadata();
        return;
    }
    m_metadataPublishScheduled = true;
    QTimer::singleShot(interval - since, this, [this] {
        m_metadataPublishScheduled = false;
        publishLocalMetadata();
    });
}

void UploadViewModel::publishLocalMetadata() {
    m_lastMetadataPublish.start();
    Q_EMIT localMetadataChanged();
}

} // namespace clipferry
