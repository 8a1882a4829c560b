#include "workflow/LocalFolder.h"

#include "model/DetachedTask.h"
#include "workflow/ActivityLog.h"
#include "workflow/FileAttributes.h"
#include "workflow/LocalFolderScan.h"
#include "workflow/LocalVideo.h"

#include <QCoro/QCoroFuture>
#include <QDir>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace clipferry {

LocalFolder::LocalFolder(StoredFile stateFile, ActivityLog& log,
                         std::chrono::milliseconds metadataPublishInterval, QObject* parent)
    : QObject(parent)
    , m_stateFile(std::move(stateFile))
    , m_log(log)
    , m_metadataPublishInterval(metadataPublishInterval) {
    auto loaded = m_stateFile.load<LocalVideoState>(decodeLocalVideoState);
    if (loaded.failed())
        m_log.append(loadFailureLine(loaded, QStringLiteral("local video state"), m_stateFile));
    m_savedState =
        loaded.value ? std::move(loaded.value) : LocalVideoState{currentTimeSeconds(), {}};
}

LocalFolder::~LocalFolder() {
    m_scanStop.request_stop();
}

void LocalFolder::setFolderURL(std::optional<QUrl> folder) {
    m_folderURL = std::move(folder);
    Q_EMIT folderChanged();
}

void LocalFolder::setIncludeSubfolders(bool include) {
    if (m_includeSubfolders == include)
        return;
    m_includeSubfolders = include;
    Q_EMIT folderChanged();
    // The list on view must be the folder's as the switch now says.
    if (m_folderURL)
        runDetached(load());
}

void LocalFolder::setFixture(QList<QUrl> files, QSet<QUrl> changedFiles) {
    setChangedVideos(std::move(changedFiles));
    setVideoURLs(std::move(files));
}

QCoro::Task<> LocalFolder::load() {
    const QString nothingMore;
    (void)co_await scan(nothingMore);
}

QCoro::Task<> LocalFolder::select(QUrl folder) {
    QPointer self(this);
    setFolderURL(folder);
    const QString chosen = QStringLiteral("Selected local folder: ") + folder.toLocalFile();
    const bool landed = co_await scan(chosen);
    // The choice was made even when a newer scan took this one's place.
    if (self && !landed)
        m_log.append(chosen);
}

QCoro::Task<> LocalFolder::reload() {
    QPointer self(this);
    const QString nothingMore;
    const bool landed = co_await scan(nothingMore);
    // A scan that a newer one replaced would count an empty list.
    if (self && landed)
        m_log.append(QStringLiteral("Loaded %1 videos from local folder.").arg(m_videoURLs.size()));
}

QCoro::Task<bool> LocalFolder::scan(QString thenLog) {
    QPointer self(this);
    const auto logOutcome = [this, &thenLog](const QString& line) {
        m_log.append(line);
        if (!thenLog.isEmpty())
            m_log.append(thenLog);
    };
    m_scanStop.request_stop();
    m_scanStop = std::stop_source();
    const std::stop_token stop = m_scanStop.get_token();
    setVideoURLs({});
    if (!m_folderURL) {
        logOutcome(QStringLiteral("No local folder selected."));
        co_return true;
    }
    const bool recursive = m_includeSubfolders;
    const auto folder = QDir::cleanPath(m_folderURL->toLocalFile());
    const auto state = m_savedState.value_or(LocalVideoState{});

    QFuture<LocalFolderScan> scanning =
        QtConcurrent::run(QThreadPool::globalInstance(), [folder, recursive, state, stop] {
            return scanLocalFolder(folder, recursive, state, stop);
        });
    LocalFolderScan result = co_await scanning;
    if (!self || stop.stop_requested())
        co_return false;

    if (!result.files) {
        logOutcome(QStringLiteral("Failed to read folder: ") + result.files.error().message);
        co_return true;
    }
    const QList<QUrl> files = std::move(*result.files);
    setChangedVideos(result.changed);
    setVideoURLs(files);
    for (const auto& path : result.unreadable)
        m_log.append(QStringLiteral("Could not read attributes for file: ") + path);
    if (!m_savedState)
        m_savedState = LocalVideoState{};
    m_savedState->lastLaunchedAt = currentTimeSeconds();
    saveState();
    runDetached(preloadMetadata(files));
    logOutcome(QStringLiteral("Loaded %1 videos from local folder%2: %3")
                   .arg(files.size())
                   .arg(recursive ? QStringLiteral(" (including subfolders)") : QString(), folder));
    if (!result.changed.isEmpty())
        m_log.append(
            QStringLiteral("Found %1 new/changed local videos.").arg(result.changed.size()));
    co_return true;
}

