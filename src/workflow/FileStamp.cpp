#include "FileStamp.h"

#include <QDateTime>
#include <QFileInfo>

namespace clipferry {
namespace {

std::optional<double> seconds(const QDateTime& time) {
    if (!time.isValid())
        return std::nullopt;
    return static_cast<double>(time.toMSecsSinceEpoch()) / 1000.0;
}

} // namespace

std::optional<FileStamp> readFileStamp(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    return FileStamp{seconds(info.lastModified()), seconds(info.birthTime()), info.size()};
}

} // namespace clipferry
