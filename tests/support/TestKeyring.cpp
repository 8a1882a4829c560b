#include "TestKeyring.h"

#include "model/CredentialStore.h"

#include <QSignalSpy>
#include <QUuid>
#include <qt6keychain/keychain.h>

TestKeyring::TestKeyring()
    : m_service(QStringLiteral("ClipferryTest-") +
                QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

TestKeyring::~TestKeyring() {
    using namespace clipferry;
    for (const char* account : {tokenIDAccount, tokenSecretAccount, sheetKeyAccount}) {
        // The job deletes itself once answered; one the store never answers stays alive for
        // the backend's late callback.
        auto* job = new QKeychain::DeletePasswordJob(m_service);
        job->setKey(QString::fromLatin1(account));
        QSignalSpy finished(job, &QKeychain::Job::finished);
        job->start();
        if (finished.isEmpty())
            (void)finished.wait(5000);
    }
}
