#include "model/CredentialStore.h"

#include <QCoro/QCoroSignal>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QStringDecoder>
#include <QTimer>
#include <memory>
#include <qt6keychain/keychain.h>

namespace clipferry {
namespace {

// Runs a keychain job to its end or the time-out. A job that times out is released to
// delete itself when the backend finally answers: deleting it early would leave the
// backend's callback with a dangling pointer.
template <typename Job>
QCoro::Task<bool> runJob(std::unique_ptr<Job>& job, std::chrono::milliseconds timeout) {
    auto* raw = job.get();
    raw->setAutoDelete(false);
    // Start from the event loop so the awaiter below is connected before any result.
    QTimer::singleShot(0, raw, [raw] { raw->start(); });
    const auto finished = co_await qCoro(raw, &QKeychain::Job::finished, timeout);
    if (!finished) {
        job.release()->setAutoDelete(true);
        co_return false;
    }
    co_return true;
}

QString notAnswered() {
    return QStringLiteral("The secret store did not answer in time.");
}

// libsecret answers a read in a locked collection as "no item" once its unlock prompt cannot
// show (no display, or dismissed), so QtKeychain reports EntryNotFound. The Secret Service
// still finds a locked item by its attributes (QtKeychain's "server" and "user"): such an
// item makes the read a failure rather than an absent token.
QCoro::Task<bool> lockedItemExists(QString service, QString account,
                                   std::chrono::milliseconds timeout) {
    auto message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("SearchItems"));
    QDBusArgument attributes;
    attributes.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    for (const auto& [name, value] :
         {std::pair{QStringLiteral("server"), service}, {QStringLiteral("user"), account}}) {
        attributes.beginMapEntry();
        attributes << name << value;
        attributes.endMapEntry();
    }
    attributes.endMap();
    message << QVariant::fromValue(attributes);
    auto watcher = std::make_unique<QDBusPendingCallWatcher>(
        QDBusConnection::sessionBus().asyncCall(message, int(timeout.count())));
    co_await qCoro(watcher.get(), &QDBusPendingCallWatcher::finished, timeout * 2);
    const QDBusMessage reply = watcher->reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        co_return false;
    co_return !qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(1)).isEmpty();
}

} // namespace

CredentialStore::CredentialStore(QString service, std::chrono::milliseconds timeout)
    : m_service(std::move(service))
    , m_timeout(timeout) {}

QCoro::Task<Result<std::optional<QString>>>
CredentialStore::readKeychainString(QString account) const {
    auto job = std::make_unique<QKeychain::ReadPasswordJob>(m_service);
    job->setKey(account);
    const bool finished = co_await runJob(job, m_timeout);
    if (!finished)
        co_return fail(errorDomain::keychain, keychainTimeoutCode, notAnswered());
    if (job->error() == QKeychain::EntryNotFound) {
        auto lockCheck = lockedItemExists(m_service, account, m_timeout);
        if (co_await std::move(lockCheck))
            co_return fail(errorDomain::keychain, keychainLockedCode,
                           QStringLiteral("The secret store is locked."));
        co_return std::optional<QString>();
    }
    if (job->error() != QKeychain::NoError)
        co_return fail(errorDomain::keychain, static_cast<int>(job->error()), job->errorString());
    const QByteArray bytes = job->binaryData();
    auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        co_return std::optional<QString>();
    co_return std::optional<QString>(std::move(text));
}

QCoro::Task<Result<void>> CredentialStore::saveKeychainString(QString account,
                                                              QString value) const {
    auto job = std::make_unique<QKeychain::WritePasswordJob>(m_service);
    job->setKey(account);
    job->setTextData(value);
    const bool finished = co_await runJob(job, m_timeout);
    if (!finished)
        co_return fail(errorDomain::keychain, keychainTimeoutCode, notAnswered());
    if (job->error() != QKeychain::NoError)
        co_return fail(errorDomain::keychain, static_cast<int>(job->error()), job->errorString());
    co_return Result<void>{};
}

} // namespace clipferry
