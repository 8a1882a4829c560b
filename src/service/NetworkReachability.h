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

    // Follows Qt's network information from the first wait on: the platform's default
    // backend (NetworkManager's on Linux) or, failing that, any that knows reachability
    // (GLib's). Loading one takes about a tenth of a second, which the start of the program
    // should not pay. With none nothing is said, and the back-off alone finds the network.
    void followPlatform() { m_followPlatform = true; }

    // A stop for one wait: stopped with `stop` (which may be null) or when the network
    // comes back, whichever is first.
    [[nodiscard]] std::shared_ptr<StopSource> stopOrOnline(const std::shared_ptr<StopSource>& stop);

Q_SIGNALS:
    // The network is reachable again.
    void online();

private:
    void startFollowing();

    bool m_followPlatform = false;
    bool m_triedPlatform = false;
};

} // namespace clipferry
