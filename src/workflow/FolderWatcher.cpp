#include "workflow/FolderWatcher.h"

#include "workflow/LocalVideo.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace clipferry {
namespace {

// Events of one burst (a copy creating, writing and renaming) are taken in one listing.
constexpr int dirtyDelayMs = 50;

bool isBelow(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

FolderWatcher::FolderWatcher(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options)) {
    m_options.folder = QDir::cleanPath(QDir(m_options.folder).absolutePath());
    m_dirtyTimer.setSingleShot(true);
    m_dirtyTimer.setInterval(dirtyDelayMs);
    m_checkTimer.setSingleShot(true);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FolderWatcher::folderChanged);
    connect(&m_dirtyTimer, &QTimer::timeout, this, &FolderWatcher::scanDirty);
    connect(&m_checkTimer, &QTimer::timeout, this, &FolderWatcher::checkPending);
    connect(&m_rescanTimer, &QTimer::timeout, this, &FolderWatcher::fullScan);
}

FolderWatcher::~FolderWatcher() = default;

// Also with a clip's extension after the mark ("a.part.mov", "a~.mov"), as tools that pick
// the container by the name write them.
bool FolderWatcher::isTemporaryName(QStringView name) {
    if (name.startsWith(u'.'))
        return true;
    const auto marked = [](QStringView stem) {
        return stem.endsWith(u'~') || stem.endsWith(u".part", Qt::CaseInsensitive) ||
               stem.endsWith(u".tmp", Qt::CaseInsensitive);
    };
    const qsizetype dot = name.lastIndexOf(u'.');
    return marked(name) || (dot > 0 && marked(name.first(dot)));
}

void FolderWatcher::start() {
    m_clock.start();
    watchFolder(m_options.folder);
    scanFolder(m_options.folder, true);
    m_rescanTimer.start(m_fallback ? m_options.fallbackScanInterval : m_options.verifyInterval);
    scheduleCheck();
    Q_EMIT unsettledChanged();
}

int FolderWatcher::watchedFolders() const {
    return static_cast<int>(m_watcher.directories().size());
}

void FolderWatcher::watchFolder(const QString& folder) {
    m_folders.insert(folder);
    if (m_fallback)
        return;
    const bool full = m_options.maxWatchedFolders > 0 &&
                      m_watcher.directories().size() >= m_options.maxWatchedFolders;
    if (full || !m_watcher.addPath(folder))
        fallBack();
}

void FolderWatcher::fallBack() {
    m_fallback = true;
    const int watched = watchedFolders();
    if (watched > 0)
        (void)m_watcher.removePaths(m_watcher.directories());
    Q_EMIT logMessage(
        QStringLiteral("Cannot watch every folder of %1 for changes (%2 watched, the limit "
                       "of watches reached); listing it every %3 s instead.")
            .arg(m_options.folder)
            .arg(watched)
            .arg(std::chrono::duration<double>(m_options.fallbackScanInterval).count()));
    if (m_rescanTimer.isActive())
        m_rescanTimer.start(m_options.fallbackScanInterval);
}

void FolderWatcher::folderChanged(const QString& folder) {
    m_dirty.insert(folder);
    if (!m_dirtyTimer.isActive())
        m_dirtyTimer.start();
}

void FolderWatcher::scanDirty() {
    const QSet<QString> dirty = std::exchange(m_dirty, {});
    for (const QString& folder : dirty) {
        if (QFileInfo(folder).isDir()) {
            scanFolder(folder, false);
            continue;
        }
        // Gone, with whatever was below it.
        for (auto it = m_folders.begin(); it != m_folders.end();) {
            if (!isBelow(*it, folder)) {
                ++it;
                continue;
            }
            for (const QString& clip : m_clipsOf.take(*it)) {
                m_entries.remove(clip);
                m_pending.remove(clip);
            }
            m_watcher.removePath(*it);
            it = m_folders.erase(it);
        }
    }
    scheduleCheck();
    Q_EMIT unsettledChanged();
}

void FolderWatcher::fullScan() {
    for (const QString& folder : QStringList(m_folders.cbegin(), m_folders.cend()))
        folderChanged(folder);
    scanDirty();
}

