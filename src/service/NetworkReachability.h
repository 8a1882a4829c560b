#pragma once

#include <QObject>
#include <memory>

namespace clipferry {

class StopSource;

// Says when the network is back, so that uploads waiting for it ask at once instead of at
// their next back-off. Made by the owner of the uploads and handed to the waits; a test
// emits online() itself, while the program follows Qt's network information.
class NetworkReachability : public QObject {
    Q_OBJECT
public:
    explicit NetworkReachability(QObject* parent = nullptr);

    // Follows Qt's network information: the platform's default backend (NetworkManager on
    // Linux) or, failing that, any that knows reachability (GLib's). False when there is
    // none: nothing is said then, and the back-off alone finds the network again.
    [[nodiscard]] bool followPlatform();

    // A stop for one wait: stopped with `stop` (which may be null) or when the network
    // comes back, whichever is first.
    [[nodiscard]] std::shared_ptr<StopSource>
    stopOrOnline(const std::shared_ptr<StopSource>& stop) const;

Q_SIGNALS:
    // The network is reachable again.
    void online();
};

} // namespace clipferry
