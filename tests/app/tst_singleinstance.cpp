#include "TestFiles.h"
#include "app/SingleInstance.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace clipferry;

class TestSingleInstance : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_folders = 0;

    QString freshFolder() { return m_dir.filePath(QString::number(++m_folders)); }

private Q_SLOTS:
    // A later launch may be asked to open files; the first instance gets them all.
    void laterLaunchHandsItsFilesToTheFirst() {
        const QString folder = freshFolder();
        SingleInstance first(folder);
        QVERIFY(first.claim());
        QSignalSpy activated(&first, &SingleInstance::activated);

        SingleInstance later(folder);
        QVERIFY(!later.claim());
        const QStringList files{QStringLiteral("/clips/a b.mov"), QStringLiteral("/東京/ü\n.mxf")};
        QVERIFY(QCoro::waitFor(later.forward(files)));

        QCOMPARE(activated.size(), 1);
        QCOMPARE(activated.first().first().toStringList(), files);
        QVERIFY(QCoro::waitFor(later.forward({})));
        QCOMPARE(activated.size(), 2);
        QVERIFY(SingleInstance(freshFolder()).claim());
    }

    // Only a dead owner frees the lock, however old it is.
    void lockHeldOnlyByALiveOwner_data() {
        QTest::addColumn<bool>("ownerAlive");
        QTest::addColumn<int>("ageHours");
        QTest::addColumn<bool>("claimed");
        QTest::newRow("live owner") << true << 0 << false;
        QTest::newRow("live owner for days") << true << 72 << false;
        QTest::newRow("owner crashed") << false << 0 << true;
    }

    void lockHeldOnlyByALiveOwner() {
        QFETCH(bool, ownerAlive);
        QFETCH(int, ageHours);
        QFETCH(bool, claimed);
        const QString folder = freshFolder();
        auto owner = std::make_unique<SingleInstance>(folder);
        QVERIFY(owner->claim());
        const QString lockPath = folder + QStringLiteral("/instance.lock");
        if (!ownerAlive) {
            // The lock and the socket as a process that has ended left them.
            QByteArray content = readFile(lockPath);
            const QString socketPath = owner->serverName();
            owner.reset();
            QProcess ended;
            ended.start(QStringLiteral("true"));
            QVERIFY(ended.waitForStarted());
            content.replace(0, content.indexOf('\n'), QByteArray::number(ended.processId()));
            QVERIFY(ended.waitForFinished());
            QVERIFY(writeFile(lockPath, content));
            QVERIFY(writeFile(socketPath, {}));
        }
        QFile lock(lockPath);
        QVERIFY(lock.open(QIODevice::ReadWrite));
        QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600 * ageHours),
                                 QFileDevice::FileModificationTime));
        lock.close();

        SingleInstance later(folder, SingleInstance::Options{std::chrono::milliseconds(1),
                                                             std::chrono::milliseconds(1)});
        QCOMPARE(later.claim(), claimed);
        if (claimed) {
            QSignalSpy activated(&later, &SingleInstance::activated);
            QVERIFY(QCoro::waitFor(SingleInstance(folder).forward({})));
            QCOMPARE(activated.size(), 1);
        }
    }

    void nobodyListeningIsNotDelivered() {
        SingleInstance alone(freshFolder(), SingleInstance::Options{std::chrono::milliseconds(20),
                                                                    std::chrono::milliseconds(5)});
        QVERIFY(!QCoro::waitFor(alone.forward({QStringLiteral("/a.mov")})));
    }

    void requestsRoundTripAndRejectGarbage_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("valid");
        QTest::newRow("encoded") << SingleInstance::encodeRequest({"/a.mov", "\"q\""}) << true;
        QTest::newRow("not json") << QByteArray("open /a.mov\n") << false;
        QTest::newRow("no list") << QByteArray("{\"activate\":true}\n") << false;
        QTest::newRow("number in list") << QByteArray("{\"files\":[\"/a\",3]}\n") << false;
    }

    void requestsRoundTripAndRejectGarbage() {
        QFETCH(QByteArray, line);
        QFETCH(bool, valid);
        const auto files = SingleInstance::decodeRequest(line);
        QCOMPARE(files.has_value(), valid);
        if (valid)
            QCOMPARE(*files, (QStringList{"/a.mov", "\"q\""}));
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
