#pragma once

#include "model/Result.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace clipferry {

// The folder "Clipferry" in the user's data directory, holding the seen-state files,
// the city map and the thumbnail cache.
[[nodiscard]] QString stateFolderPath();

// The path of a file in the state folder, creating the folder (with its parents) when
// nothing exists there, and making it private. A failure to create it is left to the read
// or write that follows.
[[nodiscard]] QString stateFileURL(const QString& fileName);

// Creates `path` (with its parents) if needed and makes it the user's alone (0700): the
// state folder holds signed upload addresses and the user's library. Parents keep the
// permissions they are created with.
[[nodiscard]] Result<void> makePrivateFolder(const QString& path);
// Makes an existing file the user's alone (0600).
[[nodiscard]] Result<void> makePrivateFile(const QString& path);

// Writes through a temporary file that replaces the target only when complete, so a
// reader never sees half a file and a failed write leaves the old content. The file is
// the user's alone (0600).
[[nodiscard]] Result<void> writeFileAtomically(const QString& path, const QByteArray& bytes);

[[nodiscard]] Result<QByteArray> readWholeFile(const QString& path);

} // namespace clipferry
