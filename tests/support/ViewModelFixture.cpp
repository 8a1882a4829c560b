#include "ViewModelFixture.h"

#include <QCoro/QCoroTask>

using namespace clipferry;

ViewModelFixture::ViewModelFixture(PlatformConfig config, const Tweak& tweak) {
    create(config, options(nullptr), tweak);
}

ViewModelFixture::ViewModelFixture(const StandInService& service, PlatformConfig config,
                                   const Tweak& tweak) {
    create(config, options(&service), tweak);
    signIn(service);
    settle();
}

ViewModelFixture::~ViewModelFixture() {
    viewModel.reset();
    workspace.reset();
}

void ViewModelFixture::create(const PlatformConfig& config, Options options, const Tweak& tweak) {
    TestWorkspace::create(credentials, std::move(options), tweak);
    viewModel = std::make_unique<UploadViewModel>(config, *workspace);
    // Tokens set before the store's answer would be overwritten by it.
    QCoro::waitFor(viewModel->waitUntilReady());
}

bool ViewModelFixture::hasSecretService() {
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS");
}

void ViewModelFixture::signIn(const StandInService& service) {
    viewModel->setTokenID(service.tokenID());
    viewModel->setTokenSecret(service.tokenSecret());
}

std::optional<QString> ViewModelFixture::storedSecret(const char* account) const {
    return QCoro::waitFor(credentials.readKeychainString(QString::fromLatin1(account))).value();
}
