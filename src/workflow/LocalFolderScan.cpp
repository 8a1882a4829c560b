#include "workflow/LocalFolderScan.h"

#include "workflow/FileAttributes.h"
#include "workflow/LocalVideo.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

namespace clipferry {
namespace {

constexpr auto entryFilter = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System;

// A regular file (or a link to one) named like a video.
bool isVideoFile(const QDirIterator& entry) {
    return isVideoFileName(entry.fileName()) && entry.fileInfo().isFile();
}

// The folder's direct entries that are videos, hidden ones skipped, in listing order.
Result<QList<QUrl>> listFolder(const QString& folder, const std::stop_token& stop) {
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
    while (entries.hasNext() && !stop.stop_requested()) {
        entries.next();
        if (isVideoFile(entries))
            videos.append(QUrl::fromLocalFile(entries.filePath()));
    }
    return videos;
}

// Depth first, in listing order, a subfolder's videos where the subfolder is met. Hidden entries
// are neither listed nor entered, symbolic links to folders are not followed (no cycles),
// and a folder that cannot be read is passed over.
void listFolderTree(const QString& folder, QList<QUrl>& videos, const std::stop_token& stop) {
    QDirIterator entries(folder, entryFilter);
    while (entries.hasNext() && !stop.stop_requested()) {
        entries.next();
        if (isVideoFile(entries))
            videos.append(QUrl::fromLocalFile(entries.filePath()));
        const auto info = entries.fileInfo();
        if (!info.isSymLink() && info.isDir())
            listFolderTree(entries.filePath(), videos, stop);
    }
}

} // namespace

LocalFolderScan detectLocalChanges(const QList<QUrl>& files, const LocalVideoState& state) {
    LocalFolderScan scan;
    for (const auto& file : files) {
        const auto path = file.toLocalFile();
        const auto attributes = readFileAttributes(path);
        if (!attributes) {
            scan.unreadable.append(path);
            continue;
        }
        const auto record = state.fileTimes.constFind(path);
        // Exact comparison on purpose: the state file keeps times bit for bit.
        if (record == state.fileTimes.constEnd() || record->size != attributes->size ||
            record->modified != attributes->modified ||
            state.lastLaunchedAt < attributes->modified ||
            state.lastLaunchedAt < attributes->created)
            scan.changed.insert(file);
    }
    return scan;
}

LocalFolderScan scanLocalFolder(const QString& folder, bool recursive, const LocalVideoState& state,
                                std::stop_token stop) {
    QList<QUrl> files;
    if (recursive) {
        listFolderTree(folder, files, stop);
    } else {
        auto listed = listFolder(folder, stop);
        if (!listed) {
            LocalFolderScan failed;
            failed.files = std::move(listed);
            return failed;
        }
        files = std::move(*listed);
    }
    LocalFolderScan scan = detectLocalChanges(files, state);
    scan.files = std::move(files);
    return scan;
}

} // namespace clipferry
