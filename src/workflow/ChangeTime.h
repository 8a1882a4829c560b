#pragma once

#include <QString>
#include <optional>

namespace clipferry {

// An asset's change time in seconds since 1970, from the text the service sends: an
// internet date-time to the second with a zone ("2024-05-01T12:00:00Z", "…+02:00"; no
// fractional seconds), or failing that a text of ASCII digits read as Unix seconds.
[[nodiscard]] std::optional<double> parseChangeTime(const QString& text);

} // namespace clipferry
