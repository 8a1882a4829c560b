#pragma once

#include "CredentialStore.h"
#include "TempHome.h"
#include "UploadViewModel.h"

#include <QNetworkAccessManager>
#include <memory>

// A real view model in a temporary home, with no stored credentials and a service
// address on a closed loopback port, plus helpers that build library fixtures.
struct LibraryFixture {
    explicit LibraryFixture(clipferry::PlatformConfig config = {});

    static clipferry::MuxAsset asset(const QString& id, const std::optional<QString>& passthrough,
                                     bool withPlayback = true);
    // The city table of the tests: PAR (5 per animation), LON (2), ZER (0).
    static clipferry::CityMap cities();

    TempHome home;
    QNetworkAccessManager network;
    clipferry::CredentialStore credentials;
    std::unique_ptr<clipferry::UploadViewModel> viewModel;
};
