#include "model/DisplayText.h"

#include <cmath>

namespace clipferry {

QString fileExtension(const QString& fileName) {
    const auto dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? QString() : fileName.mid(dot + 1);
}

QString withoutExtension(const QString& fileName) {
    const auto dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? fileName : fileName.left(dot);
}

std::optional<qint64> wholeSeconds(double seconds) {
    const double truncated = std::trunc(seconds);
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!std::isfinite(truncated) || truncated >= limit || truncated < -limit)
        return std::nullopt;
    return static_cast<qint64>(truncated);
}

QString minutesText(qint64 seconds) {
    const qint64 minutes = seconds / 60;
    return QString::asprintf("%lld:%02lld", static_cast<long long>(minutes),
                             static_cast<long long>(seconds - 60 * minutes));
}

QString resolutionText(qint64 width, qint64 height) {
    return QString::number(width) + QChar(0x00D7) + QString::number(height);
}

} // namespace clipferry
