#include "LibraryFixture.h"

#include "StandInService.h"

#include <QCoro/QCoroTask>
#include <QJsonArray>
#include <QUuid>

using namespace clipferry;

namespace {

UploadViewModel::Options closedPortOptions() {
    auto options = UploadViewModel::defaultOptions();
    options.apiBase = QUrl(QStringLiteral("http://127.0.0.1:1"));
    options.client.apiBase = options.apiBase;
    options.sheetWebAppUrl = QUrl(QStringLiteral("http://127.0.0.1:1/exec"));
    return options;
}

// Waits and pacing cut to nothing, so a test takes as long as its requests.
UploadViewModel::Options standInOptions(const StandInService& service) {
    auto options = UploadViewModel::defaultOptions();
    options.apiBase = service.baseUrl();
    options.client.apiBase = service.baseUrl();
    options.sheetWebAppUrl = service.sheetWebAppUrl();
    options.client.assetIdPollInterval = std::chrono::milliseconds(5);
    options.client.readyPollInterval = std::chrono::milliseconds(5);
    options.client.postRequestsPerSecond = 0;
    options.client.otherRequestsPerSecond = 0;
    options.client.retryBaseDelay = std::chrono::milliseconds(1);
    return options;
}

// A store name of its own: no test reads the user's real tokens.
QString testStoreName() {
    return QStringLiteral("Clipferry test ") + QUuid::createUuid().toString();
}

} // namespace

LibraryFixture::LibraryFixture(PlatformConfig config)
    : credentials(testStoreName(), std::chrono::milliseconds(500)) {
    createViewModel(config, closedPortOptions());
}

LibraryFixture::LibraryFixture(PlatformConfig config, const StandInService& service)
    : credentials(testStoreName(), std::chrono::milliseconds(500)) {
    createViewModel(config, standInOptions(service));
    // Tokens set before the store's answer would be overwritten by it.
    QCoro::waitFor(viewModel->waitUntilReady());
    viewModel->setTokenID(service.tokenID());
    viewModel->setTokenSecret(service.tokenSecret());
}

void LibraryFixture::createViewModel(const PlatformConfig& config,
                                     UploadViewModel::Options options) {
    options.streamBase = QUrl(QStringLiteral("https://stream.example"));
    viewModel = std::make_unique<UploadViewModel>(config, network, credentials, options);
    viewModel->setCityMap(cities());
}

MuxAsset LibraryFixture::asset(const QString& id, const std::optional<QString>& passthrough,
                               bool withPlayback) {
    MuxAsset a;
    a.id = id;
    a.status = QStringLiteral("ready");
    a.passthrough = passthrough;
    if (withPlayback)
        a.playback_ids = QList<PlaybackID>{{QStringLiteral("pb-") + id}};
    return a;
}

QJsonObject LibraryFixture::assetJson(const QString& id, const QString& passthrough,
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

CityMap LibraryFixture::cities() {
    return {
        {QStringLiteral("PAR"), {QStringLiteral("Paris"), QStringLiteral("#0055A4"), 5}},
        {QStringLiteral("LON"), {QStringLiteral("London"), QStringLiteral("#C8102E"), 2}},
        {QStringLiteral("ZER"), {QStringLiteral("Zero"), QStringLiteral("#000000"), 0}},
    };
}
