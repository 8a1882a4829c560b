#pragma once

#include <QString>
#include <QtGlobal>

namespace clipferry {

// Turns the byte counts of a running transfer into the row's text, "412 MB of 1.2 GB ·
// 38 MB/s · 21 s left", with a smoothed speed. Samples closer than `interval` to the
// last one are dropped, so the text changes at most four times a second.
class TransferMeter {
public:
    static constexpr qint64 interval = 250;

    // Starts over at `sent` bytes, e.g. what a session already holds.
    void restart(qint64 sent, qint64 nowMs);
    // Whether the sample was taken; the last byte always is.
    bool sample(qint64 sent, qint64 total, qint64 nowMs);
    [[nodiscard]] QString text() const { return m_text; }
    // The smoothed speed; 0 until two samples were taken.
    [[nodiscard]] double bytesPerSecond() const { return m_bytesPerSecond; }

private:
    qint64 m_lastBytes = 0;
    qint64 m_lastMs = -1;
    double m_bytesPerSecond = 0.0;
    QString m_text;
};

// "950 B", "12 kB", "412 MB", "1.2 GB": decimal units, as file managers show sizes.
[[nodiscard]] QString formatBytes(qint64 bytes);
// "45 s", "12 min", "2 h 5 min".
[[nodiscard]] QString formatDuration(qint64 seconds);

} // namespace clipferry
