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
    QPointer self(this);
    m_localScanStop.request_stop();
    m_localScanStop = std::stop_source();
    const std::stop_token stop = m_localScanStop.get_token();
    setLocalVideoURLs({});
    if (!m_localFolderURL) {
        appendLog(QStringLiteral("No local folder selected."));
        co_return;
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
        co_return;

    if (!scan.files) {
        appendLog(QStringLiteral("Failed to read folder: ") + scan.files.error().message);
        co_return;
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
    appendLog(QStringLiteral("Loaded %1 videos from local folder%2: %3")
                  .arg(files.size())
                  .arg(recursive ? QStringLiteral(" (including subfolders)") : QString(), folder));
    if (!scan.changed.isEmpty())
        appendLog(QStringLiteral("Found %1 new/changed local videos.").arg(scan.changed.size()));
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
