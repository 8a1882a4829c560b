#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

namespace clipferry {

// A token bucket shared by every file transfer, so that all of them together stay under
// one rate: a shared link at a venue is not for uploads alone. A sender asks for the
// bytes it wants to write and writes what it is granted; when nothing is granted it
// waits `waitMs` and asks again. The bucket holds a quarter second of the rate, so a
// quiet spell lets at most that much leave at once.
//
//     BandwidthLimiter limiter(5'000'000); // 5 MB/s in all
//     const qint64 n = limiter.grant(blockSize); // 0: try again in limiter.waitMs(blockSize)
class BandwidthLimiter {
public:
    // Milliseconds of a steady clock; tests pass their own.
    using Clock = std::function<qint64()>;

    explicit BandwidthLimiter(qint64 bytesPerSecond = 0, Clock clock = {});

    // 0 or less: no limit.
    void setRate(qint64 bytesPerSecond);
    [[nodiscard]] qint64 rate() const { return m_rate; }

    // How many of `wanted` bytes may leave now; all of them without a limit.
    [[nodiscard]] qint64 grant(qint64 wanted);
    // How long until a grant for `wanted` bytes gives a worthwhile part of them.
    [[nodiscard]] qint64 waitMs(qint64 wanted);

private:
    void refill();
    [[nodiscard]] double capacity() const;

    Clock m_clock;
    qint64 m_rate = 0;
    double m_tokens = 0;
    qint64 m_updatedMs = 0;
};

// Bytes per second from curl's `--limit-rate` form: a whole or decimal number, optionally
// followed by k, M or G (either case, 1024-based as curl reads them): "5M", "500k",
// "1.5G", "20000". Nothing for anything else, zero included.
[[nodiscard]] std::optional<qint64> parseByteRate(const QString& text);

} // namespace clipferry
