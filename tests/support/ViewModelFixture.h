#pragma once

#include "StandInService.h"
#include "TempHome.h"
#include "TestKeyring.h"
#include "model/CredentialStore.h"
#include "workflow/ActivityLog.h"
#include "workflow/UploadViewModel.h"
#include "workflow/Workspace.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QStringList>
#include <functional>
#include <memory>

// A real view model over real stores in the surrounding TempHome, ready (its secret store
// read) when constructed. The store has a service name of its own, so no test sees another's
// tokens or the user's. Without a stand-in every address is a closed loopback port; with one
// it is signed in there, with waits and pacing cut so a test takes as long as its requests.
class ViewModelFixture {
public:
    using Options = clipferry::Workspace::Options;
    using Tweak = std::function<void(Options&)>;

    explicit ViewModelFixture(clipferry::PlatformConfig config = {}, const Tweak& tweak = {});
    explicit ViewModelFixture(const StandInService& service, clipferry::PlatformConfig config = {},
                              const Tweak& tweak = {});

    [[nodiscard]] static bool hasSecretService();
    // Signs the view model in with the stand-in's credential pair, in memory only.
    void signIn(const StandInService& service);
    // Every log message so far, oldest first.
    [[nodiscard]] QStringList messages() const;
    [[nodiscard]] int countMessages(const QString& message) const;
    [[nodiscard]] std::optional<QString> storedSecret(const char* account) const;
    // Lets the posted updates (log, change sets) land.
    static void settle();

    static clipferry::MuxAsset asset(const QString& id, const std::optional<QString>& passthrough,
                                     bool withPlayback = true);
    // The same asset as the service lists it; a new one was created after any launch.
    static QJsonObject assetJson(const QString& id, const QString& passthrough,
                                 bool withPlayback = true, bool isNew = false);
    // The city table of the library tests: PAR (5 per animation), LON (2), ZER (0).
    static clipferry::CityMap cities();

    QNetworkAccessManager network;
    TestKeyring keyring;
    clipferry::CredentialStore credentials{keyring.service(), std::chrono::seconds(5)};
    clipferry::ActivityLog log;
    std::unique_ptr<clipferry::Workspace> workspace;
    std::unique_ptr<clipferry::UploadViewModel> viewModel;

private:
    void create(const clipferry::PlatformConfig& config, Options options, const Tweak& tweak);
};

struct FreshStandIn {
    TempHome home;
    StandInService service;
};

// A fresh home and stand-in, and a view model signed in to that stand-in.
struct StandInFixture : FreshStandIn, ViewModelFixture {
    explicit StandInFixture(const Tweak& tweak = {})
        : ViewModelFixture(service, {}, tweak) {}
    // A file of `size` random bytes in the home.
    [[nodiscard]] QUrl makeFile(const QString& name, qint64 size = 1000) const;
};
