#include "service/RequestPacer.h"

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

void RequestPacer::noteBudget(int remaining, PacerClock::TimePoint resetAt) {
    const auto now = m_clock->now();
    if (resetAt <= now)
        return;
    remaining = std::max(0, remaining);
    if (m_budget && m_budget->resetAt == resetAt) {
        // Requests in flight when the reply left are not in its count yet.
        m_budget->remaining = std::min(m_budget->remaining, remaining);
        return;
    }
    m_budget = Budget{remaining, resetAt, m_budget ? std::max(now, m_budget->next) : now};
}

std::optional<PacerClock::TimePoint> RequestPacer::reserveBudget() {
    if (!m_budget)
        return std::nullopt;
    const auto now = m_clock->now();
    Budget& budget = *m_budget;
    if (now >= budget.resetAt) {
        m_budget.reset();
        return std::nullopt;
    }
    const auto slot = std::max(now, budget.next);
    if (budget.remaining <= 0 || slot >= budget.resetAt) {
        // Spent: the first request of the next window leaves at its start, and the fixed
        // rates take over until a reply announces the new budget.
        m_holdUntil = budget.resetAt;
        m_budget.reset();
        return std::nullopt;
    }
    budget.next = slot + (budget.resetAt - slot) / budget.remaining;
    --budget.remaining;
    return slot;
}

QCoro::Task<> RequestPacer::acquire(Kind kind, std::shared_ptr<StopSource> stop) {
    // The reservation is taken before the first suspension, so concurrent callers
    // queue in the order they asked.
    const auto budgeted = reserveBudget();
    const auto when = budgeted
                          ? *budgeted
                          : std::max(m_holdUntil, reserve(kind == Kind::post ? m_post : m_other));
    if (when > m_clock->now()) {
        auto sleep = m_clock->sleepUntil(when, std::move(stop));
        co_await std::move(sleep);
    }
}

} // namespace clipferry