void FolderWatcher::scanFolder(const QString& folder, bool atStart) {
    // Hidden entries (and so the claim file) are not listed, as in the library's scan.
    const auto entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    QSet<QString> clips;
    for (const QFileInfo& info : entries) {
        const QString path = info.absoluteFilePath();
        if (info.isDir()) {
            // A linked folder could lead back up the tree.
            if (m_options.recursive && !info.isSymLink() && !m_folders.contains(path)) {
                watchFolder(path);
                scanFolder(path, atStart);
            }
            continue;
        }
        const QString name = info.fileName();
        if (isTemporaryName(name) || !isVideoFileName(name))
            continue;
        clips.insert(path);
        note(path, {info.size(), info.lastModified().toMSecsSinceEpoch()}, atStart);
    }
    for (const QString& gone : m_clipsOf.value(folder))
        if (!clips.contains(gone)) {
            m_entries.remove(gone);
            m_pending.remove(gone);
        }
    m_clipsOf.insert(folder, std::move(clips));
}

void FolderWatcher::note(const QString& path, Signature signature, bool atStart) {
    auto it = m_entries.find(path);
    if (it == m_entries.end()) {
        it = m_entries.insert(path, Entry{signature, now(), atStart, false, {}});
    } else if (it->seen != signature) {
        it->seen = signature;
        it->seenSince = now();
        it->atStart = false;
    }
    if (!it->reported || it->reportedAs != it->seen)
        m_pending.insert(path);
}

void FolderWatcher::checkPending() {
    const qint64 t = now();
    const qint64 settle = m_options.settle.count();
    QList<QUrl> settledNow;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        auto entry = m_entries.find(*it);
        if (entry == m_entries.end()) {
            it = m_pending.erase(it);
            continue;
        }
        if (entry->atStart && t - entry->seenSince < settle) {
            ++it;
            continue;
        }
        const QFileInfo info(*it);
        if (!info.exists()) {
            m_entries.erase(entry);
            it = m_pending.erase(it);
            continue;
        }
        const Signature signature{info.size(), info.lastModified().toMSecsSinceEpoch()};
        if (signature != entry->seen) {
            entry->seen = signature;
            entry->seenSince = t;
            entry->atStart = false;
        }
        if (t - entry->seenSince < settle) {
            ++it;
            continue;
        }
        // A writer that holds the file exclusively (a share's lock) is not done with it.
        if (QFile file(*it); !file.open(QIODevice::ReadOnly)) {
            entry->seenSince = t;
            ++it;
            continue;
        }
        entry->reported = true;
        entry->reportedAs = signature;
        settledNow.append(QUrl::fromLocalFile(*it));
        it = m_pending.erase(it);
    }
    scheduleCheck();
    Q_EMIT unsettledChanged();
    if (!settledNow.isEmpty())
        Q_EMIT settled(settledNow);
}

void FolderWatcher::scheduleCheck() {
    if (m_pending.isEmpty()) {
        m_checkTimer.stop();
        return;
    }
    const qint64 t = now();
    const qint64 settle = m_options.settle.count();
    qint64 next = std::numeric_limits<qint64>::max();
    for (const QString& path : std::as_const(m_pending)) {
        const Entry& entry = m_entries[path];
        // A clip found at the start is looked at once, when its settle time is up; one that
        // appeared or changed while watched is looked at every poll until it settles.
        const qint64 due =
            entry.atStart ? entry.seenSince + settle
                          : std::min(entry.seenSince + settle, t + m_options.pollInterval.count());
        next = std::min(next, due);
    }
    m_checkTimer.start(static_cast<int>(std::clamp<qint64>(next - t, 0, 24 * 3600 * 1000)));
}

QList<FolderWatcher::Unsettled> FolderWatcher::unsettled() const {
    QList<Unsettled> list;
    const qint64 t = m_clock.isValid() ? now() : 0;
    for (const QString& path : m_pending)
        list.append({path, std::chrono::milliseconds(t - m_entries.value(path).seenSince)});
    std::sort(list.begin(), list.end(),
              [](const Unsettled& a, const Unsettled& b) { return a.path < b.path; });
    return list;
}

QList<QUrl> FolderWatcher::settledFiles() const {
    QList<QUrl> files;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        if (it->reported && it->reportedAs == it->seen && !m_pending.contains(it.key()))
            files.append(QUrl::fromLocalFile(it.key()));
    return files;
}

} // namespace clipferry
