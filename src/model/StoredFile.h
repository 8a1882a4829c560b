#pragma once

#include "model/Result.h"
#include "model/StateFolder.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <optional>

namespace clipferry {

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
    [[nodiscard]] bool failed() const {
        return outcome == Outcome::unreadable || outcome == Outcome::damaged;
    }
};

// A file of state kept between runs (seen-state, city map, listing cache). A read-only one
// is read and never written, not even as the copy of a damaged file: a command-line run
// reads what the window keeps and cannot undo the window's changes.
//   StoredFile file(stateFilePath("CityMap.json"), StoredFile::Access::readWrite);
//   auto loaded = file.load<CityMap>(decodeCityMap); ... (void)file.save(encodeCityMap(map));
class StoredFile {
public:
    enum class Access { readWrite, readOnly };

    StoredFile(QString path, Access access);

    [[nodiscard]] const QString& path() const { return m_path; }
    [[nodiscard]] bool isReadOnly() const { return m_readOnly; }
    // Saves go through: the file is writable and was not left alone at its load.
    [[nodiscard]] bool isWritable() const { return !m_readOnly && m_replaceable; }

    // Reads and decodes. A writable file that was read but does not decode is first copied
    // to "<file>.bak" (through a temporary name), so the next save cannot lose it; one that
    // can be neither used nor kept aside is not replaced this session.
    template <typename T, typename Decode>
    [[nodiscard]] LoadedFile<T> load(Decode decode);

    // Replaces the file with `bytes`, creating its folder privately; does nothing when the
    // file is not writable.
    [[nodiscard]] Result<void> save(const QByteArray& bytes) const;

private:
    QString m_path;
    bool m_readOnly;
    bool m_replaceable = true;
};

// A file in the state folder, which is not created by naming it.
[[nodiscard]] QString stateFilePath(const QString& fileName);

// "Failed to load <what>: <reason>. Kept it as <file>.bak." or "… The file is left as it is."
template <typename T>
[[nodiscard]] QString loadFailureLine(const LoadedFile<T>& loaded, const QString& what,
                                      const StoredFile& file) {
    return QStringLiteral("Failed to load %1: %2. ").arg(what, loaded.reason) +
           (loaded.mayReplace()
                ? QStringLiteral("Kept it as %1.bak.").arg(QFileInfo(file.path()).fileName())
                : QStringLiteral("The file is left as it is."));
}

template <typename T, typename Decode>
LoadedFile<T> StoredFile::load(Decode decode) {
    using Outcome = typename LoadedFile<T>::Outcome;
    LoadedFile<T> loaded;
    if (!QFileInfo::exists(m_path))
        return loaded;
    auto bytes = readWholeFile(m_path);
    if (!bytes) {
        loaded.outcome = Outcome::unreadable;
        loaded.reason = bytes.error().message;
        m_replaceable = false;
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
    loaded.keptAside = m_readOnly
                           ? fail(errorDomain::file, 0, QStringLiteral("the file is read-only"))
                           : writeFileAtomically(m_path + QStringLiteral(".bak"), *bytes);
    m_replaceable = loaded.mayReplace();
    return loaded;
}

} // namespace clipferry
