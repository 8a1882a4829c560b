#include "ClipFactory.h"
#include "StandInService.h"
#include "TempHome.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>
#include <random>

// Every accepted clip reaches the library exactly once, whatever the service and the
// machine do. The built program delivers a batch to a stand-in that refuses requests,
// loses replies, cuts transfers and makes each asset a moment after its upload; it is
// killed at seeded places and run again until it succeeds, as a render machine's
// scheduler runs it. CLIPFERRY_CHAOS_SEEDS ("1-100", "4,9") picks the seeds; scripts/soak
// runs many.
class ChaosTest : public QObject {
    Q_OBJECT

    // A run that neither ends nor reaches its hold point in this long has hung.
    static constexpr qint64 hungRunMs = 60000;
    static constexpr int maxRuns = 12;

    TempHome m_home;
    StandInService m_service;
    ClipFactory m_clips;
    QStringList m_files;
    const QString m_keyring = QStringLiteral("ClipferryChaos-") + QUuid::createUuid().toString();

    static QList<quint64> seeds() {
        const QString text = qEnvironmentVariable("CLIPFERRY_CHAOS_SEEDS", QStringLiteral("1-4"));
        QList<quint64> list;
        for (const auto& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const auto ends = part.split(QLatin1Char('-'));
            for (quint64 seed = ends.first().toULongLong(); seed <= ends.last().toULongLong();
                 ++seed)
                list.append(seed);
        }
        return list;
    }

