#pragma once

#include <QString>
#include <optional>

namespace clipferry {

// What the seen-state compares of a local file. Times are seconds since 1970 with the
// file system's sub-second part; a missing creation (birth) time is 0.
struct FileAttributes {
    double modified = 0.0;
    double created = 0.0;
    qint64 size = 0;
};

// Nothing when the file cannot be read (missing, no permission on its folder).
[[nodiscard]] std::optional<FileAttributes> readFileAttributes(const QString& path);

} // namespace clipferry
