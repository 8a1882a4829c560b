#include "workflow/TransferMeter.h"

#include <cmath>

namespace clipferry {

namespace {

// Weight of the newest speed sample: enough to follow a change within a second or two
// without the number jumping with every burst of the network.
constexpr double smoothing = 0.3;

} // namespace

QString formatDuration(qint64 seconds) {
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 min").arg((seconds + 30) / 60);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

QString formatBytes(qint64 bytes) {
    const double value = static_cast<double>(bytes);
    if (bytes < 1000)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1000 * 1000)
        return QStringLiteral("%1 kB").arg(std::floor(value / 1e3));
    if (bytes < 1000LL * 1000 * 1000)
        return QStringLiteral("%1 MB").arg(std::floor(value / 1e6));
    return QStringLiteral("%1 GB").arg(value / 1e9, 0, 'f', 1);
}

void TransferMeter::restart(qint64 sent, qint64 nowMs) {
    m_lastBytes = sent;
    m_lastMs = nowMs;
    m_bytesPerSecond = 0.0;
    m_text.clear();
}

bool TransferMeter::sample(qint64 sent, qint64 total, qint64 nowMs) {
    if (m_lastMs < 0)
        restart(sent, nowMs);
    const qint64 elapsed = nowMs - m_lastMs;
    if (sent < total && elapsed < interval)
        return false;
    if (elapsed > 0 && sent >= m_lastBytes) {
        const double speed = static_cast<double>(sent - m_lastBytes) * 1000.0 / elapsed;
        m_bytesPerSecond =
            m_bytesPerSecond > 0 ? smoothing * speed + (1 - smoothing) * m_bytesPerSecond : speed;
    }
    m_lastBytes = sent;
    m_lastMs = nowMs;
    m_text = formatBytes(sent) + QStringLiteral(" of ") + formatBytes(total);
    if (m_bytesPerSecond >= 1.0 && sent < total) {
        const auto left =
            static_cast<qint64>(std::ceil(static_cast<double>(total - sent) / m_bytesPerSecond));
        m_text += QStringLiteral(" \u00b7 ") + formatBytes(static_cast<qint64>(m_bytesPerSecond)) +
                  QStringLiteral("/s") + QStringLiteral(" \u00b7 ") + formatDuration(left) +
                  QStringLiteral(" left");
    }
    return true;
}

} // namespace clipferry
