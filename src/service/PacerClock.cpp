#include "service/PacerClock.h"

#include <QCoro/QCoroTimer>

namespace clipferry {

PacerClock::TimePoint SteadyPacerClock::now() const {
    return std::chrono::steady_clock::now();
}

QCoro::Task<> SteadyPacerClock::sleepUntil(TimePoint when) {
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(when - now());
    if (remaining.count() > 0)
        co_await QCoro::sleepFor(remaining);
}

} // namespace clipferry
