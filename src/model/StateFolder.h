#pragma once

#include "model/Result.h"

#include <QByteArray>
#include <QFileInfo>
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

// A stored file as read at start. One that exists but cannot be read, or does not decode
// and could not be copied aside, must be left as it is: nothing replaces it this session.
template <typename T>
struct LoadedFile {
    enum class Outcome { missing, loaded, unreadable, damaged };
    Outcome outcome = Outcome::missing;
    std::optional<T> value;
    // Why it could not be used: the read's or the decoder's description.
    QString reason;
    // A damaged file's bytes are in "<file>.bak"; otherwise why that copy failed.
    Result<void> keptAside;

    [[nodiscard]] bool mayReplace() const {
        return outcome != Outcome::unreadable && (outcome != Outcome::damaged || keptAside);
    }
};

// Reads and decodes a stored file. A file that was read but does not decode is first copied
// to "<file>.bak" (through a temporary name), so the next save cannot lose it.
template <typename T, typename Decode>
[[nodiscard]] LoadedFile<T> loadStoredFile(const QString& path, Decode decode) {
    using Outcome = typename LoadedFile<T>::Outcome;
    LoadedFile<T> loaded;
    if (!QFileInfo::exists(path))
        return loaded;
    auto bytes = readWholeFile(path);
    if (!bytes) {
        loaded.outcome = Outcome::unreadable;
        loaded.reason = bytes.error().message;
        return loaded;
    }
    auto decoded = decode(*bytes);
    if (decoded) {
        loaded.outcome = Outcome::loaded;
        loaded.value = std::move(*decoded);
        return loaded;
    }
    loaded.outcome = Outcome::damaged;
    loaded.reason = decoded.error().message;
    loaded.keptAside = writeFileAtomically(path + QStringLiteral(".bak"), *bytes);
    return loaded;
}

} // namespace clipferry
