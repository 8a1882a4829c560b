#include "workflow/FileAttributes.h"

#include <QDateTime>
#include <QFileInfo>

namespace clipferry {

std::optional<FileAttributes> readFileAttributes(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    const QDateTime modified = info.lastModified();
    if (!modified.isValid())
        return std::nullopt;
    const QDateTime born = info.birthTime();
    FileAttributes attributes;
    attributes.modified = static_cast<double>(modified.toMSecsSinceEpoch()) / 1000.0;
    attributes.created =
        born.isValid() ? static_cast<double>(born.toMSecsSinceEpoch()) / 1000.0 : 0.0;
    attributes.size = info.size();
    return attributes;
}

} // namespace clipferry
