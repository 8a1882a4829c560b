#include "service/NetworkReachability.h"

#include "service/ServiceTransport.h"

#include <QNetworkInformation>

namespace clipferry {

NetworkReachability::NetworkReachability(QObject* parent)
    : QObject(parent) {}

void NetworkReachability::startFollowing() {
    if (!m_followPlatform || m_triedPlatform)
        return;
    m_triedPlatform = true;
    // NetworkManager's backend loads only where its daemon runs; GLib's watches the
    // kernel's routes and needs no daemon.
    if (!QNetworkInformation::loadDefaultBackend() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return;
    connect(QNetworkInformation::instance(), &QNetworkInformation::reachabilityChanged, this,
            [this](QNetworkInformation::Reachability reachability) {
                if (reachability == QNetworkInformation::Reachability::Online)
                    Q_EMIT online();
            });
}

std::shared_ptr<StopSource>
NetworkReachability::stopOrOnline(const std::shared_ptr<StopSource>& stop) {
    startFollowing();
    auto either = std::make_shared<StopSource>();
    if (stop) {
        if (stop->isStopped())
            either->stop();
        connect(stop.get(), &StopSource::stopped, either.get(), &StopSource::stop);
    }
    connect(this, &NetworkReachability::online, either.get(), &StopSource::stop);
    return either;
}

} // namespace clipferry
