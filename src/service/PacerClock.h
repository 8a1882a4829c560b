#pragma once

#include <QCoro/QCoroTask>
#include <chrono>
#include <memory>

namespace clipferry {

class StopSource;

// The time source of the request pacer and of retry delays. Tests substitute a clock
// whose sleeps only move its own time forward, so that seconds of pacing cost nothing.
class PacerClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~PacerClock() = default;
    [[nodiscard]] virtual TimePoint now() const = 0;
    // Resumes the caller on its thread's event loop at or after `when`, or as soon as
    // `stop` (if any) is stopped: a cancelled request must not sit out its wait.
    [[nodiscard]] virtual QCoro::Task<> sleepUntil(TimePoint when,
                                                   std::shared_ptr<StopSource> stop) = 0;
    [[nodiscard]] QCoro::Task<> sleepUntil(TimePoint when) { return sleepUntil(when, {}); }
};

// The steady clock, sleeping on Qt timers.
class SteadyPacerClock final : public PacerClock {
public:
    [[nodiscard]] TimePoint now() const override;
    using PacerClock::sleepUntil;
    [[nodiscard]] QCoro::Task<> sleepUntil(TimePoint when,
                                           std::shared_ptr<StopSource> stop) override;
};

// Sleeps for `duration` on a Qt timer; returns early, with true, when `stop` is stopped.
[[nodiscard]] QCoro::Task<bool> sleepUnlessStopped(std::chrono::milliseconds duration,
                                                   std::shared_ptr<StopSource> stop);

} // namespace clipferry
