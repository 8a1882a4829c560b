#pragma once

#include <QCoro/QCoroTask>
#include <chrono>

namespace clipferry {

// The time source of the request pacer and of retry delays. Tests substitute a clock
// whose sleeps only move its own time forward, so that seconds of pacing cost nothing.
class PacerClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~PacerClock() = default;
    [[nodiscard]] virtual TimePoint now() const = 0;
    // Resumes the caller on its thread's event loop at or after `when`.
    [[nodiscard]] virtual QCoro::Task<> sleepUntil(TimePoint when) = 0;
};

// The steady clock, sleeping on Qt timers.
class SteadyPacerClock final : public PacerClock {
public:
    [[nodiscard]] TimePoint now() const override;
    [[nodiscard]] QCoro::Task<> sleepUntil(TimePoint when) override;
};

} // namespace clipferry
