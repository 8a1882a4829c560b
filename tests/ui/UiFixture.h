#pragma once

#include "CredentialStore.h"
#include "StandInService.h"
#include "UploadViewModel.h"

#include <QCoro/QCoroTask>
#include <QNetworkAccessManager>
#include <QStringList>
#include <QUuid>
#include <memory>

// One view model over real stores: a fresh secret-store service name per fixture, so tests
// never see each other's tokens, and the state folder of the surrounding TempHome.
struct UiFixture {
    explicit UiFixture(
        clipferry::PlatformConfig config = {},
        clipferry::UploadViewModel::Options options = clipferry::UploadViewModel::defaultOptions())
        : credentials(serviceName, std::chrono::seconds(5)) {
        viewModel = std::make_unique<clipferry::UploadViewModel>(config, network, credentials,
                                                                 std::move(options));
        QCoro::waitFor(viewModel->waitUntilReady());
    }

    [[nodiscard]] static bool hasSecretService() {
        return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
    }

    // Options aimed at the stand-in, with its waits and pacing cut to nothing so a test
    // takes as long as its requests.
    [[nodiscard]] static clipferry::UploadViewModel::Options
    standInOptions(const StandInService& service) {
        auto options = clipferry::UploadViewModel::defaultOptions();
        options.apiBase = service.baseUrl();
        options.client.apiBase = service.baseUrl();
        options.streamBase = service.baseUrl().resolved(QUrl(QStringLiteral("/stream")));
        options.sheetWebAppUrl = service.sheetWebAppUrl();
        options.client.assetIdPollInterval = std::chrono::milliseconds(5);
        options.client.readyPollInterval = std::chrono::milliseconds(5);
        options.client.postRequestsPerSecond = 0;
        options.client.otherRequestsPerSecond = 0;
        options.client.retryBaseDelay = std::chrono::milliseconds(1);
        options.client.maxRetries = 1;
        return options;
    }

    // Signs the view model in with the stand-in's credential pair, in memory only.
    void signIn(const StandInService& service) {
        viewModel->setTokenID(service.tokenID());
        viewModel->setTokenSecret(service.tokenSecret());
    }

    [[nodiscard]] QStringList logMessages() const {
        QStringList messages;
        for (const auto& entry : viewModel->log())
            messages.append(entry.message);
        return messages;
    }

    [[nodiscard]] std::optional<QString> storedSecret(const char* account) const {
        return QCoro::waitFor(credentials.readKeychainString(QString::fromLatin1(account)));
    }

    const QString serviceName =
        QStringLiteral("ClipferryTest-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QNetworkAccessManager network;
    clipferry::CredentialStore credentials;
    std::unique_ptr<clipferry::UploadViewModel> viewModel;
};
