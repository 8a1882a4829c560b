#include "workflow/LocalVideo.h"

#include "media/MediaProbe.h"
#include "model/DisplayText.h"
#include "workflow/FileAttributes.h"
#include "workflow/MetadataCache.h"

namespace clipferry {
namespace {
const auto loadingText = QStringLiteral("Loading...");
const auto unknownText = QStringLiteral("Unknown");
} // namespace

QString durationText(double seconds) {
    // A container can claim any running time; only one a 64-bit count holds is shown.
    const auto whole = seconds >= 0.0 ? wholeSeconds(seconds) : std::nullopt;
    return whole ? minutesText(*whole) : unknownText;
}

QString fileFormatText(const QString& fileName) {
    const auto extension = fileExtension(fileName);
    return extension.isEmpty() ? unknownText : extension.toUpper();
}

QString extensionText(const QString& fileName) {
    return fileExtension(fileName).toUpper();
}

VideoMetadata probeVideoMetadata(const QString& path) {
    const auto facts = probeMedia(path);
    const auto size = facts ? facts->pictureSize : std::nullopt;
    return {size ? resolutionText(size->width(), size->height()) : unknownText,
            durationText(facts ? facts->seconds : 0.0),
            fileFormatText(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1))};
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
