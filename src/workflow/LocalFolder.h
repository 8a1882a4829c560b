#pragma once

#include "model/SeenState.h"
#include "model/StoredFile.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <chrono>
#include <memory>
#include <optional>
#include <stop_token>

class QThreadPool;

namespace clipferry {

class ActivityLog;

// The chosen folder of clips: its video files in list order, those new or changed since
// the user saw them, the seen-state behind that ("LocalVideoState.json"), and the clips'
// metadata read in the background. The folder is listed and compared on a worker thread,
// so a large or slow folder never stalls the window; only the latest scan's result lands.
//   folder.setFolderURL(url); co_await folder.load(); folder.videoURLs();
class LocalFolder : public QObject {
    Q_OBJECT

public:
    // Metadata reaches the views at most every `metadataPublishInterval`.
    LocalFolder(StoredFile stateFile, ActivityLog& log,
                std::chrono::milliseconds metadataPublishInterval, QObject* parent = nullptr);
    ~LocalFolder() override;

    [[nodiscard]] const std::optional<QUrl>& folderURL() const { return m_folderURL; }
    void setFolderURL(std::optional<QUrl> folder);
    [[nodiscard]] bool includeSubfolders() const { return m_includeSubfolders; }
    // A change reads the chosen folder again.
    void setIncludeSubfolders(bool include);
    [[nodiscard]] const QList<QUrl>& videoURLs() const { return m_videoURLs; }
    [[nodiscard]] const QSet<QUrl>& changedVideos() const { return m_changedVideos; }
    [[nodiscard]] const std::optional<LocalVideoState>& savedState() const { return m_savedState; }

    // Lists the folder and flags new and changed files; a newer scan supersedes it.
    [[nodiscard]] QCoro::Task<> load();
    // The folder chooser's answer: scans it, and logs the choice after the scan's lines.
    [[nodiscard]] QCoro::Task<> select(QUrl folder);
    // Rescans and logs the count.
    [[nodiscard]] QCoro::Task<> reload();
    void markSeen(const QUrl& file);
    void markAllSeen(double now);
    void saveState();
    [[nodiscard]] QCoro::Task<> preloadMetadata(QList<QUrl> files);
    // The pool metadata is read on; by default one of this object's own, with a thread
    // per core. The pool must outlive this object.
    void setMetadataThreadPool(QThreadPool* pool) { m_metadataPool = pool; }
    // The lists as a finished scan would set them, without the disk: for tests and the
    // screenshot tool.
    void setFixture(QList<QUrl> files, QSet<QUrl> changedFiles);

Q_SIGNALS:
    void folderChanged();
    void videoURLsChanged();
    void changedVideosChanged();
    // Metadata of files arrived; the views re-read the texts.
    void metadataChanged();

private:
    // False when a newer scan took this one's place before it landed. `thenLog` follows the
    // scan's own line, before the line of what it found.
    [[nodiscard]] QCoro::Task<bool> scan(QString thenLog);
    void setVideoURLs(QList<QUrl> files);
    void setChangedVideos(QSet<QUrl> files);
    QThreadPool& metadataThreadPool();
    void noteMetadataArrived();
    void publishMetadata();

    StoredFile m_stateFile;
    ActivityLog& m_log;
    std::chrono::milliseconds m_metadataPublishInterval;
    std::optional<QUrl> m_folderURL;
    bool m_includeSubfolders = false;
    QList<QUrl> m_videoURLs;
    QSet<QUrl> m_changedVideos;
    std::optional<LocalVideoState> m_savedState;
    // Ends the running scan when a newer one starts or this object goes.
    std::stop_source m_scanStop;
    // Drops the reads not yet started before waiting for the running ones.
    struct ThreadPoolStopper {
        void operator()(QThreadPool* pool) const;
    };
    std::unique_ptr<QThreadPool, ThreadPoolStopper> m_ownMetadataPool;
    QThreadPool* m_metadataPool = nullptr;
    QElapsedTimer m_lastMetadataPublish;
    bool m_metadataPublishScheduled = false;
};

} // namespace clipferry
