#include "workflow/MetadataCache.h"

namespace clipferry {

MetadataCache& MetadataCache::shared() {
    static MetadataCache cache;
    return cache;
}

std::optional<VideoMetadata> MetadataCache::find(const QString& path) const {
    const QReadLocker locker(&m_lock);
    const auto found = m_entries.constFind(path);
    if (found == m_entries.constEnd())
        return std::nullopt;
    return found->metadata;
}

bool MetadataCache::holds(const QString& path, const std::optional<Version>& version) const {
    const QReadLocker locker(&m_lock);
    const auto found = m_entries.constFind(path);
    return found != m_entries.constEnd() && found->version == version;
}

void MetadataCache::insert(const QString& path, const std::optional<Version>& version,
                           VideoMetadata metadata) {
    const QWriteLocker locker(&m_lock);
    m_entries.insert(path, Entry{version, std::move(metadata)});
}

void MetadataCache::clear() {
    const QWriteLocker locker(&m_lock);
    m_entries.clear();
}

} // namespace clipferry
