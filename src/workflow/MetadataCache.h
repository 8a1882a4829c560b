#pragma once

#include "workflow/VideoMetadata.h"

#include <QHash>
#include <QReadWriteLock>
#include <optional>

namespace clipferry {

// The process-wide readings of local files, one per path. A reading remembers the
// modification time and size it was taken at, so a file re-exported under the same
// name is read again at the next load instead of showing its old texts for the rest
// of the run. Background loaders write while the user-interface thread reads.
class MetadataCache {
public:
    // What a reading was taken of; absent when the file's attributes could not be read.
    struct Version {
        double modified = 0.0;
        qint64 size = 0;
        friend bool operator==(const Version&, const Version&) = default;
    };

    [[nodiscard]] static MetadataCache& shared();

    // The latest reading of the file, current or not.
    [[nodiscard]] std::optional<VideoMetadata> find(const QString& path) const;
    // Whether the reading of the file was taken of this version of it.
    [[nodiscard]] bool holds(const QString& path, const std::optional<Version>& version) const;
    void insert(const QString& path, const std::optional<Version>& version, VideoMetadata metadata);
    // For tests: forget every reading.
    void clear();

private:
    struct Entry {
        std::optional<Version> version;
        VideoMetadata metadata;
    };
    mutable QReadWriteLock m_lock;
    QHash<QString, Entry> m_entries;
};

} // namespace clipferry
