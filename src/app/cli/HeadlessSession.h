#pragma once

#include "app/cli/EnvironmentCredentials.h"
#include "workflow/ActivityLog.h"
#include "workflow/Workspace.h"

#include <QNetworkAccessManager>
#include <memory>
#include <optional>

namespace clipferry {
class CredentialStore;
}

namespace clipferry::cli {

class Console;

// The composition root of a subcommand: the window's network manager, secret store and a
// headless workspace, without a window. The workspace reads the state files but never
// writes them, and its log lines go out through the console.
class HeadlessSession {
public:
    HeadlessSession(Console& console, std::optional<TokenPair> environmentTokens);
    ~HeadlessSession();

    [[nodiscard]] Console& console() { return m_console; }
    [[nodiscard]] Workspace& workspace() { return *m_workspace; }

    // Waits for the credentials; false (after saying so) when there are none.
    [[nodiscard]] QCoro::Task<bool> signIn();

private:
    Console& m_console;
    QNetworkAccessManager m_network;
    std::unique_ptr<CredentialStore> m_credentials;
    ActivityLog m_log;
    std::unique_ptr<Workspace> m_workspace;
};

} // namespace clipferry::cli
