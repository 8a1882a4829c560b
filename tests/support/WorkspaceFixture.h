#pragma once

#include "StandInService.h"
#include "TempHome.h"
#include "model/CityInfo.h"
#include "model/CredentialStore.h"
#include "service/MuxRecords.h"
#include "workflow/ActivityLog.h"
#include "workflow/Workspace.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>

// What a test's workspace is made of, and the readings every workflow test takes of it.
// Without a stand-in every address is a closed loopback port; with one, waits and pacing
// are cut so a test takes as long as its requests.
class TestWorkspace {
public:
    using Options = clipferry::Workspace::Options;
    using Tweak = std::function<void(Options&)>;

    [[nodiscard]] static Options options(const StandInService* service);
    // Every log message so far, oldest first.
    [[nodiscard]] QStringList messages() const;
    [[nodiscard]] int countMessages(const QString& message) const;
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
    clipferry::ActivityLog log;
    std::unique_ptr<clipferry::Workspace> workspace;

protected:
    void create(const clipferry::CredentialStore& store, Options options, const Tweak& tweak);
};

// A workspace of the peers alone, in the surrounding TempHome: no view model, and the
// stand-in's token pair fixed, so no secret store is ever asked.
class PeerWorkspace : public TestWorkspace {
public:
    explicit PeerWorkspace(const StandInService* service = nullptr, const Tweak& tweak = {});
    ~PeerWorkspace();

private:
    clipferry::CredentialStore m_store{QStringLiteral("ClipferryTest-never-asked")};
};

struct FreshStandIn {
    TempHome home;
    StandInService service;
    // A file of `size` random bytes in the home.
    [[nodiscard]] QUrl makeFile(const QString& name, qint64 size = 1000) const;
};

// A fresh home and stand-in, and the peers signed in to that stand-in.
struct WorkspaceFixture : FreshStandIn, PeerWorkspace {
    explicit WorkspaceFixture(const Tweak& tweak = {})
        : PeerWorkspace(&service, tweak) {}
};
