#include "LocalVideo.h"

#include "FileAttributes.h"
#include "MediaProbe.h"
#include "MetadataCache.h"

namespace clipferry {
namespace {
const auto loadingText = QStringLiteral("Loading...");
}

bool isVideoFileName(QStringView name) {
    const auto dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const auto extension = name.mid(dot + 1);
    for (const char* candidate : videoExtensions) {
        if (extension.compare(QLatin1StringView(candidate), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString LocalVideo::resolution() const {
    const auto metadata = MetadataCache::shared().find(url.toLocalFile());
    return metadata ? metadata->resolution : loadingText;
}

QString LocalVideo::duration() const {
    const auto metadata = MetadataCache::shared().find(url.toLocalFile());
    return metadata ? metadata->duration : loadingText;
}

QString LocalVideo::fileFormat() const {
    const auto metadata = MetadataCache::shared().find(url.toLocalFile());
    return metadata ? metadata->fileFormat : extensionText(url.fileName());
}

void LocalVideo::loadMetadata() const {
    const auto path = url.toLocalFile();
    std::optional<MetadataCache::Version> version;
    if (const auto attributes = readFileAttributes(path))
        version = MetadataCache::Version{attributes->modified, attributes->size};
    auto& cache = MetadataCache::shared();
    if (cache.holds(path, version))
        return;
    cache.insert(path, version, probeVideoMetadata(path));
}

} // namespace clipferry
