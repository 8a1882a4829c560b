#include "service/BandwidthLimiter.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cmath>

namespace clipferry {

namespace {

qint64 steadyMs() {
    static const QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return started.elapsed();
}

// Writes smaller than this cost more in wake-ups than they smooth the rate.
constexpr qint64 smallestWorthwhile = 64 * 1024;

} // namespace

BandwidthLimiter::BandwidthLimiter(qint64 bytesPerSecond, Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(steadyMs)) {
    m_updatedMs = m_clock();
    setRate(bytesPerSecond);
}

void BandwidthLimiter::setRate(qint64 bytesPerSecond) {
    refill();
    m_rate = std::max<qint64>(0, bytesPerSecond);
    // A new rate starts with an empty bucket: no burst at the old rate's size.
    m_tokens = std::min(m_tokens, capacity());
}

double BandwidthLimiter::capacity() const {
    return static_cast<double>(m_rate) / 4.0;
}

void BandwidthLimiter::refill() {
    const qint64 now = m_clock();
    const qint64 elapsed = std::max<qint64>(0, now - m_updatedMs);
    m_updatedMs = now;
    m_tokens = std::min(capacity(), m_tokens + static_cast<double>(m_rate) *
                                                   static_cast<double>(elapsed) / 1000.0);
}

qint64 BandwidthLimiter::grant(qint64 wanted) {
    if (m_rate <= 0)
        return wanted;
    refill();
    const qint64 least = std::min(
        wanted,
        std::max<qint64>(1, std::min<qint64>(smallestWorthwhile, static_cast<qint64>(capacity()))));
    if (m_tokens < static_cast<double>(least))
        return 0;
    const qint64 granted = std::min(wanted, static_cast<qint64>(m_tokens));
    m_tokens -= static_cast<double>(granted);
    return granted;
}

qint64 BandwidthLimiter::waitMs(qint64 wanted) {
    if (m_rate <= 0)
        return 0;
    refill();
    const double least = static_cast<double>(
        std::min(wanted, std::max<qint64>(1, std::min<qint64>(smallestWorthwhile,
                                                              static_cast<qint64>(capacity())))));
    const double missing = least - m_tokens;
    if (missing <= 0)
        return 0;
    return std::max<qint64>(
        1, static_cast<qint64>(std::ceil(missing * 1000.0 / static_cast<double>(m_rate))));
}

std::optional<qint64> parseByteRate(const QString& text) {
    QString number = text.trimmed();
    double unit = 1;
    if (!number.isEmpty()) {
        switch (number.back().toLower().unicode()) {
        case u'k':
            unit = 1024.0;
            break;
        case u'm':
            unit = 1024.0 * 1024.0;
            break;
        case u'g':
            unit = 1024.0 * 1024.0 * 1024.0;
            break;
        default:
            break;
        }
        if (unit > 1)
            number.chop(1);
    }
    // Digits and at most one point: no sign, exponent or spaces that toDouble would take.
    if (number.isEmpty() || number.count(QLatin1Char('.')) > 1 ||
        !std::all_of(number.cbegin(), number.cend(),
                     [](QChar c) { return (c >= u'0' && c <= u'9') || c == u'.'; }) ||
        number == QLatin1String("."))
        return std::nullopt;
    const double bytes = number.toDouble() * unit;
    // Above an exabyte a second is a typing error, not a rate.
    if (!(bytes >= 1.0) || bytes > 1e18)
        return std::nullopt;
    return static_cast<qint64>(bytes);
}

} // namespace clipferry
