#pragma once

#include "service/PacerClock.h"

#include <QList>

// A pacer clock whose time moves only when someone sleeps on it: a sleep resumes on the
// next turn of the event loop and moves the clock to its wake-up time (never backwards), unless
// its stop comes first, which moves nothing. Tests read how far paced requests and retries moved
// it.
class FakePacerClock final : public clipferry::PacerClock {
public:
    [[nodiscard]] TimePoint now() const override { return m_now; }
    using PacerClock::sleepUntil;
    [[nodiscard]] QCoro::Task<> sleepUntil(TimePoint when,
                                           std::shared_ptr<clipferry::StopSource> stop) override;

    // Time moved since construction.
    [[nodiscard]] std::chrono::milliseconds elapsed() const;
    // Each sleep's wake-up time, relative to construction, in the order asked.
    [[nodiscard]] const QList<std::chrono::milliseconds>& wakeUps() const { return m_wakeUps; }

private:
    // Far from the steady clock's epoch, so that nothing computes negative times.
    const TimePoint m_start = TimePoint{} + std::chrono::hours(24);
    TimePoint m_now = m_start;
    QList<std::chrono::milliseconds> m_wakeUps;
};
