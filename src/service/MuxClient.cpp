#include "MuxClient.h"

namespace clipferry {

MuxClient::MuxClient(QNetworkAccessManager& network, Options options)
    : m_network(network)
    , m_options(std::move(options)) {}

void MuxClient::setCredentials(const QString& tokenID, const QString& tokenSecret) {
    const QMutexLocker lock(&m_credentialsLock);
    m_tokenID = tokenID;
    m_tokenSecret = tokenSecret;
}

} // namespace clipferry
