#include "ViewModelFixture.h"

#include "TestFiles.h"
#include "service/NetworkReachability.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QFile>
#include <QJsonArray>

using namespace clipferry;

ViewModelFixture::ViewModelFixture(PlatformConfig config, const Tweak& tweak) {
    auto options = UploadViewModel::defaultOptions();
    options.apiBase = QUrl(QStringLiteral("http://127.0.0.1:1"));
    options.client.apiBase = options.apiBase;
    options.sheetWebAppUrl = QUrl(QStringLiteral("http://127.0.0.1:1/exec"));
    create(config, options, tweak);
}

ViewModelFixture::ViewModelFixture(const StandInService& service, PlatformConfig config,
                                   const Tweak& tweak) {
    auto options = UploadViewModel::defaultOptions();
    options.apiBase = service.baseUrl();
    options.client = service.clientOptions();
    options.sheetWebAppUrl = service.sheetWebAppUrl();
    create(config, options, tweak);
    signIn(service);
    settle();
}

void ViewModelFixture::create(const PlatformConfig& config, Options options, const Tweak& tweak) {
    options.streamBase = QUrl(QStringLiteral("https://stream.example"));
    // The host's network comes and goes as it likes; a test says so itself.
    options.networkReachability = std::make_shared<NetworkReachability>();
    if (tweak)
        tweak(options);
    viewModel = std::make_unique<UploadViewModel>(config, network, credentials, options);
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

QStringList ViewModelFixture::messages() const {
    QStringList result;
    for (const auto& entry : viewModel->log())
        result.append(entry.message);
    return result;
}

int ViewModelFixture::countMessages(const QString& message) const {
    return int(messages().count(message));
}

std::optional<QString> ViewModelFixture::storedSecret(const char* account) const {
    return QCoro::waitFor(credentials.readKeychainString(QString::fromLatin1(account))).value();
}

void ViewModelFixture::settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

MuxAsset ViewModelFixture::asset(const QString& id, const std::optional<QString>& passthrough,
                                 bool withPlayback) {
    return {.id = id,
            .status = QStringLiteral("ready"),
            .playback_ids =
                withPlayback ? std::optional(QList<PlaybackID>{{"pb-" + id}}) : std::nullopt,
            .passthrough = passthrough};
}

QJsonObject ViewModelFixture::assetJson(const QString& id, const QString& passthrough,
                                        bool withPlayback, bool isNew) {
    QJsonObject object{{QStringLiteral("id"), id},
                       {QStringLiteral("status"), QStringLiteral("ready")},
                       {QStringLiteral("passthrough"), passthrough}};
    if (withPlayback)
        object.insert(
            QStringLiteral("playback_ids"),
            QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("pb-") + id},
                                   {QStringLiteral("policy"), QStringLiteral("public")}}});
    // 2100-01-01: later than any launch the seen-state can hold.
    if (isNew)
        object.insert(QStringLiteral("created_at"), QStringLiteral("4102444800"));
    return object;
}

CityMap ViewModelFixture::cities() {
    return {{"PAR", {"Paris", "#0055A4", 5}},
            {"LON", {"London", "#C8102E", 2}},
            {"ZER", {"Zero", "#000000", 0}}};
}

QUrl StandInFixture::makeFile(const QString& name, qint64 size) const {
    const QString path = home.path() + QLatin1Char('/') + name;
    (void)writeRandomFile(path, size);
    return QUrl::fromLocalFile(path);
}
