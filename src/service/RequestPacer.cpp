#include "RequestPacer.h"

#include <algorithm>

namespace clipferry {

RequestPacer::RequestPacer(Rates rates, std::shared_ptr<PacerClock> clock)
    : m_clock(clock ? std::move(clock) : std::make_shared<SteadyPacerClock>()) {
    const double capacity = std::max(1.0, rates.burst);
    const auto now = m_clock->now();
    m_post = Bucket{rates.postPerSecond, capacity, capacity, now};
    m_other = Bucket{rates.otherPerSecond, capacity, capacity, now};
}

PacerClock::TimePoint RequestPacer::reserve(Bucket& bucket) {
    const auto now = m_clock->now();
    if (bucket.ratePerSecond <= 0)
        return now;
    const std::chrono::duration<double> elapsed = now - bucket.updated;
    if (elapsed.count() > 0) {
        bucket.tokens =
            std::min(bucket.capacity, bucket.tokens + elapsed.count() * bucket.ratePerSecond);
        bucket.updated = now;
    }
    bucket.tokens -= 1.0;
    if (bucket.tokens >= 0)
        return now;
    const std::chrono::duration<double> wait(-bucket.tokens / bucket.ratePerSecond);
    return bucket.updated + std::chrono::duration_cast<PacerClock::TimePoint::duration>(wait);
}

QCoro::Task<> RequestPacer::acquire(Kind kind) {
    // The reservation is taken before the first suspension, so concurrent callers
    // queue in the order they asked.
    const auto when = reserve(kind == Kind::post ? m_post : m_other);
    if (when > m_clock->now())
        co_await m_clock->sleepUntil(when);
}

} // namespace clipferry
