#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <optional>

namespace clipferry::cli {

struct TokenPair {
    QString tokenID;
    QString tokenSecret;
};

inline constexpr auto tokenIDVariable = "CLIPFERRY_TOKEN_ID";
inline constexpr auto tokenSecretVariable = "CLIPFERRY_TOKEN_SECRET";
// The sheet web app's key, for a machine without a secret store; empty: no key.
inline constexpr auto sheetKeyVariable = "CLIPFERRY_SHEET_KEY";
// The sheet web app's address in place of the one saved in the window; empty: none.
inline constexpr auto sheetUrlVariable = "CLIPFERRY_SHEET_URL";

// systemd's credentials folder of a service: files "mux_token_id" and "mux_token_secret".
inline constexpr auto credentialsFolderVariable = "CREDENTIALS_DIRECTORY";

// The token pair of a render machine without a secret store: from the service's
// credentials when both files are there, else from both variables when set and not empty;
// otherwise the stored pair is used whole, never one half of each.
[[nodiscard]] std::optional<TokenPair>
credentialsFromEnvironment(const QProcessEnvironment& environment);

} // namespace clipferry::cli
