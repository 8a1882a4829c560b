#pragma once

#include "service/PacerClock.h"

#include <memory>
#include <optional>

namespace clipferry {

// Keeps the client's requests inside the service's rate limits: one token bucket for
// POSTs and one for every other request. A caller takes its token before it sends;
// when the bucket is empty it waits for the refill that is its own, so a burst leaves
// evenly spaced, in the order it asked.
class RequestPacer {
public:
    enum class Kind { post, other };
    struct Rates {
        double postPerSecond = 1.0;
        double otherPerSecond = 5.0;
        // Requests that may leave at once after a quiet spell.
        double burst = 1.0;
    };

    // A rate of 0 or less leaves that kind unpaced.
    RequestPacer(Rates rates, std::shared_ptr<PacerClock> clock);

    // Ends early, with no slot taken back, when `stop` is stopped.
    [[nodiscard]] QCoro::Task<> acquire(Kind kind, std::shared_ptr<StopSource> stop = {});
    // The service's own account of its budget, from a reply: `remaining` requests until
    // `resetAt`. Until then every request follows it instead of the fixed rates, spread
    // evenly over what is left of the window. The caller bounds `resetAt`: a spent budget
    // holds every request until then.
    void noteBudget(int remaining, PacerClock::TimePoint resetAt);
    [[nodiscard]] PacerClock& clock() const { return *m_clock; }

private:
    struct Bucket {
        double ratePerSecond = 0;
        double capacity = 1;
        // Negative while callers wait: each waiting caller owns one token of debt.
        double tokens = 1;
        PacerClock::TimePoint updated{};
    };

    // Takes a token now and returns when the caller may send.
    [[nodiscard]] PacerClock::TimePoint reserve(Bucket& bucket);

    struct Budget {
        int remaining = 0;
        PacerClock::TimePoint resetAt{};
        // The earliest moment the next request may leave.
        PacerClock::TimePoint next{};
    };
    // A slot within the announced budget, or nothing when none is in force.
    [[nodiscard]] std::optional<PacerClock::TimePoint> reserveBudget();

    std::shared_ptr<PacerClock> m_clock;
    std::optional<Budget> m_budget;
    // The end of a spent budget's window: nothing leaves before it.
    PacerClock::TimePoint m_holdUntil{};
    Bucket m_post;
    Bucket m_other;
};

} // namespace clipferry
