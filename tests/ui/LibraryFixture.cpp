#include "LibraryFixture.h"

#include <QUuid>

using namespace clipferry;

LibraryFixture::LibraryFixture(PlatformConfig config)
    // A store name of its own: no test reads the user's real tokens.
    : credentials(QStringLiteral("Clipferry test ") + QUuid::createUuid().toString(),
                  std::chrono::milliseconds(500)) {
    auto options = UploadViewModel::defaultOptions();
    options.apiBase = QUrl(QStringLiteral("http://127.0.0.1:1"));
    options.client.apiBase = options.apiBase;
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

CityMap LibraryFixture::cities() {
    return {
        {QStringLiteral("PAR"), {QStringLiteral("Paris"), QStringLiteral("#0055A4"), 5}},
        {QStringLiteral("LON"), {QStringLiteral("London"), QStringLiteral("#C8102E"), 2}},
        {QStringLiteral("ZER"), {QStringLiteral("Zero"), QStringLiteral("#000000"), 0}},
    };
}
