#include "ClipFactory.h"
#include "CredentialStore.h"
#include "StandInService.h"
#include "TempHome.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <QUuid>
#include <clipferry/BuildConfig.h>

// Every subcommand as a script runs it: the built program as a child process against the
// stand-in, judged by its exit status, its output and what reached the service.
class CommandLineTest : public QObject {
    Q_OBJECT

    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };

    TempHome m_home;
    StandInService m_service;
    ClipFactory m_clips;
    QString m_keyring = QStringLiteral("ClipferryTest-") + QUuid::createUuid().toString();
    const QString m_tokenID = QStringLiteral("cli-id-5f0c1e");
    const QString m_tokenSecret = QStringLiteral("cli-secret-a93d7b");

    Run run(const QStringList& arguments, const QString& credentials) {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CLIPFERRY_TEST_API_BASE"),
                           m_service.baseUrl().toString());
        environment.insert(QStringLiteral("CLIPFERRY_TEST_SHEET_URL"),
                           m_service.sheetWebAppUrl().toString());
        environment.insert(QStringLiteral("CLIPFERRY_TEST_KEYRING"),
                           credentials == QLatin1String("keyring") ? m_keyring
                                                                   : m_keyring + "-empty");
        if (credentials == QLatin1String("env")) {
            environment.insert(QStringLiteral("CLIPFERRY_TOKEN_ID"), m_tokenID);
            environment.insert(QStringLiteral("CLIPFERRY_TOKEN_SECRET"), m_tokenSecret);
        }
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(CLIPFERRY_BINARY), arguments);
        // A safety net for a hung child, not a measure of speed.
        if (!process.waitForFinished(120000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // The files the window owns, name and content.
    QHash<QString, QByteArray> stateFiles() const {
        QHash<QString, QByteArray> files;
        const QDir folder(m_home.stateFolder());
        for (const auto& name : folder.entryList(QDir::Files)) {
            QFile file(folder.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                files.insert(name, file.readAll());
        }
        return files;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_service.isRunning(), qPrintable(m_service.errorString()));
        QVERIFY2(ClipFactory::ffmpegAvailable(), "the tests need the ffmpeg tool");
        QVERIFY(!m_clips.video(QStringLiteral("E1_Opening_PAR_M01_a.mov")).isEmpty());
        QVERIFY(!m_clips.video(QStringLiteral("E1_Opening_LON_M02_b.mp4")).isEmpty());
        // The window's state: a run of the command line must leave it as it is.
        QVERIFY(QDir().mkpath(m_home.stateFolder()));
        QFile state(m_home.stateFolder() + QStringLiteral("/MuxState.json"));
        QVERIFY(state.open(QIODevice::WriteOnly));
        state.write(R"({"lastLaunchedAt":1700000000,"seenAssetTimes":{}})");
        if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            const clipferry::CredentialStore store(m_keyring);
            QVERIFY(QCoro::waitFor(
                store.saveKeychainString(QStringLiteral("mux_token_id"), m_tokenID)));
            QVERIFY(QCoro::waitFor(
                store.saveKeychainString(QStringLiteral("mux_token_secret"), m_tokenSecret)));
        }
    }

    void subcommand_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("credentials"); // env, keyring or none
        QTest::addColumn<QString>("faultPath");   // answered with 500 when set
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("stdoutLines"); // in this order, others between
        QTest::addColumn<QString>("stderrText");
        QTest::addColumn<int>("assetsAfter"); // the library holds two seeded assets first
        QTest::addColumn<int>("sheetPosts");

        const auto line = [](const char* id) {
            return QStringLiteral("%1.mov\tready\t%2/pb-%1.m3u8")
                .arg(QLatin1String(id), QLatin1String(clipferry::build::muxStreamBase));
        };
        const QStringList noLines;
        const QString noError;
        const QString clipsFolder = m_clips.folder();
        const QString clipA = clipsFolder + QStringLiteral("/E1_Opening_PAR_M01_a.mov");
        const QString clipB = clipsFolder + QStringLiteral("/E1_Opening_LON_M02_b.mp4");

        QTest::newRow("list") << QStringList{"list"} << "env" << QString() << 0
                              << QStringList{line("seeded0001"), line("seeded0002")} << noError << 2
                              << 0;
        QTest::newRow("list --json") << QStringList{"list", "--json"} << "keyring" << QString() << 0
                                     << noLines << noError << 2 << 0;
        QTest::newRow("list refused")
            << QStringList{"list"} << "env"
            << "/video/v1/assets" << 1 << noLines << "Failed to fetch MUX assets: " << 2 << 0;
        QTest::newRow("no token") << QStringList{"list"} << "none" << QString() << 2 << noLines
                                  << "no API token" << 2 << 0;
        QTest::newRow("unknown option")
            << QStringList{"list", "--all"} << "env" << QString() << 2 << noLines
            << "unknown option --all\nUsage: clipferry list [--json]" << 2 << 0;
        QTest::newRow("operand where none is taken")
            << QStringList{"export-sheet", "x"} << "env" << QString() << 2 << noLines
            << "Usage: clipferry export-sheet" << 2 << 0;
        QTest::newRow("help") << QStringList{"list", "--help"} << "none" << QString() << 0
                              << QStringList{"Usage: clipferry list [--json]"} << noError << 2 << 0;
        QTest::newRow("export-sheet")
            << QStringList{"export-sheet"} << "env" << QString() << 0
            << QStringList{"[Clipferry] Updating Google Sheets...",
                           "[Clipferry] Google Sheets updated successfully"}
            << noError << 2 << 1;
        QTest::newRow("export-sheet refused") << QStringList{"export-sheet"} << "env"
                                              << "/macros/s/stand-in/exec" << 1
                                              << QStringList{"[Clipferry] Failed to update Google "
                                                             "Sheets: The operation couldn\u2019t "
                                                             "be completed. (GoogleSheet error 1.)"}
                                              << noError << 2 << 0;
        QTest::newRow("upload")
            << QStringList{"upload", clipA, clipB} << "env" << QString() << 0
            << QStringList{"[Clipferry] Started upload batch with 2 videos.",
                           "[Clipferry] Done \u2013 E1_Opening_PAR_M01_a",
                           "[Clipferry] Upload batch completed. Updating Google Sheet\u2026",
                           "[Clipferry] Google Sheet updated."}
            << noError << 4 << 1;
        QTest::newRow("upload refused")
            << QStringList{"upload", clipA} << "env"
            << "/video/v1/uploads" << 1 << QStringList{"[Clipferry] Google Sheet updated."}
            << noError << 2 << 1;
        QTest::newRow("upload of a missing file")
            << QStringList{"upload", clipA, clipsFolder + "/gone.mov"} << "env" << QString() << 2
            << noLines << "cannot read the file " + clipsFolder + "/gone.mov" << 2 << 0;
    }

    void subcommand() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, credentials);
        QFETCH(QString, faultPath);
        QFETCH(int, exitCode);
        QFETCH(QStringList, stdoutLines);
        QFETCH(QString, stderrText);
        QFETCH(int, assetsAfter);
        QFETCH(int, sheetPosts);
        if (credentials == QLatin1String("keyring") &&
            qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("needs a Secret Service session");
        QVERIFY(m_service.reset());
        QVERIFY(m_service.setCredentials(m_tokenID, m_tokenSecret));
        QVERIFY(m_service.seedGeneratedAssets(2));
        if (!faultPath.isEmpty())
            QVERIFY(m_service.addFault({.path = faultPath, .status = 500}));
        const auto stateBefore = stateFiles();

        const auto result = run(arguments, credentials);

        QCOMPARE(result.exitCode, exitCode);
        const auto lines = result.out.split(QLatin1Char('\n'));
        qsizetype at = 0;
        for (const auto& expected : stdoutLines) {
            at = lines.indexOf(expected, at);
            QVERIFY2(at >= 0, qPrintable(expected + QStringLiteral(" not in:\n") + result.out));
        }
        QVERIFY2(result.err.contains(stderrText), qPrintable(result.err));
        if (arguments.contains(QStringLiteral("--json"))) {
            const auto listed = QJsonDocument::fromJson(result.out.toUtf8()).array();
            QCOMPARE(listed.size(), 2);
            QCOMPARE(listed[1][QStringLiteral("passthrough")].toString(), "seeded0002.mov");
            QVERIFY(listed[1][QStringLiteral("playback_url")].toString().endsWith(
                "/pb-seeded0002.m3u8"));
        }
        QCOMPARE(m_service.assets().size(), assetsAfter);
        QCOMPARE(m_service.sheetPosts().size(), sheetPosts);
        // The credentials never show, neither as text nor as the Basic header's Base64.
        const auto output = result.out + result.err;
        const auto basic =
            QString::fromLatin1((m_tokenID + ':' + m_tokenSecret).toUtf8().toBase64());
        for (const auto& secret : {m_tokenID, m_tokenSecret, basic})
            QVERIFY2(!output.contains(secret), qPrintable(output));
        QCOMPARE(stateFiles(), stateBefore);
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_command_line.moc"
