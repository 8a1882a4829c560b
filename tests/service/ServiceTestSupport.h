#pragma once

#include "FakePacerClock.h"
#include "StandInService.h"
#include "service/MuxClient.h"

#include <QCoro/QCoroTask>
#include <QNetworkAccessManager>
#include <QObject>
#include <QTest>
#include <memory>

// The stand-in's fast options with few attempts, and retry waits on a fake clock so
// that a test can read them.
inline clipferry::MuxClient::Options fastClientOptions(const StandInService& service,
                                                       std::shared_ptr<FakePacerClock> clock) {
    auto options = service.clientOptions();
    options.assetIdAttempts = 5;
    options.readyAttempts = 5;
    options.retryBaseDelay = clipferry::MuxClient::Options().retryBaseDelay;
    options.clock = std::move(clock);
    return options;
}

// Runs a client operation to its end (tests only: spins the event loop).
template <typename T>
T run(QCoro::Task<T> task) {
    return QCoro::waitFor(std::move(task));
}

// The service tests' shared set-up: one stand-in for the whole run, emptied before each
// test, and clients holding its credentials.
class ServiceTest : public QObject {
    Q_OBJECT

protected:
    [[nodiscard]] std::unique_ptr<clipferry::MuxClient>
    makeClient(std::shared_ptr<FakePacerClock> clock = std::make_shared<FakePacerClock>()) const {
        return makeClient(fastClientOptions(*m_service, std::move(clock)));
    }
    [[nodiscard]] std::unique_ptr<clipferry::MuxClient>
    makeClient(clipferry::MuxClient::Options options) const {
        auto client = std::make_unique<clipferry::MuxClient>(*m_network, std::move(options));
        client->setCredentials(m_service->tokenID(), m_service->tokenSecret());
        return client;
    }

    std::unique_ptr<StandInService> m_service;
    std::unique_ptr<QNetworkAccessManager> m_network;

private Q_SLOTS:
    void initTestCase() {
        m_service = std::make_unique<StandInService>();
        QVERIFY2(m_service->isRunning(), qPrintable(m_service->errorString()));
        m_network = std::make_unique<QNetworkAccessManager>();
    }
    void init() { QVERIFY(m_service->reset()); }
};
