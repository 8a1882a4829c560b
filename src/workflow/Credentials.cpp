#include "workflow/Credentials.h"

#include "model/CredentialStore.h"
#include "service/ServiceTransport.h"
#include "workflow/ActivityLog.h"

#include <QCoro/QCoroSignal>
#include <QPointer>
#include <QSettings>

namespace clipferry {
namespace {

// Whether a sheet key was saved in the secret store, so a run without one knows not to ask.
const auto sheetKeySavedSetting = QStringLiteral("sheetKeySaved");

// Takes a token read from the store into the field and the stored copy; text the user
// typed meanwhile stays. Returns the read's failure.
std::optional<QString> takeStoredToken(const Result<std::optional<QString>>& read, QString& field,
                                       std::optional<QString>& stored) {
    if (!read) {
        stored.reset();
        return read.error().message;
    }
    stored = read->value_or(QString());
    if (field.isEmpty())
        field = *stored;
    return std::nullopt;
}

// A token goes to the store when it differs from what is known to be there; an unknown
// one only when something was typed, and an emptied one only when that was confirmed.
bool shouldWriteToken(const QString& field, const std::optional<QString>& stored,
                      bool clearingConfirmed) {
    if (!stored)
        return !field.isEmpty();
    return field != *stored && (!field.isEmpty() || clearingConfirmed);
}

} // namespace

Credentials::Credentials(const CredentialStore& store, ActivityLog& log, Options options,
                         QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_log(log)
    , m_options(std::move(options)) {}

void Credentials::setTokenID(const QString& tokenID) {
    if (m_tokenID == tokenID)
        return;
    m_tokenID = tokenID;
    Q_EMIT changed(Key::tokens);
}

void Credentials::setTokenSecret(const QString& tokenSecret) {
    if (m_tokenSecret == tokenSecret)
        return;
    m_tokenSecret = tokenSecret;
    Q_EMIT changed(Key::tokens);
}

void Credentials::setUseMaxResolution(bool use) {
    if (m_useMaxResolution == use)
        return;
    m_useMaxResolution = use;
    Q_EMIT changed(Key::useMaxResolution);
}

QCoro::Task<> Credentials::waitUntilLoaded() {
    if (!m_loaded)
        co_await qCoro(this, &Credentials::loaded);
}

QCoro::Task<> Credentials::load() {
    QPointer self(this);
    // The preference is synchronous, so it is in place before the store answers.
    setUseMaxResolution(QSettings().value(QLatin1String(useMaxResolutionKey), false).toBool());
    if (m_options.fixedTokens) {
        std::tie(m_tokenID, m_tokenSecret) = *m_options.fixedTokens;
    } else {
        auto id = co_await m_store.readKeychainString(QString::fromLatin1(tokenIDAccount));
        if (!self)
            co_return;
        auto secret = co_await m_store.readKeychainString(QString::fromLatin1(tokenSecretAccount));
        if (!self)
            co_return;
        const auto idFailure = takeStoredToken(id, m_tokenID, m_storedTokenID);
        const auto secretFailure = takeStoredToken(secret, m_tokenSecret, m_storedTokenSecret);
        m_readError = idFailure ? idFailure : secretFailure;
        if (m_readError)
            m_log.append(QStringLiteral("Could not read the saved API keys: ") + *m_readError);
    }
    Q_EMIT changed(Key::tokens);
    m_loaded = true;
    Q_EMIT loaded();
}

bool Credentials::saveWouldClearTokens() const {
    const auto clears = [](const QString& field, const std::optional<QString>& stored) {
        return field.isEmpty() && stored && !stored->isEmpty();
    };
    return clears(m_tokenID, m_storedTokenID) || clears(m_tokenSecret, m_storedTokenSecret);
}

QCoro::Task<> Credentials::save(bool clearingConfirmed) {
    QPointer self(this);
    QSettings().setValue(QLatin1String(useMaxResolutionKey), m_useMaxResolution);
    struct Token {
        const char* account;
        QString value;
        std::optional<QString>* stored;
    };
    const QList<Token> tokens{{tokenIDAccount, m_tokenID, &m_storedTokenID},
                              {tokenSecretAccount, m_tokenSecret, &m_storedTokenSecret}};
    for (const auto& token : tokens) {
        if (!shouldWriteToken(token.value, *token.stored, clearingConfirmed))
            continue;
        auto saved =
            co_await m_store.saveKeychainString(QString::fromLatin1(token.account), token.value);
        if (!self)
            co_return;
        // A silent failure would let the user believe the tokens are stored.
        if (!saved) {
            m_log.append(QStringLiteral("Failed to save credentials: ") + saved.error().message);
            co_return;
        }
        *token.stored = token.value;
    }
}

QCoro::Task<Result<void>> Credentials::saveSheetKey(QString key) {
    QPointer self(this);
    const bool saving = !key.isEmpty();
    auto saved =
        co_await m_store.saveKeychainString(QString::fromLatin1(sheetKeyAccount), std::move(key));
    if (!self)
        co_return saved;
    if (!saved)
        m_log.append(QStringLiteral("Failed to save the sheet key: ") + saved.error().message);
    else if (!m_options.headless)
        QSettings().setValue(sheetKeySavedSetting, saving);
    co_return saved;
}

QCoro::Task<Result<std::optional<QString>>> Credentials::sheetKey() {
    if (m_options.fixedSheetKey)
        co_return m_options.fixedSheetKey->isEmpty() ? std::optional<QString>()
                                                     : m_options.fixedSheetKey;
    // Settings from before this was recorded say nothing: the window asks the store then.
    const QVariant saved = QSettings().value(sheetKeySavedSetting);
    if (saved.isValid() ? !saved.toBool() : m_options.headless)
        co_return std::nullopt;
    QPointer self(this);
    auto key = co_await m_store.readKeychainString(QString::fromLatin1(sheetKeyAccount));
    if (!self)
        co_return tl::unexpected(ServiceTransport::cancelled());
    // A store that cannot be read says nothing of the key; posting without it could be
    // refused or, worse, taken by a web app that should have asked for it.
    if (!key)
        co_return fail(key.error().domain, key.error().code,
                       QStringLiteral("Could not read the sheet key: ") + key.error().message +
                           (m_options.headless
                                ? QStringLiteral(" (CLIPFERRY_SHEET_KEY gives the key without "
                                                 "the secret store)")
                                : QString()));
    if (!m_options.headless)
        QSettings().setValue(sheetKeySavedSetting, *key && !(*key)->isEmpty());
    co_return *key;
}

} // namespace clipferry
