#include "FakePacerClock.h"

QCoro::Task<> FakePacerClock::sleepUntil(TimePoint when,
                                         std::shared_ptr<clipferry::StopSource> stop) {
    m_wakeUps.append(std::chrono::duration_cast<std::chrono::milliseconds>(when - m_start));
    // Time moves when the sleeper wakes, not when it asks: callers that reserve
    // together must all see the same "now".
    auto sleep = clipferry::sleepUnlessStopped(std::chrono::milliseconds(0), std::move(stop));
    const bool stopped = co_await std::move(sleep);
    if (stopped)
        co_return;
    m_now = std::max(m_now, when);
}

std::chrono::milliseconds FakePacerClock::elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_now - m_start);
}
