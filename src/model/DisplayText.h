#pragma once

#include <QString>
#include <optional>

// The texts every layer shows the same way: file names without their extension, running
// times and picture sizes.
namespace clipferry {

// The part after the last dot, empty without one; a leading dot starts a name, not an
// extension (".mov" has none).
[[nodiscard]] QString fileExtension(const QString& fileName);
// The name with its final extension removed: "a.b.mov" gives "a.b", ".mov" stays ".mov".
[[nodiscard]] QString withoutExtension(const QString& fileName);

// Whole seconds, truncated toward zero; nothing for a time no 64-bit count holds.
[[nodiscard]] std::optional<qint64> wholeSeconds(double seconds);
// "m:ss" with unbounded minutes: 125 gives "2:05", 3600 gives "60:00".
[[nodiscard]] QString minutesText(qint64 seconds);
// "1920×1080".
[[nodiscard]] QString resolutionText(qint64 width, qint64 height);

} // namespace clipferry
