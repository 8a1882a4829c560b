#include "UploadViewModel.h"

#include "FileAttributes.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

// Local folder scan and change tracking.
namespace clipferry {
namespace {

constexpr auto entryFilter = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System;

QUrl entryUrl(const QDirIterator& entry) {
    return QUrl::fromLocalFile(entry.filePath());
}

// The folder's direct entries that are videos, hidden ones skipped, in listing order.
Result<QList<QUrl>> listFolder(const QString& folder) {
    const QFileInfo info(folder);
    const auto name = info.fileName().isEmpty() ? folder : info.fileName();
    if (!info.exists())
        return fail(errorDomain::file, folderMissingCode,
                    QStringLiteral("The folder \u201C%1\u201D doesn\u2019t exist.").arg(name));
    if (!info.isDir())
        return fail(errorDomain::file, notAFolderCode,
                    QStringLiteral("The file \u201C%1\u201D is not a folder.").arg(name));
    if (!info.isReadable() || !info.isExecutable())
        return fail(errorDomain::file, folderNotReadableCode,
                    QStringLiteral("The folder \u201C%1\u201D couldn\u2019t be opened because you "
                                   "don\u2019t have permission to view it.")
                        .arg(name));
    QList<QUrl> videos;
    QDirIterator entries(folder, entryFilter);
    while (entries.hasNext()) {
        entries.next();
        if (isVideoFileName(entries.fileName()))
            videos.append(entryUrl(entries));
    }
    return videos;
}

// Depth first, each folder's entry before its contents. Hidden entries are neither
// listed nor entered, symbolic links to folders are not followed (no cycles), and a
// folder that cannot be read is passed over.
void listFolderTree(const QString& folder, QList<QUrl>& videos) {
    QDirIterator entries(folder, entryFilter);
    while (entries.hasNext()) {
        entries.next();
        if (isVideoFileName(entries.fileName()))
            videos.append(entryUrl(entries));
        const auto info = entries.fileInfo();
        if (!info.isSymLink() && info.isDir())
            listFolderTree(entries.filePath(), videos);
    }
}

} // namespace

void UploadViewModel::loadLocalVideos() {
    setLocalVideoURLs({});
    if (!m_localFolderURL) {
        appendLog(QStringLiteral("No local folder selected."));
        return;
    }
    const bool recursive = m_includeSubfolders;
    const auto folder = QDir::cleanPath(m_localFolderURL->toLocalFile());

    QList<QUrl> files;
    if (recursive) {
        listFolderTree(folder, files);
    } else {
        auto listed = listFolder(folder);
        if (!listed) {
            appendLog(QStringLiteral("Failed to read folder: ") + listed.error().message);
            return;
        }
        files = std::move(*listed);
    }

    setLocalVideoURLs(files);
    detectChangedLocalVideos(files);
    if (!m_savedLocalState)
        m_savedLocalState = LocalVideoState{};
    m_savedLocalState->lastLaunchedAt = currentTimeSeconds();
    saveLocalVideoState();
    keep(preloadLocalMetadata(files));
    appendLog(QStringLiteral("Loaded %1 videos from local folder%2: %3")
                  .arg(files.size())
                  .arg(recursive ? QStringLiteral(" (including subfolders)") : QString(), folder));
}

void UploadViewModel::detectChangedLocalVideos(const QList<QUrl>& files) {
    QSet<QUrl> changed;
    const auto state = m_savedLocalState.value_or(LocalVideoState{});
    for (const auto& file : files) {
        const auto path = file.toLocalFile();
        const auto attributes = readFileAttributes(path);
        if (!attributes) {
            appendLog(QStringLiteral("Could not read attributes for file: ") + path);
            continue;
        }
        const auto record = state.fileTimes.constFind(path);
        // Exact comparison on purpose: the state file keeps times bit for bit.
        if (record == state.fileTimes.constEnd() || record->size != attributes->size ||
            record->modified != attributes->modified ||
            state.lastLaunchedAt < attributes->modified ||
            state.lastLaunchedAt < attributes->created)
            changed.insert(file);
    }
    post([this, changed] {
        setChangedLocalVideos(changed);
        if (!changed.isEmpty())
            appendLog(QStringLiteral("Found %1 new/changed local videos.").arg(changed.size()));
    });
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
