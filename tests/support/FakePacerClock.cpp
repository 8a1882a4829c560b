#include "FakePacerClock.h"

#include <QCoro/QCoroTimer>

QCoro::Task<> FakePacerClock::sleepUntil(TimePoint when) {
    m_wakeUps.append(std::chrono::duration_cast<std::chrono::milliseconds>(when - m_start));
    // Time moves when the sleeper wakes, not when it asks: callers that reserve
    // together must all see the same "now".
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    m_now = std::max(m_now, when);
}

std::chrono::milliseconds FakePacerClock::elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_now - m_start);
}
