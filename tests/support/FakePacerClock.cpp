#include "FakePacerClock.h"

#include <QCoro/QCoroTimer>

QCoro::Task<> FakePacerClock::sleepUntil(TimePoint when) {
    m_wakeUps.append(std::chrono::duration_cast<std::chrono::milliseconds>(when - m_start));
    m_now = std::max(m_now, when);
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
}

std::chrono::milliseconds FakePacerClock::elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(m_now - m_start);
}
