#include "WorkspaceFixture.h"

#include "TestFiles.h"
#include "service/NetworkReachability.h"

#include <QCoreApplication>
#include <QJsonArray>

using namespace clipferry;

TestWorkspace::Options TestWorkspace::options(const StandInService* service) {
    auto options = Workspace::defaultOptions();
    options.apiBase = service ? service->baseUrl() : QUrl(QStringLiteral("http://127.0.0.1:1"));
    if (service)
        options.client = service->clientOptions();
    options.client.apiBase = options.apiBase;
    options.sheetWebAppUrl =
        service ? service->sheetWebAppUrl() : QUrl(QStringLiteral("http://127.0.0.1:1/exec"));
    options.streamBase = QUrl(QStringLiteral("https://stream.example"));
    // The host's network comes and goes as it likes; a test says so itself.
    options.networkReachability = std::make_shared<NetworkReachability>();
    return options;
}

void TestWorkspace::create(const CredentialStore& store, Options options, const Tweak& tweak) {
    if (tweak)
        tweak(options);
    log.echoToStandardOutput();
    workspace = std::make_unique<Workspace>(log, network, store, options);
}

QStringList TestWorkspace::messages() const {
    QStringList result;
    for (const auto& entry : log.entries())
        result.append(entry.message);
    return result;
}

int TestWorkspace::countMessages(const QString& message) const {
    return int(messages().count(message));
}

void TestWorkspace::settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

MuxAsset TestWorkspace::asset(const QString& id, const std::optional<QString>& passthrough,
                              bool withPlayback) {
    return {.id = id,
            .status = QStringLiteral("ready"),
            .playback_ids =
                withPlayback ? std::optional(QList<PlaybackID>{{"pb-" + id}}) : std::nullopt,
            .passthrough = passthrough};
}

QJsonObject TestWorkspace::assetJson(const QString& id, const QString& passthrough,
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

CityMap TestWorkspace::cities() {
    return {{"PAR", {"Paris", "#0055A4", 5}},
            {"LON", {"London", "#C8102E", 2}},
            {"ZER", {"Zero", "#000000", 0}}};
}

PeerWorkspace::PeerWorkspace(const StandInService* service, const Tweak& tweak) {
    auto options = TestWorkspace::options(service);
    options.fixedTokens = service ? std::pair(service->tokenID(), service->tokenSecret())
                                  : std::pair(QStringLiteral("id"), QStringLiteral("secret"));
    options.fixedSheetKey = QString();
    create(m_store, std::move(options), tweak);
}

// The workspace holds the store it was made with.
PeerWorkspace::~PeerWorkspace() {
    workspace.reset();
}

QUrl FreshStandIn::makeFile(const QString& name, qint64 size) const {
    const QString path = home.path() + QLatin1Char('/') + name;
    (void)writeRandomFile(path, size);
    return QUrl::fromLocalFile(path);
}
