#pragma once

#include "CredentialStore.h"
#include "TempHome.h"
#include "UploadViewModel.h"

#include <QJsonObject>
#include <QNetworkAccessManager>
#include <memory>

class StandInService;

// A real view model in a temporary home, with no stored credentials, plus helpers that
// build library fixtures. Without a service its address is a closed loopback port; with
// one it lists from that stand-in, signed in with its tokens and without pacing.
struct LibraryFixture {
    explicit LibraryFixture(clipferry::PlatformConfig config = {});
    // Waits until the view model has read the (empty) secret store, then signs it in.
    LibraryFixture(clipferry::PlatformConfig config, const StandInService& service);

    static clipferry::MuxAsset asset(const QString& id, const std::optional<QString>& passthrough,
                                     bool withPlayback = true);
    // The same asset as the service lists it; a new one was created after any launch.
    static QJsonObject assetJson(const QString& id, const QString& passthrough,
                                 bool withPlayback = true, bool isNew = false);
    // The city table of the tests: PAR (5 per animation), LON (2), ZER (0).
    static clipferry::CityMap cities();

    TempHome home;
    QNetworkAccessManager network;
    clipferry::CredentialStore credentials;
    std::unique_ptr<clipferry::UploadViewModel> viewModel;

private:
    void createViewModel(const clipferry::PlatformConfig& config,
                         clipferry::UploadViewModel::Options options);
};
