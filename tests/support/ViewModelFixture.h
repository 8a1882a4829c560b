#pragma once

#include "TestKeyring.h"
#include "WorkspaceFixture.h"
#include "model/CredentialStore.h"
#include "workflow/UploadViewModel.h"

#include <memory>

// A real view model over real stores in the surrounding TempHome, ready (its secret store
// read) when constructed. The store has a service name of its own, so no test sees another's
// tokens or the user's. With a stand-in it is signed in there, in memory only.
class ViewModelFixture : public TestWorkspace {
public:
    explicit ViewModelFixture(clipferry::PlatformConfig config = {}, const Tweak& tweak = {});
    explicit ViewModelFixture(const StandInService& service, clipferry::PlatformConfig config = {},
                              const Tweak& tweak = {});
    ~ViewModelFixture();

    [[nodiscard]] static bool hasSecretService();
    // Signs the view model in with the stand-in's credential pair, in memory only.
    void signIn(const StandInService& service);
    [[nodiscard]] std::optional<QString> storedSecret(const char* account) const;

    TestKeyring keyring;
    clipferry::CredentialStore credentials{keyring.service(), std::chrono::seconds(5)};
    std::unique_ptr<clipferry::UploadViewModel> viewModel;

private:
    void create(const clipferry::PlatformConfig& config, Options options, const Tweak& tweak);
};

// A fresh home and stand-in, and a view model signed in to that stand-in.
struct StandInFixture : FreshStandIn, ViewModelFixture {
    explicit StandInFixture(const Tweak& tweak = {})
        : ViewModelFixture(service, {}, tweak) {}
};
