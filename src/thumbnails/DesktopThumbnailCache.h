#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

namespace clipferry {

// The desktop's shared thumbnail cache (the freedesktop.org Thumbnail Managing Standard): the
// "large" or "normal" PNG that file managers made for a file, used only while its
// Thumb::MTime still equals the file's modification time. Scaled down to fit
// `maxSize` pixels. Reads only; never writes to the desktop's cache.
[[nodiscard]] std::optional<QImage> desktopThumbnail(const QString& path, QSize maxSize);

// Where the desktop keeps the thumbnail of that size class ("large", "normal") for a file.
[[nodiscard]] QString desktopThumbnailPath(const QString& path, const QString& sizeClass);

} // namespace clipferry
