#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace clipferry::cli {

// SIGTERM and SIGINT as a signal of the event loop: the handler only writes to a pipe,
// which the loop reads. A second one, once the first was taken, ends the process at once.
class StopSignals : public QObject {
    Q_OBJECT
public:
    StopSignals();
    ~StopSignals() override;

    [[nodiscard]] bool isValid() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void stopRequested();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace clipferry::cli