void LocalFolder::markSeen(const QUrl& file) {
    const auto path = file.toLocalFile();
    const auto attributes = readFileAttributes(path);
    if (!attributes || !m_savedState)
        return;
    m_savedState->fileTimes.insert(path, FileRecord{attributes->modified, attributes->size});
    saveState();
    QMetaObject::invokeMethod(
        this,
        [this, file] {
            if (!m_changedVideos.contains(file))
                return;
            auto changed = m_changedVideos;
            changed.remove(file);
            setChangedVideos(std::move(changed));
        },
        Qt::QueuedConnection);
}

void LocalFolder::markAllSeen(double now) {
    if (!m_savedState)
        m_savedState = LocalVideoState{now, {}};
    for (const auto& url : std::as_const(m_videoURLs)) {
        const auto attributes = readFileAttributes(url.toLocalFile());
        if (!attributes)
            continue;
        m_savedState->fileTimes.insert(url.toLocalFile(),
                                       FileRecord{attributes->modified, attributes->size});
    }
    saveState();
    QMetaObject::invokeMethod(
        this, [this] { setChangedVideos({}); }, Qt::QueuedConnection);
}

void LocalFolder::saveState() {
    if (!m_savedState)
        return;
    auto written = m_stateFile.save(encodeLocalVideoState(*m_savedState));
    if (!written)
        m_log.append(QStringLiteral("Failed to save local video state: ") +
                     written.error().message);
}

void LocalFolder::setVideoURLs(QList<QUrl> files) {
    m_videoURLs = std::move(files);
    Q_EMIT videoURLsChanged();
}

void LocalFolder::setChangedVideos(QSet<QUrl> files) {
    m_changedVideos = std::move(files);
    Q_EMIT changedVideosChanged();
}

// --- metadata: read in the background, so rows fill in as readings arrive ------------

void LocalFolder::ThreadPoolStopper::operator()(QThreadPool* pool) const {
    pool->clear();
    delete pool;
}

QThreadPool& LocalFolder::metadataThreadPool() {
    if (m_metadataPool)
        return *m_metadataPool;
    if (!m_ownMetadataPool) {
        m_ownMetadataPool.reset(new QThreadPool);
        m_ownMetadataPool->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        m_ownMetadataPool->setObjectName(QStringLiteral("clipferry.metadata"));
    }
    return *m_ownMetadataPool;
}

QCoro::Task<> LocalFolder::preloadMetadata(QList<QUrl> files) {
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
        noteMetadataArrived();
    }
}

// Publishes at once when the last publication is old enough, else once when it is.
void LocalFolder::noteMetadataArrived() {
    if (m_metadataPublishScheduled)
        return;
    const auto interval = m_metadataPublishInterval;
    const auto since = std::chrono::milliseconds(
        m_lastMetadataPublish.isValid() ? m_lastMetadataPublish.elapsed() : interval.count());
    if (since >= interval) {
        publishMetadata();
        return;
    }
    m_metadataPublishScheduled = true;
    QTimer::singleShot(interval - since, this, [this] {
        m_metadataPublishScheduled = false;
        publishMetadata();
    });
}

void LocalFolder::publishMetadata() {
    m_lastMetadataPublish.start();
    Q_EMIT metadataChanged();
}

} // namespace clipferry
