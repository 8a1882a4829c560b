#pragma once

#include "model/Result.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <optional>
#include <utility>

namespace clipferry {

class ActivityLog;
class CredentialStore;

// The service tokens, the copies of them known to be in the secret store, why the store
// could not be read, the resolution preference and the sheet web app's key. The store
// answers asynchronously: the fields are empty until `loaded`, which ends every read.
//   credentials.setTokenID(typed); co_await credentials.save(); // writes what changed
class Credentials : public QObject {
    Q_OBJECT

public:
    enum class Key { tokens, useMaxResolution };
    Q_ENUM(Key)
    struct Options {
        // A token pair in place of the secret store, which is then never asked for tokens.
        std::optional<std::pair<QString, QString>> fixedTokens;
        // The sheet key in place of the secret store.
        std::optional<QString> fixedSheetKey;
        // A run without the window (a render machine may have no secret store): the store is
        // asked for the sheet key only when the settings say one was saved, and the settings
        // are not written.
        bool headless = false;
    };

    Credentials(const CredentialStore& store, ActivityLog& log, Options options,
                QObject* parent = nullptr);

    [[nodiscard]] const QString& tokenID() const { return m_tokenID; }
    [[nodiscard]] const QString& tokenSecret() const { return m_tokenSecret; }
    [[nodiscard]] bool hasTokens() const {
        return !m_tokenID.isEmpty() && !m_tokenSecret.isEmpty();
    }
    void setTokenID(const QString& tokenID);
    void setTokenSecret(const QString& tokenSecret);
    [[nodiscard]] bool useMaxResolution() const { return m_useMaxResolution; }
    void setUseMaxResolution(bool use);
    // Why the stored tokens could not be read, until a read succeeds.
    [[nodiscard]] const std::optional<QString>& readError() const { return m_readError; }
    // The keys must be asked for: a token is missing, or the store could not be read (an
    // unread store is not an empty one, and the keys sheet says which it is).
    [[nodiscard]] bool needsKeys() const { return !hasTokens() || m_readError; }

    // True once the first read ended, successfully or not.
    [[nodiscard]] bool isLoaded() const { return m_loaded; }
    [[nodiscard]] QCoro::Task<> waitUntilLoaded();
    // Reads the preference at once and the tokens from the store; text typed meanwhile stays.
    [[nodiscard]] QCoro::Task<> load();
    // A save now would empty a stored token: the sheets ask before they save.
    [[nodiscard]] bool saveWouldClearTokens() const;
    // Writes the preference, and each token changed since it was read or saved. An emptied
    // token replaces a stored one only with `clearingConfirmed`.
    [[nodiscard]] QCoro::Task<> save(bool clearingConfirmed = false);

    // The sheet key to send, none when none is configured, or why it could not be read.
    [[nodiscard]] QCoro::Task<Result<std::optional<QString>>> sheetKey();
    // Stores the sheet key beside the tokens; empty removes it.
    [[nodiscard]] QCoro::Task<Result<void>> saveSheetKey(QString key);

Q_SIGNALS:
    void changed(clipferry::Credentials::Key key);
    // A read of the store ended; the fields hold what it brought.
    void loaded();

private:
    const CredentialStore& m_store;
    ActivityLog& m_log;
    Options m_options;
    QString m_tokenID;
    QString m_tokenSecret;
    // The tokens as last read from or written to the store; absent while unknown.
    std::optional<QString> m_storedTokenID;
    std::optional<QString> m_storedTokenSecret;
    std::optional<QString> m_readError;
    bool m_useMaxResolution = false;
    bool m_loaded = false;
};

} // namespace clipferry
