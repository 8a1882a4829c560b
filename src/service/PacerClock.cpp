#include "service/PacerClock.h"

#include "service/ServiceTransport.h"

#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTimer>

namespace clipferry {

PacerClock::TimePoint SteadyPacerClock::now() const {
    return std::chrono::steady_clock::now();
}

QCoro::Task<> SteadyPacerClock::sleepUntil(TimePoint when, std::shared_ptr<StopSource> stop) {
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(when - now());
    if (remaining.count() <= 0)
        co_return;
    auto sleep = sleepUnlessStopped(remaining, std::move(stop));
    co_await std::move(sleep);
}

QCoro::Task<bool> sleepUnlessStopped(std::chrono::milliseconds duration,
                                     std::shared_ptr<StopSource> stop) {
    if (!stop) {
        auto sleep = QCoro::sleepFor(duration);
        co_await std::move(sleep);
        co_return false;
    }
    if (stop->isStopped())
        co_return true;
    auto stopped = qCoro(stop.get(), &StopSource::stopped, duration);
    const auto signalled = co_await std::move(stopped);
    co_return signalled.has_value();
}

} // namespace clipferry
