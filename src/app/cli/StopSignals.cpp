#include "app/cli/StopSignals.h"

#include <csignal>
#include <unistd.h>

namespace clipferry::cli {
namespace {

int stopPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(stopPipe[1], &byte, 1);
}

} // namespace

StopSignals::StopSignals() {
    if (stopPipe[0] < 0 && ::pipe(stopPipe) != 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(stopPipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(stopPipe[0], &byte, 1);
        m_notifier->setEnabled(false);
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
        Q_EMIT stopRequested();
    });
    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
}

StopSignals::~StopSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

} // namespace clipferry::cli
