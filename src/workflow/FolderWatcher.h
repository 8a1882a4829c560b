#pragma once

#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <chrono>

namespace clipferry {

// Watches a folder (and its subfolders) for clips and reports each once it has settled:
// its size and modification time unchanged for the settle time, and readable. Folders are
// watched, never files, so a tree of thousands of clips costs one watch per folder; when
// the system's watches run out it scans the tree periodically instead and says so.
//
//     FolderWatcher watcher({.folder = "/renders", .recursive = true});
//     connect(&watcher, &FolderWatcher::settled, this, &Me::deliver);
//     watcher.start();
class FolderWatcher : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString folder;
        bool recursive = false;
        std::chrono::milliseconds settle{std::chrono::seconds(30)};
        // How often a clip that has not settled yet is looked at again.
        std::chrono::milliseconds pollInterval{std::chrono::seconds(1)};
        // The whole tree is listed this often when folders cannot be watched, and, to catch
        // a clip rewritten in place (which tells its folder nothing), every `verifyInterval`.
        std::chrono::milliseconds fallbackScanInterval{std::chrono::seconds(10)};
        std::chrono::milliseconds verifyInterval{std::chrono::minutes(5)};
        // At most this many folders watched; beyond it the periodic scan takes over
        // (0: as many as the system allows).
        int maxWatchedFolders = 0;
    };

    explicit FolderWatcher(Options options, QObject* parent = nullptr);
    ~FolderWatcher() override;

    void start();
    [[nodiscard]] const Options& options() const { return m_options; }
    [[nodiscard]] bool isScanningPeriodically() const { return m_fallback; }
    [[nodiscard]] int watchedFolders() const;
    // Clips seen but not settled yet, with how long each has been unchanged.
    struct Unsettled {
        QString path;
        std::chrono::milliseconds unchangedFor;
    };
    [[nodiscard]] QList<Unsettled> unsettled() const;
    // Every clip that has settled in its present form.
    [[nodiscard]] QList<QUrl> settledFiles() const;

    // Editors' and copiers' temporary files: dot files, "~" backups, ".part", ".tmp".
    [[nodiscard]] static bool isTemporaryName(QStringView name);

Q_SIGNALS:
    // Clips that settled in this form for the first time: new ones, and ones that changed
    // since they last settled.
    void settled(const QList<QUrl>& files);
    void unsettledChanged();
    void logMessage(const QString& message);

private:
    struct Signature {
        qint64 size = -1;
        qint64 modifiedMs = 0;
        friend bool operator==(const Signature&, const Signature&) = default;
    };
    struct Entry {
        Signature seen;
        // Monotonic time at which `seen` was first observed.
        qint64 seenSince = 0;
        // Present before the watch began: looked at once the settle time is up, not polled.
        bool atStart = false;
        bool reported = false;
        Signature reportedAs;
    };

    void watchFolder(const QString& folder);
    void folderChanged(const QString& folder);
    void scanDirty();
    // Lists one folder: its clips are noted, its new subfolders watched and listed.
    void scanFolder(const QString& folder, bool atStart);
    void fullScan();
    void note(const QString& path, Signature signature, bool atStart);
    void checkPending();
    void scheduleCheck();
    void fallBack();
    [[nodiscard]] qint64 now() const { return m_clock.elapsed(); }

    Options m_options;
    QFileSystemWatcher m_watcher;
    QElapsedTimer m_clock;
    QSet<QString> m_folders;
    QSet<QString> m_dirty;
    QHash<QString, QSet<QString>> m_clipsOf; // folder -> its clips' paths
    QHash<QString, Entry> m_entries;
    QSet<QString> m_pending;
    QTimer m_dirtyTimer;
    QTimer m_checkTimer;
    QTimer m_rescanTimer;
    bool m_fallback = false;
};

} // namespace clipferry
