#include "workflow/UploadViewModel.h"

#include "workflow/FileAttributes.h"
#include "workflow/LocalFolderScan.h"

#include <QCoro/QCoroFuture>
#include <QDir>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

// Local folder scan and change tracking. The folder is listed and its files compared on a
// worker thread, so a large or slow folder never stalls the window; the result lands here
// in one step, and only the latest scan's.
namespace clipferry {

QCoro::Task<> UploadViewModel::loadLocalVideos() {
    const QString nothingMore;
    (void)co_await scanLocalVideos(nothingMore);
}

QCoro::Task<> UploadViewModel::selectLocalFolder(QUrl folder) {
    QPointer self(this);
    setLocalFolderURL(folder);
    const QString chosen = QStringLiteral("Selected local folder: ") + folder.toLocalFile();
    const bool landed = co_await scanLocalVideos(chosen);
    // The choice was made even when a newer scan took this one's place.
    if (self && !landed)
        appendLog(chosen);
}

QCoro::Task<> UploadViewModel::reloadLocalFolder() {
    QPointer self(this);
    const QString nothingMore;
    const bool landed = co_await scanLocalVideos(nothingMore);
    // A scan that a newer one replaced would count an empty list.
    if (self && landed)
        appendLog(
            QStringLiteral("Loaded %1 videos from local folder.").arg(m_localVideoURLs.size()));
}

QCoro::Task<bool> UploadViewModel::scanLocalVideos(QString thenLog) {
    QPointer self(this);
    const auto logOutcome = [this, &thenLog](const QString& line) {
        appendLog(line);
        if (!thenLog.isEmpty())
            appendLog(thenLog);
    };
    m_localScanStop.request_stop();
    m_localScanStop = std::stop_source();
    const std::stop_token stop = m_localScanStop.get_token();
    setLocalVideoURLs({});
    if (!m_localFolderURL) {
        logOutcome(QStringLiteral("No local folder selected."));
        co_return true;
    }
    const bool recursive = m_includeSubfolders;
    const auto folder = QDir::cleanPath(m_localFolderURL->toLocalFile());
    const auto state = m_savedLocalState.value_or(LocalVideoState{});

    QFuture<LocalFolderScan> scanning =
        QtConcurrent::run(QThreadPool::globalInstance(), [folder, recursive, state, stop] {
            return scanLocalFolder(folder, recursive, state, stop);
        });
    LocalFolderScan scan = co_await scanning;
    if (!self || stop.stop_requested())
        co_return false;

    if (!scan.files) {
        logOutcome(QStringLiteral("Failed to read folder: ") + scan.files.error().message);
        co_return true;
    }
    const QList<QUrl> files = std::move(*scan.files);
    setChangedLocalVideos(scan.changed);
    setLocalVideoURLs(files);
    for (const auto& path : scan.unreadable)
        appendLog(QStringLiteral("Could not read attributes for file: ") + path);
    if (!m_savedLocalState)
        m_savedLocalState = LocalVideoState{};
    m_savedLocalState->lastLaunchedAt = currentTimeSeconds();
    saveLocalVideoState();
    keep(preloadLocalMetadata(files));
    logOutcome(QStringLiteral("Loaded %1 videos from local folder%2: %3")
                   .arg(files.size())
                   .arg(recursive ? QStringLiteral(" (including subfolders)") : QString(), folder));
    if (!scan.changed.isEmpty())
        appendLog(QStringLiteral("Found %1 new/changed local videos.").arg(scan.changed.size()));
    co_return true;
}

void UploadViewModel::markLocalVideoSeen(const QUrl& file) {
    const auto path = file.toLocalFile();
    const auto attributes = readFileAttributes(path);
    if (!attributes || !m_savedLocalState)
        return;
    m_savedLocalState->fileTimes.insert(path, FileRecord{attributes->modified, attributes->size});
    saveLocalVideoState();
    post([this, file] {
        if (!m_changedLocalVideos.contains(file))
            return;
        auto changed = m_changedLocalVideos;
        changed.remove(file);
        setChangedLocalVideos(std::move(changed));
    });
}

} // namespace clipferry
