#include "TempHome.h"
#include "TestKeyring.h"
#include "model/CredentialStore.h"
#include "workflow/ActivityLog.h"
#include "workflow/Credentials.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace clipferry;

// Against the real Secret Service of the test's private D-Bus session. Every test uses a
// service name of its own so that they never see each other's items.
class TestCredentials : public QObject {
    Q_OBJECT

    ActivityLog m_log;

    static std::optional<QString> read(const CredentialStore& store, const char* account) {
        return QCoro::waitFor(store.readKeychainString(QString::fromLatin1(account))).value();
    }

    static void store(const CredentialStore& store, const char* account, const QString& value) {
        QVERIFY(QCoro::waitFor(store.saveKeychainString(QString::fromLatin1(account), value)));
    }

    // Credentials read from the store, as the window's start reads them.
    std::unique_ptr<Credentials> loaded(const CredentialStore& store) {
        auto credentials = std::make_unique<Credentials>(store, m_log, Credentials::Options{});
        QCoro::waitFor(credentials->load());
        return credentials;
    }

    // Locks or unlocks the test session's "login" collection. Unlocking there would want a
    // prompt, so gnome-keyring's own password call does it, with the password the test
    // sessions create it with.
    static bool setLoginLocked(bool locked) {
        const QString service = QStringLiteral("org.freedesktop.secrets");
        const QDBusObjectPath login(QStringLiteral("/org/freedesktop/secrets/collection/login"));
        auto bus = QDBusConnection::sessionBus();
        const auto call = [&](const QString& interface, const QString& method,
                              const QVariantList& arguments) {
            auto message = QDBusMessage::createMethodCall(
                service, QStringLiteral("/org/freedesktop/secrets"), interface, method);
            message.setArguments(arguments);
            return bus.call(message);
        };
        if (locked)
            return call(QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"),
                        {QVariant::fromValue(QList{login})})
                       .type() == QDBusMessage::ReplyMessage;
        const auto session =
            call(QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("OpenSession"),
                 {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
        if (session.arguments().size() != 2)
            return false;
        QDBusArgument secret;
        secret.beginStructure();
        secret << session.arguments().at(1).value<QDBusObjectPath>() << QByteArray()
               << QByteArray("clipferry-tests") << QStringLiteral("text/plain");
        secret.endStructure();
        return call(QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"),
                    QStringLiteral("UnlockWithMasterPassword"),
                    {QVariant::fromValue(login), QVariant::fromValue(secret)})
                   .type() == QDBusMessage::ReplyMessage;
    }

private Q_SLOTS:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("No session bus: run through ctest, which starts a Secret Service.");
        QCoreApplication::setOrganizationName(QStringLiteral("ClipferryTests"));
        QCoreApplication::setApplicationName(QStringLiteral("Credentials"));
    }

    // With an ID stored, which secret makes start-up ask for the keys; nothing stored is
    // the window's and the sheets' test.
    void apiKeysSheetAtStart_data() {
        QTest::addColumn<QVariant>("tokenSecret"); // invalid: none stored
        QTest::addColumn<bool>("sheet");
        QTest::newRow("only the ID") << QVariant() << true;
        QTest::newRow("empty secret") << QVariant(QString("")) << true;
        QTest::newRow("both") << QVariant(QStringLiteral("s")) << false;
    }

    void apiKeysSheetAtStart() {
        QFETCH(QVariant, tokenSecret);
        QFETCH(bool, sheet);
        TempHome home;
        const TestKeyring keyring;
        const CredentialStore keys(keyring.service());
        store(keys, tokenIDAccount, QStringLiteral("id"));
        if (tokenSecret.isValid())
            store(keys, tokenSecretAccount, tokenSecret.toString());
        auto credentials = loaded(keys);
        QCOMPARE(credentials->needsKeys(), sheet);
        QCOMPARE(credentials->tokenID(), QStringLiteral("id"));
        QCOMPARE(credentials->tokenSecret(), tokenSecret.toString());
    }

    // A store that does not answer is not an empty one: nothing is blanked, and a later
    // read fills the tokens in.
    void unreadStoreKeepsTheTokens() {
        TempHome home;
        const TestKeyring keyring;
        const QString& service = keyring.service();
        CredentialStore slow(service, std::chrono::milliseconds(0));
        const CredentialStore seeding(service);
        store(seeding, tokenIDAccount, QStringLiteral("id"));
        store(seeding, tokenSecretAccount, QStringLiteral("secret"));
        QSignalSpy lines(&m_log, &ActivityLog::lineWritten);
        auto credentials = loaded(slow);

        QCOMPARE(lines.value(0).value(0).toByteArray(),
                 "[Clipferry] Could not read the saved API keys: The secret store did not answer "
                 "in time.\n");
        QVERIFY(credentials->readError());
        QVERIFY(credentials->needsKeys());
        QVERIFY(!credentials->saveWouldClearTokens());
        QCoro::waitFor(credentials->save());
        QCOMPARE(read(seeding, tokenIDAccount), std::optional<QString>("id"));
        QCOMPARE(read(seeding, tokenSecretAccount), std::optional<QString>("secret"));

        slow.setTimeout(std::chrono::seconds(5));
        QCoro::waitFor(credentials->load());
        QCOMPARE(credentials->tokenSecret(), "secret");
        QCOMPARE(credentials->tokenID(), "id");
        QVERIFY(!credentials->readError());
        QVERIFY(!credentials->needsKeys());
    }

    // libsecret reads an item of a locked collection as none once no unlock prompt can show;
    // that must fail the read, not pass for a missing token. (No Secret Service on the bus
    // at all is the command line's "unreachable store".)
    void lockedStoreIsAReadFailure() {
        const TestKeyring keyring;
        const CredentialStore keys(keyring.service());
        store(keys, tokenIDAccount, QStringLiteral("id"));
        QVERIFY(setLoginLocked(true));
        const auto locked = QCoro::waitFor(keys.readKeychainString(tokenIDAccount));
        const auto absent = QCoro::waitFor(keys.readKeychainString(tokenSecretAccount));
        QVERIFY(setLoginLocked(false));
        QCOMPARE(locked ? QString() : locked.error().message,
                 QStringLiteral("The secret store is locked."));
        QCOMPARE(absent ? *absent : std::optional<QString>("failed"), std::nullopt);
        QCOMPARE(read(keys, tokenIDAccount), std::optional<QString>("id"));
    }

    // Only what was changed since the read is written; a token another writer stored
    // meanwhile survives a save that did not touch it. The next start reads the settings.
    void saveWritesOnlyChangedTokens_data() {
        QTest::addColumn<QString>("typedID");
        QTest::addColumn<bool>("clearingConfirmed");
        QTest::addColumn<QString>("storedID");
        QTest::newRow("untouched") << "id" << false << "id";
        QTest::newRow("ID changed") << "ID-ü/+==" << false << "ID-ü/+==";
        QTest::newRow("ID emptied") << "" << false << "id";
        QTest::newRow("ID emptied, confirmed") << "" << true << "";
    }

    void saveWritesOnlyChangedTokens() {
        QFETCH(QString, typedID);
        QFETCH(bool, clearingConfirmed);
        QFETCH(QString, storedID);
        TempHome home;
        QSettings().remove(QStringLiteral("useMaxResolution"));
        const TestKeyring keyring;
        const QString& service = keyring.service();
        const CredentialStore keys(service);
        QCOMPARE(read(keys, tokenIDAccount), std::nullopt);
        store(keys, tokenIDAccount, QStringLiteral("id"));
        store(keys, tokenSecretAccount, QStringLiteral("s"));
        auto credentials = loaded(keys);
        QSignalSpy changes(credentials.get(), &Credentials::changed);
        // A second save of an account replaces its item, as the Secret Service sees it.
        store(keys, tokenSecretAccount, QStringLiteral("elsewhere"));
        QProcess search;
        search.start(QStringLiteral("secret-tool"),
                     {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("server"),
                      service, QStringLiteral("user"), QStringLiteral("mux_token_secret")});
        QVERIFY(search.waitForFinished(20000));
        QCOMPARE(('\n' + search.readAllStandardOutput()).count("\n[/"), 1);

        credentials->setTokenID(typedID);
        credentials->setTokenSecret(QStringLiteral("s"));
        QVERIFY(!credentials->useMaxResolution());
        credentials->setUseMaxResolution(true);
        // The resolution is a preference of its own, not a change of the tokens.
        QCOMPARE(changes.constLast().value(0).value<Credentials::Key>(),
                 Credentials::Key::useMaxResolution);
        QCOMPARE(changes.size(), typedID == "id" ? 1 : 2);
        QCOMPARE(credentials->saveWouldClearTokens(), typedID.isEmpty());
        QCoro::waitFor(credentials->save(clearingConfirmed));

        QCOMPARE(read(keys, tokenIDAccount), std::optional(storedID));
        QCOMPARE(read(keys, tokenSecretAccount), std::optional<QString>("elsewhere"));
        QVERIFY(loaded(keys)->useMaxResolution());
        QSettings().remove(QStringLiteral("useMaxResolution"));
    }
};

QTEST_GUILESS_MAIN(TestCredentials)
#include "tst_credentials.moc"
