#pragma once

#include "CredentialStore.h"
#include "StandInService.h"
#include "TempHome.h"
#include "UploadViewModel.h"

#include <QNetworkAccessManager>
#include <QStringList>
#include <functional>
#include <memory>

// A view model talking to a fresh stand-in service over loopback, with a temporary home,
// the stand-in's tokens and poll intervals of milliseconds.
struct WorkflowFixture {
    using Tweak = std::function<void(clipferry::UploadViewModel::Options&)>;
    explicit WorkflowFixture(int maxConcurrentUploads = 3, const Tweak& tweak = {});

    // Every log message so far, oldest first.
    [[nodiscard]] QStringList messages() const;
    [[nodiscard]] int countMessages(const QString& message) const;
    // A file of `size` bytes in the temporary home.
    [[nodiscard]] QUrl makeFile(const QString& name, qint64 size = 1000) const;
    // Lets the posted updates (log, change sets) land.
    void settle() const;

    TempHome home;
    StandInService service;
    QNetworkAccessManager network;
    clipferry::CredentialStore store;
    std::unique_ptr<clipferry::UploadViewModel> viewModel;
};
