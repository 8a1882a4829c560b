#pragma once

#include <QMutex>
#include <QString>
#include <QUrl>
#include <chrono>

class QNetworkAccessManager;

namespace clipferry {

// The client of the video service's REST API. One instance, owned by the view model;
// every request reads the credential pair as it stands when the request is built.
class MuxClient {
public:
    struct Options {
        QUrl apiBase;
        std::chrono::milliseconds assetIdPollInterval{3000};
        int assetIdAttempts = 60;
        std::chrono::milliseconds readyPollInterval{4000};
        int readyAttempts = 120;
    };

    MuxClient(QNetworkAccessManager& network, Options options);

    void setCredentials(const QString& tokenID, const QString& tokenSecret);

private:
    QNetworkAccessManager& m_network;
    Options m_options;
    mutable QMutex m_credentialsLock;
    QString m_tokenID;
    QString m_tokenSecret;
};

} // namespace clipferry
