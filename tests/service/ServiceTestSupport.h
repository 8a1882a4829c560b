#pragma once

#include "FakePacerClock.h"
#include "MuxClient.h"
#include "StandInService.h"

#include <QCoro/QCoroTask>
#include <memory>

// Client options for tests against the stand-in: millisecond polls, few attempts, no
// pacing and retry waits on a fake clock, so no test waits real seconds.
inline clipferry::MuxClient::Options fastClientOptions(const StandInService& service,
                                                       std::shared_ptr<FakePacerClock> clock) {
    clipferry::MuxClient::Options options;
    options.apiBase = service.baseUrl();
    options.assetIdPollInterval = std::chrono::milliseconds(1);
    options.assetIdAttempts = 5;
    options.readyPollInterval = std::chrono::milliseconds(1);
    options.readyAttempts = 5;
    options.postRequestsPerSecond = 0;
    options.otherRequestsPerSecond = 0;
    options.clock = std::move(clock);
    return options;
}

// Runs a client operation to its end (tests only: spins the event loop).
template <typename T>
T run(QCoro::Task<T> task) {
    return QCoro::waitFor(std::move(task));
}
