#pragma once

#include "model/Result.h"
#include "model/SeenState.h"

#include <QList>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <stop_token>

namespace clipferry {

// What one scan of a local folder found. Made on a worker thread from copies only, then
// applied by the view model on its own thread in one step.
struct LocalFolderScan {
    // The videos in listing order; an error when the flat listing failed.
    Result<QList<QUrl>> files = QList<QUrl>{};
    // New or changed against the seen-state the scan was given.
    QSet<QUrl> changed;
    // Listed files whose attributes could not be read, in list order.
    QStringList unreadable;
};

// Lists the regular files with a video extension (a pipe or device named like a clip is
// never opened), recursively or the top level only, skipping hidden entries, and compares
// them with `state`. Blocks on the file system: run it off the user-interface thread.
[[nodiscard]] LocalFolderScan scanLocalFolder(const QString& folder, bool recursive,
                                              const LocalVideoState& state, std::stop_token stop);

// The files among `files` that are new or changed against `state`.
[[nodiscard]] LocalFolderScan detectLocalChanges(const QList<QUrl>& files,
                                                 const LocalVideoState& state);

} // namespace clipferry
