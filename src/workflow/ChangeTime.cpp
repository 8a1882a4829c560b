#include "workflow/ChangeTime.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

namespace clipferry {
namespace {

std::optional<double> parseInternetDateTime(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})T(\\d{2}):(\\d{2}):(\\d{2})(?:(Z)|([+-])(\\d{2}):(\\d{2}))$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).toInt());
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(),
                     match.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    qint64 offsetSeconds = 0;
    if (match.capturedLength(7) == 0) {
        const int hours = match.captured(9).toInt();
        const int minutes = match.captured(10).toInt();
        if (hours > 23 || minutes > 59)
            return std::nullopt;
        offsetSeconds = (hours * 60 + minutes) * 60;
        if (match.captured(8) == QLatin1String("-"))
            offsetSeconds = -offsetSeconds;
    }
    const qint64 days = QDate(1970, 1, 1).daysTo(date);
    const qint64 seconds = days * 86400 + time.msecsSinceStartOfDay() / 1000 - offsetSeconds;
    return static_cast<double>(seconds);
}

std::optional<double> parseUnixSeconds(const QString& text) {
    // Eighteen digits keep the value inside a 64-bit count.
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    return static_cast<double>(text.toLongLong());
}

} // namespace

std::optional<double> parseChangeTime(const QString& text) {
    if (auto iso = parseInternetDateTime(text))
        return iso;
    return parseUnixSeconds(text);
}

} // namespace clipferry
