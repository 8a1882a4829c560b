#pragma once

#include "CredentialStore.h"
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

    // Options whose service and sheet addresses lead nowhere: a loopback port nobody
    // listens on, so every request fails at once without leaving the machine.
    [[nodiscard]] static clipferry::UploadViewModel::Options unreachableService() {
        auto options = clipferry::UploadViewModel::defaultOptions();
        const QUrl nowhere(QStringLiteral("http://127.0.0.1:9"));
        options.apiBase = nowhere;
        options.client.apiBase = nowhere;
        options.streamBase = nowhere;
        options.sheetWebAppUrl = nowhere.resolved(QUrl(QStringLiteral("/exec")));
        return options;
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
