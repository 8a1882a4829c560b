#pragma once

#include <QString>
#include <optional>

namespace clipferry {

// The attributes change tracking compares: times in seconds since 1970 (as the
// seen-state stores them), the size in bytes. A time the file system does not keep
// (birth time on many Linux file systems) is absent.
struct FileStamp {
    std::optional<double> modified;
    std::optional<double> created;
    qint64 size = 0;
};

// Nothing when the file's attributes cannot be read (missing file, no permission on
// its folder). Does not follow the question into the file's content.
[[nodiscard]] std::optional<FileStamp> readFileStamp(const QString& path);

} // namespace clipferry
