#pragma once

#include "model/Result.h"

#include <QCoro/QCoroTask>
#include <QString>
#include <chrono>
#include <optional>

namespace clipferry {

// The two service tokens in the desktop's secret store (Secret Service, KWallet,
// Keychain or Credential Manager through QtKeychain), under the service "Clipferry".
// Reads never hang start-up: a store that does not answer in time fails the read.
class CredentialStore {
public:
    explicit CredentialStore(QString service,
                             std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // The stored text, or nothing when there is no item or its bytes are not valid UTF-8;
    // an error when the store failed or did not answer, which says nothing of the item.
    [[nodiscard]] QCoro::Task<Result<std::optional<QString>>>
    readKeychainString(QString account) const;
    // Replaces the item of that account; the error carries the store's own text.
    [[nodiscard]] QCoro::Task<Result<void>> saveKeychainString(QString account,
                                                               QString value) const;

    // For tests: a store that stops or starts answering in time.
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

private:
    QString m_service;
    std::chrono::milliseconds m_timeout;
};

// The code of a read that found the item in a locked collection, which no prompt unlocked.
inline constexpr int keychainLockedCode = -2;

inline constexpr auto tokenIDAccount = "mux_token_id";
inline constexpr auto tokenSecretAccount = "mux_token_secret";
// The shared key of the sheet web app, when its owner set one.
inline constexpr auto sheetKeyAccount = "sheet_key";
inline constexpr auto useMaxResolutionKey = "useMaxResolution";

} // namespace clipferry