    QProcessEnvironment childEnvironment(const QString& home) const {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home);
        for (const auto* folder : {"data", "config", "cache", "state"})
            environment.insert(
                QStringLiteral("XDG_%1_HOME").arg(QString::fromLatin1(folder).toUpper()),
                home + QLatin1Char('/') + QLatin1String(folder));
        environment.insert(QStringLiteral("CLIPFERRY_TEST_API_BASE"),
                           m_service.baseUrl().toString());
        environment.insert(QStringLiteral("CLIPFERRY_TEST_SHEET_URL"),
                           m_service.sheetWebAppUrl().toString());
        environment.insert(QStringLiteral("CLIPFERRY_TEST_KEYRING"), m_keyring);
        environment.insert(QStringLiteral("CLIPFERRY_TOKEN_ID"), m_service.tokenID());
        environment.insert(QStringLiteral("CLIPFERRY_TOKEN_SECRET"), m_service.tokenSecret());
        return environment;
    }

    static QString digestOf(const QString& file) {
        QFile data(file);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        return data.open(QIODevice::ReadOnly) && hash.addData(&data)
                   ? QString::fromLatin1(hash.result().toHex())
                   : QString();
    }

    // What is wrong with the library, one line each, against the clips' names and the
    // digests of every version each had on disk.
    QStringList libraryFaults(const QMap<QString, QStringList>& versions) const {
        QHash<QString, QJsonObject> uploads;
        for (const auto& value : m_service.uploads())
            uploads.insert(value[QStringLiteral("id")].toString(), value.toObject());
        // Clip -> its assets, "asset<-upload:bytes held", and how many hold a version.
        QHash<QString, QStringList> assetsByClip;
        QHash<QString, int> wholeByClip;
        for (const auto& value : m_service.assets()) {
            const auto clip = value[QStringLiteral("passthrough")].toString();
            const auto upload = uploads.value(value[QStringLiteral("upload_id")].toString());
            const bool whole =
                versions.value(clip).contains(upload[QStringLiteral("sha256")].toString());
            wholeByClip[clip] += whole ? 1 : 0;
            assetsByClip[clip].append(QStringLiteral("%1<-%2:%3%4")
                                          .arg(value[QStringLiteral("id")].toString(),
                                               upload[QStringLiteral("id")].toString())
                                          .arg(upload[QStringLiteral("bytes_held")].toInteger())
                                          .arg(whole ? "" : " (not a version of the file)"));
        }
        QStringList faults;
        for (auto it = versions.cbegin(); it != versions.cend(); ++it) {
            const auto assets = assetsByClip.take(it.key());
            if (assets.size() != 1 || wholeByClip.value(it.key()) != 1)
                faults += QStringLiteral("%1 on %2 assets %3")
                              .arg(it.key())
                              .arg(assets.size())
                              .arg(assets.join(QLatin1Char(' ')));
        }
        for (auto it = assetsByClip.cbegin(); it != assetsByClip.cend(); ++it)
            faults += QStringLiteral("no such clip %1: %2")
                          .arg(it.key(), it.value().join(QLatin1Char(' ')));
        return faults;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_service.isRunning(), qPrintable(m_service.errorString()));
        QVERIFY2(ClipFactory::ffmpegAvailable(), "the tests need the ffmpeg tool");
        // A few hundred kilobytes each: more than one unit of what a cut session keeps.
        const ClipFactory::Options options{.seconds = 4.0, .size = {960, 540}};
        for (const auto* name :
             {"E1_Opening_PAR_M01_a.mov", "E1_Opening_LON_M01_b.mp4", "E1_Opening_NYC_M02_c.mov",
              "E2_Anthem_PAR_M03_d.mp4", "E2_Anthem_LON_M03_e.mov", "E2_Anthem_NYC_M04_f.mp4"}) {
            m_files.append(m_clips.video(QLatin1String(name), options));
            QVERIFY2(!m_files.last().isEmpty(), qPrintable(m_clips.lastError()));
            // The clip rendered again, as a render machine may while the last run is down.
            const ClipFactory::Options again{.seconds = 3.0, .size = {960, 540}};
            QVERIFY(
                !m_clips.video(QStringLiteral("again/") + QLatin1String(name), again).isEmpty());
        }
    }

    void exactlyOnce_data() {
        QTest::addColumn<quint64>("seed");
        QTest::addColumn<QString>("subcommand");
        for (const auto seed : seeds())
            for (const auto* subcommand : {"upload", "sync"})
                QTest::addRow("seed %llu %s", seed, subcommand) << seed << QString(subcommand);
    }

    void exactlyOnce() {
        QFETCH(quint64, seed);
        QFETCH(QString, subcommand);
        // Setup: a fresh service and machine; the seed draws the faults and the kills.
        std::mt19937_64 random(seed);
        const auto draw = [&random](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(random);
        };
        QVERIFY(m_service.reset());
        // The program's own records must outlive its kills: one home for all runs of a row.
        QTemporaryDir home;
        StandInService::ChaosSettings chaos{.seed = seed,
                                            .refuseShare = 0.08,
                                            .retryAfterSeconds = 0,
                                            .loseReplyShare = 0.08,
                                            .cutShare = 0.3,
                                            .assetDelayRequests = draw(5, 40)};
        const int kills = draw(1, 3);
        const auto changed = QFileInfo(m_files.at(draw(0, 5))).fileName();
        // A sync's folder is the row's own, as one clip in it changes after the first run.
        QTemporaryDir folder;
        QMap<QString, QStringList> versions;
        for (const auto& file : m_files) {
            const auto name = QFileInfo(file).fileName();
            QVERIFY(QFile::copy(file, folder.filePath(name)));
            versions[name].append(digestOf(file));
        }
        const QStringList arguments = subcommand == QLatin1String("upload")
                                          ? QStringList{subcommand} + m_files
                                          : QStringList{subcommand, folder.path()};

        // Action: runs until one succeeds, the first ones killed where the service holds.
        QStringList history;
        QString lastOutput;
        bool succeeded = false;
        for (int run = 0; run < maxRuns && !succeeded; ++run) {
            if (run == 1 && subcommand == QLatin1String("sync")) {
                const auto again = m_clips.folder() + QStringLiteral("/again/") + changed;
                QVERIFY(QFile::remove(folder.filePath(changed)));
                QVERIFY(QFile::copy(again, folder.filePath(changed)));
                versions[changed].append(digestOf(again));
            }
            static const char* const phases[] = {"before", "acted", "body", "replied"};
            chaos.holdAt = run < kills ? draw(1, 120) : 0;
            chaos.holdPhase = QLatin1String(phases[draw(0, 3)]);
            QVERIFY(m_service.setChaos(chaos));
            QProcess child;
            child.setProcessEnvironment(childEnvironment(home.path()));
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QStringLiteral(CLIPFERRY_BINARY), arguments);
            QVERIFY(child.waitForStarted());
            QElapsedTimer running;
            running.start();
            bool killed = false;
            while (!child.waitForFinished(5)) {
                if (chaos.holdAt > 0 && m_service.chaosHeld()) {
                    child.kill(); // SIGKILL: no handler of the program runs
                    child.waitForFinished();
                    killed = true;
                    break;
                }
                // A safety net for a hung child, not a measure of speed.
                if (running.elapsed() > hungRunMs) {
                    child.kill();
                    child.waitForFinished();
                    QFAIL(qPrintable(QStringLiteral("run %1 hung:\n").arg(run + 1) +
                                     QString::fromUtf8(child.readAll())));
                }
            }
            // What went wrong in the run, for a failure message.
            lastOutput.clear();
            for (const auto& line : QString::fromUtf8(child.readAll()).split(QLatin1Char('\n')))
                if (line.contains(QLatin1String("fail"), Qt::CaseInsensitive))
                    lastOutput += line + QLatin1Char('\n');
            succeeded =
                !killed && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
            history += QStringLiteral("run %1: %2")
                           .arg(run + 1)
                           .arg(killed ? QStringLiteral("killed at request %1 (%2)")
                                             .arg(chaos.holdAt)
                                             .arg(chaos.holdPhase)
                                       : QStringLiteral("exit %1").arg(child.exitCode()));
        }

        // Verify: the library as it will be once every upload made its asset.
        QVERIFY(m_service.stopChaos());
        QVERIFY(m_service.makePendingAssets());
        const QString story = history.join(QStringLiteral("; "));
        qInfo().noquote() << story;
        QVERIFY2(succeeded, qPrintable(QStringLiteral("never succeeded: ") + story +
                                       QStringLiteral("\nThe last run's failures:\n") +
                                       lastOutput.left(1500)));
        const auto faults = libraryFaults(versions);
        QVERIFY2(faults.isEmpty(), qPrintable(story +
                                              QStringLiteral("; %1 faults with %2 clips:\n")
                                                  .arg(faults.size())
                                                  .arg(m_files.size()) +
                                              faults.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(ChaosTest)
#include "tst_chaos.moc"
