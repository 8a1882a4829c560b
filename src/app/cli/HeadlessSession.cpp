#include "app/cli/HeadlessSession.h"

#include "app/TestSeams.h"
#include "app/cli/Console.h"
#include "model/CredentialStore.h"
#include "workflow/Credentials.h"

#include <QPointer>

namespace clipferry::cli {
HeadlessSession::HeadlessSession(Console& console, std::optional<TokenPair> environmentTokens)
    : m_console(console) {
    // An idle connection fails after a minute, as in the window.
    m_network.setTransferTimeout(60000);
    auto options = Workspace::defaultOptions();
    // The run writes the ledger it shares with the window, and nothing else of the
    // window's: no state files, no listing cache.
    options.headless = true;
    options.listingCacheFile.clear();
    if (qEnvironmentVariableIsSet(sheetKeyVariable))
        options.fixedSheetKey = qEnvironmentVariable(sheetKeyVariable);
    if (qEnvironmentVariableIsSet(sheetUrlVariable))
        options.fixedSheetWebAppUrl = qEnvironmentVariable(sheetUrlVariable);
    if (environmentTokens)
        options.fixedTokens = std::pair{environmentTokens->tokenID, environmentTokens->tokenSecret};
    QString storeService = QStringLiteral("Clipferry");
    applyTestSeams(options, storeService);
    m_credentials = std::make_unique<CredentialStore>(storeService);
    QObject::connect(&m_log, &ActivityLog::lineWritten, &m_log,
                     [&console](const QByteArray& line) { console.logLine(line); });
    m_workspace = std::make_unique<Workspace>(m_log, m_network, *m_credentials, std::move(options));
}

// The workspace goes first: it holds references to the store and the log.
HeadlessSession::~HeadlessSession() {
    m_workspace.reset();
}

QCoro::Task<bool> HeadlessSession::signIn() {
    auto& credentials = m_workspace->credentials();
    co_await credentials.waitUntilLoaded();
    if (credentials.hasTokens())
        co_return true;
    m_console.error(QStringLiteral(
        "clipferry: no API token. Set CLIPFERRY_TOKEN_ID and CLIPFERRY_TOKEN_SECRET, or enter "
        "the keys once in the window."));
    co_return false;
}

} // namespace clipferry::cli
