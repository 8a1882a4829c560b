#pragma once

#include "Result.h"

#include <QByteArray>
#include <QString>

namespace clipferry {

// The folder "Clipferry" in the user's data directory, holding the seen-state files,
// the city map and the thumbnail cache.
[[nodiscard]] QString stateFolderPath();

// The path of a file in the state folder, creating the folder (with its parents) when
// nothing exists there. A failure to create it is left to the read or write that follows.
[[nodiscard]] QString stateFileURL(const QString& fileName);

// Writes through a temporary file that replaces the target only when complete, so a
// reader never sees half a file and a failed write leaves the old content.
[[nodiscard]] Result<void> writeFileAtomically(const QString& path, const QByteArray& bytes);

[[nodiscard]] Result<QByteArray> readWholeFile(const QString& path);

} // namespace clipferry
