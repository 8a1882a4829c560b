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
    explicit UiFixture(clipferry::PlatformConfig config = {})
        : credentials(serviceName, std::chrono::seconds(5)) {
        viewModel = std::make_unique<clipferry::UploadViewModel>(
            config, network, credentials, clipferry::UploadViewModel::defaultOptions());
        QCoro::waitFor(viewModel->waitUntilReady());
    }

    [[nodiscard]] static bool hasSecretService() {
        return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
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
