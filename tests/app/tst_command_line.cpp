#include "ClipFactory.h"
#include "StandInService.h"
#include "TempHome.h"
#include "TestFiles.h"
#include "TestKeyring.h"
#include "model/CredentialStore.h"
#include "workflow/DeliveryLedger.h"

#include <QCoro/QCoroTask>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <clipferry/BuildConfig.h>

// Every subcommand as a script runs it: the built program as a child process against the
// stand-in, judged by its exit status, its output and what reached the service.
class CommandLineTest : public QObject {
    Q_OBJECT

    struct Run {
        int exitCode = -1;
        QString out, err;
    };

    TempHome m_home;
    StandInService m_service;
    ClipFactory m_clips;
    TestKeyring m_keyring;
    const QString m_tokenID = QStringLiteral("cli-id-5f0c1e");
    const QString m_tokenSecret = QStringLiteral("cli-secret-a93d7b");

    // The program, window or command line, pointed at the stand-in and a store of the test's.
    QProcessEnvironment environment(const QString& credentials, QString apiBase = {}) const {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CLIPFERRY_TEST_API_BASE"),
                           apiBase.isEmpty() ? m_service.baseUrl().toString() : apiBase);
        environment.insert(QStringLiteral("CLIPFERRY_TEST_SHEET_URL"),
                           m_service.sheetWebAppUrl().toString());
        environment.insert(QStringLiteral("CLIPFERRY_TEST_KEYRING"),
                           credentials.startsWith(QLatin1String("keyring"))
                               ? m_keyring.service()
                               : m_keyring.service() + "-empty");
        // A render machine: no Secret Service on the bus, the pair in the environment.
        if (credentials.endsWith(QLatin1String("no bus")))
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                               QStringLiteral("unix:path=") + m_home.path() + "/no-bus");
        // A systemd service's credentials, which come before the environment's pair.
        if (credentials == QLatin1String("credentials")) {
            const QString folder = m_home.path() + QStringLiteral("/credentials");
            (void)writeFile(folder + "/mux_token_id", m_tokenID.toUtf8() + '\n');
            (void)writeFile(folder + "/mux_token_secret", m_tokenSecret.toUtf8());
            environment.insert(QStringLiteral("CREDENTIALS_DIRECTORY"), folder);
            environment.insert(QStringLiteral("CLIPFERRY_TOKEN_ID"), QStringLiteral("wrong"));
            environment.insert(QStringLiteral("CLIPFERRY_TOKEN_SECRET"), QStringLiteral("wrong"));
        }
        // Half a pair in the environment is not used: the stored pair is, whole.
        if (credentials.endsWith(QLatin1String("ID only")))
            environment.insert(QStringLiteral("CLIPFERRY_TOKEN_ID"), QStringLiteral("half"));
        if (credentials.contains(QLatin1String("no sheet")))
            environment.insert(QStringLiteral("CLIPFERRY_SHEET_URL"), QString());
        if (credentials.contains(QLatin1String("no display")))
            for (const auto* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                environment.remove(QLatin1String(name));
        if (credentials.startsWith(QLatin1String("env"))) {
            environment.insert(QStringLiteral("CLIPFERRY_TOKEN_ID"), m_tokenID);
            environment.insert(QStringLiteral("CLIPFERRY_TOKEN_SECRET"), m_tokenSecret);
        }
        return environment;
    }

    Run run(const QStringList& arguments, const QString& credentials,
            const QString& workingFolder = {}, const QString& apiBase = {}) {
        QProcess process;
        process.setProcessEnvironment(environment(credentials, apiBase));
        process.setWorkingDirectory(workingFolder);
        if (arguments.value(0) == QLatin1String("--terminal")) {
            // script(1) gives the program a terminal for both streams.
            QString command = QStringLiteral(CLIPFERRY_BINARY);
            for (const auto& argument : arguments.mid(1))
                command += QStringLiteral(" '") + argument + QLatin1Char('\'');
            process.start(QStringLiteral("script"),
                          {QStringLiteral("-qefc"), command, QStringLiteral("/dev/null")});
        } else {
            process.start(QStringLiteral(CLIPFERRY_BINARY), arguments);
        }
        // A safety net for a hung child, not a measure of speed.
        if (!process.waitForFinished(120000))
            process.kill();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    // The files the window owns, name and content; the delivery ledger is shared.
    QHash<QString, QByteArray> stateFiles() const {
        QHash<QString, QByteArray> files;
        for (const auto& name : QDir(m_home.stateFolder()).entryList(QDir::Files))
            if (!name.startsWith(QLatin1String("Deliveries.sqlite")))
                files.insert(name, readFile(m_home.stateFolder() + u'/' + name));
        return files;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_service.isRunning(), qPrintable(m_service.errorString()));
        QVERIFY2(ClipFactory::ffmpegAvailable(), "the tests need the ffmpeg tool");
        QVERIFY(!m_clips.video(QStringLiteral("E1_Opening_PAR_M01_a.mov")).isEmpty());
        QVERIFY(!m_clips.video(QStringLiteral("E1_Opening_LON_M02_b.mp4")).isEmpty());
        QVERIFY(
            !m_clips.file(QStringLiteral("E2_Anthem_PAR_M03_c.mov"), "not yet on Mux").isEmpty());
        // The window's state, which a run of the command line must leave as it is, with an
        // unfinished upload of the window's that the command line must not take on.
        QVERIFY(writeFile(m_home.stateFolder() + "/MuxState.json",
                          R"({"lastLaunchedAt":1700000000,"seenAssetTimes":{}})"));
        QVERIFY(writeFile(m_home.stateFolder() + "/Uploads.json",
                          R"([{"file":"/gone.mov","size":1,"title":"gone","stage":"Pending"}])"));
        if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
            const clipferry::CredentialStore store(m_keyring.service());
            QVERIFY(QCoro::waitFor(
                store.saveKeychainString(QStringLiteral("mux_token_id"), m_tokenID)));
            QVERIFY(QCoro::waitFor(
                store.saveKeychainString(QStringLiteral("mux_token_secret"), m_tokenSecret)));
        }
    }

    void subcommand_data() {
        QTest::addColumn<QStringList>("arguments");
        // env, keyring, credentials, none or no bus; "no sheet" empties CLIPFERRY_SHEET_URL,
        // "no display" takes the display away
        QTest::addColumn<QString>("credentials");
        QTest::addColumn<QString>("faultPath"); // answered with 500 when set; "+": after one
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("stdoutLines"); // in this order, others between
        QTest::addColumn<QString>("stderrText");
        // The library holds two assets first: clip a's (on Mux) and clip b's (created
        // long before b was made, so b changed since its upload).
        QTest::addColumn<int>("assetsAfter");
        QTest::addColumn<int>("sheetPosts");

        const auto line = [](const char* name, const char* id) {
            return QStringLiteral("%1\tready\t%2/pb-%3.m3u8")
                .arg(QLatin1String(name), QLatin1String(clipferry::build::muxStreamBase),
                     QLatin1String(id));
        };
        const QStringList noLines;
        const QString noError;
        const QString clipsFolder = m_clips.folder();
        const QString clipA = clipsFolder + QStringLiteral("/E1_Opening_PAR_M01_a.mov");
        const QString clipB = clipsFolder + QStringLiteral("/E1_Opening_LON_M02_b.mp4");
        const QString clipC = clipsFolder + QStringLiteral("/E2_Anthem_PAR_M03_c.mov");

        // A name cannot move the cursor or forge a line of the listing.
        QTest::newRow("list") << QStringList{"list"} << "env" << QString() << 0
                              << QStringList{line("E1_Opening_PAR_M01_a.mov", "on-mux"),
                                             line("E1_Opening_LON_M02_b.mp4", "old"),
                                             line("x\\x1b[2J\\x0ay.mov", "ctl")}
                              << noError << 3 << 0;
        QTest::newRow("list, service credentials")
            << QStringList{"list"} << "credentials" << QString() << 0
            << QStringList{line("E1_Opening_PAR_M01_a.mov", "on-mux")} << noError << 3 << 0;
        QTest::newRow("list --json") << QStringList{"list", "--json"} << "keyring, ID only"
                                     << QString() << 0 << noLines << noError << 3 << 0;
        QTest::newRow("list refused")
            << QStringList{"list"} << "env"
            << "/video/v1/assets" << 1 << noLines << "Failed to fetch MUX assets: " << 3 << 0;
        QTest::newRow("no token") << QStringList{"list"} << "none" << QString() << 2 << noLines
                                  << "no API token" << 3 << 0;
        // No Secret Service on the bus is a failed read, not an empty store.
        QTest::newRow("unreachable store")
            << QStringList{"list"} << "no bus" << QString() << 2 << noLines
            << "[Clipferry] Could not read the saved API keys: " << 3 << 0;
        QTest::newRow("unknown option")
            << QStringList{"list", "--all"} << "env" << QString() << 2 << noLines
            << "unknown option --all\nUsage: clipferry list [--json]" << 3 << 0;
        QTest::newRow("operand where none is taken")
            << QStringList{"export-sheet", "x"} << "env" << QString() << 2 << noLines
            << "Usage: clipferry export-sheet" << 3 << 0;
        // A mistyped command is no file to open: usage, with or without a display.
        for (const auto* display : {"env", "env, no display"})
            QTest::addRow("unknown command, %s", display)
                << QStringList{"lsit"} << display << QString() << 2 << noLines
                << "clipferry: unknown command lsit\nUsage: clipferry [FILE" << 3 << 0;
        QTest::newRow("window without a display")
            << QStringList{} << "env, no display" << QString() << 2 << noLines
            << "no display to open the window on" << 3 << 0;
        QTest::newRow("help") << QStringList{"sync", "--help"} << "none" << QString() << 0
                              << QStringList{"Usage: clipferry sync FOLDER [--recursive] "
                                             "[--replace-changed] [--dry-run]"}
                              << noError << 3 << 0;
        QTest::newRow("export-sheet refused") << QStringList{"export-sheet"} << "env"
                                              << "/macros/s/stand-in/exec" << 1
                                              << QStringList{"[Clipferry] Failed to update Google "
                                                             "Sheets: The operation couldn\u2019t "
                                                             "be completed. (GoogleSheet error 1.)"}
                                              << noError << 3 << 0;
        QTest::newRow("upload")
            << QStringList{"upload", "--copies", "--limit-rate", "100M", clipA, clipB} << "env"
            << QString() << 0
            << QStringList{"[Clipferry] Started upload batch with 2 videos.",
                           "[Clipferry] Done \u2013 E1_Opening_PAR_M01_a",
                           "[Clipferry] Upload batch completed. Updating Google Sheet\u2026",
                           "[Clipferry] Google Sheet updated."}
            << noError << 5 << 1;
        QTest::newRow("upload passes over what is on Mux")
            << QStringList{"upload", clipA, clipC} << "env" << QString() << 0
            << QStringList{"[Clipferry] Started upload batch with 1 videos."}
            << "already on Mux, passed over (--replace or --copies uploads it again): " + clipA << 4
            << 1;
        QTest::newRow("upload, sheet refused")
            << QStringList{"upload", clipC} << "env"
            << "/macros/s/stand-in/exec" << 3
            << QStringList{"[Clipferry] Google Sheet update failed: "} << noError << 4 << 0;
        // No address: the export is refused before signing in, or skipped after a batch.
        QTest::newRow("export-sheet, no address")
            << QStringList{"export-sheet"} << "env, no sheet" << QString() << 2 << noLines
            << "clipferry export-sheet: No Google Sheet web app address is set" << 3 << 0;
        QTest::newRow("upload, no sheet address")
            << QStringList{"upload", clipC} << "env, no sheet" << QString() << 0
            << QStringList{"[Clipferry] No Google Sheet web app address is set"} << noError << 4
            << 0;
        // No secret store, no sheet key configured: nothing is read, the export goes out.
        QTest::newRow("export-sheet, no secret store")
            << QStringList{"export-sheet"} << "env, no bus" << QString() << 0
            << QStringList{"[Clipferry] Updating Google Sheets...",
                           "[Clipferry] Google Sheets updated successfully"}
            << noError << 3 << 1;
        // The two go at once, so either may be the refused one; the other's asset stays.
        QTest::newRow("upload, the second refused")
            << QStringList{"upload", "--copies", clipA, clipC} << "env"
            << "/video/v1/uploads+" << 1
            << QStringList{"[Clipferry] Done \u2013 E", "[Clipferry] Google Sheet updated."}
            << noError << 4 << 1;
        QTest::newRow("upload on a terminal")
            << QStringList{"--terminal", "upload", clipC} << "env" << QString() << 0
            << QStringList{"\r\x1b[K[1/1] E2_Anthem_PAR_M03_c.mov \u2013 Uploading", " B of "}
            << noError << 4 << 1;
        QTest::newRow("sync --dry-run")
            << QStringList{"sync", clipsFolder, "--dry-run"} << "env" << QString() << 0
            << QStringList{"upload\t" + clipC, "keep\t" + clipB} << "[Clipferry] " << 3 << 0;
        QTest::newRow("sync") << QStringList{"sync", clipsFolder} << "env" << QString() << 0
                              << QStringList{"[Clipferry] Started upload batch with 1 videos.",
                                             "[Clipferry] Google Sheet updated."}
                              << "changed since its upload, left as it is" << 4 << 1;
        QTest::newRow("sync --replace-changed")
            << QStringList{"sync", "--replace-changed", clipsFolder} << "env" << QString() << 0
            << QStringList{"[Clipferry] Started upload batch with 2 videos.",
                           "[Clipferry] Deleting asset: E1_Opening_LON_M02_b.mp4",
                           "[Clipferry] Deleted asset.", "[Clipferry] Google Sheet updated."}
            << noError << 4 << 1;
        QTest::newRow("rate that is no rate")
            << QStringList{"sync", clipsFolder, "--limit-rate=5MB"} << "env" << QString() << 2
            << noLines << "--limit-rate wants a rate such as 5M, not \"5MB\"" << 3 << 0;
        // sync and watch share the check of their folder operand.
        QTest::newRow("sync of a file") << QStringList{"sync", clipA} << "env" << QString() << 2
                                        << noLines << "not a folder" << 3 << 0;
        QTest::newRow("watch, settle not a number")
            << QStringList{"watch", clipsFolder, "--settle", "soon"} << "env" << QString() << 2
            << noLines
            << "--settle needs a whole number of at least 1\nUsage: clipferry watch FOLDER "
               "[--recursive] [--replace-changed] [--settle SECONDS] [--limit-rate RATE]"
            << 3 << 0;
        QTest::newRow("upload of a missing file")
            << QStringList{"upload", clipA, clipsFolder + "/gone.mov"} << "env" << QString() << 2
            << noLines << "cannot read the file " + clipsFolder + "/gone.mov" << 3 << 0;
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
        if (credentials.startsWith(QLatin1String("keyring")) &&
            qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("needs a Secret Service session");
        // Each row starts from a fresh service, so no row inherits the ledger of the one
        // before: an entry left by a refused upload would be resumed by the next run.
        for (const auto& name : QDir(m_home.stateFolder()).entryList({"Deliveries.sqlite*"}))
            QVERIFY(QFile::remove(m_home.stateFolder() + u'/' + name));
        QVERIFY(m_service.reset());
        QVERIFY(m_service.setCredentials(m_tokenID, m_tokenSecret));
        QVERIFY(m_service.seedAssets(QJsonDocument::fromJson(R"([
            {"id": "on-mux", "status": "ready", "passthrough": "E1_Opening_PAR_M01_a.mov",
             "created_at": "4102444800", "playback_ids": [{"id": "pb-on-mux"}]},
            {"id": "old", "status": "ready", "passthrough": "E1_Opening_LON_M02_b.mp4",
             "created_at": "1000000000", "playback_ids": [{"id": "pb-old"}]}])")
                                         .array()));
        QVERIFY(m_service.seedAssets(
            {QJsonObject{{"id", "ctl"},
                         {"status", "ready"},
                         {"passthrough", "x\x1b[2J\ny.mov"},
                         {"created_at", "1000000000"},
                         {"playback_ids", QJsonArray{QJsonObject{{"id", "pb-ctl"}}}}}}));
        if (!faultPath.isEmpty())
            QVERIFY(m_service.addFault({.path = QString(faultPath).remove(u'+'),
                                        .skip = faultPath.endsWith(u'+'),
                                        .status = 500}));
        const auto stateBefore = stateFiles();

        const auto result = run(arguments, credentials);

        QCOMPARE(result.exitCode, exitCode);
        qsizetype at = 0;
        for (const auto& expected : stdoutLines) {
            at = result.out.indexOf(expected, at);
            QVERIFY2(at >= 0, qPrintable(expected + QStringLiteral(" not in:\n") + result.out));
        }
        QVERIFY2(result.err.contains(stderrText), qPrintable(result.err));
        // Log lines on stderr leave stdout to the data alone.
        if (stderrText.startsWith(QLatin1String("[Clipferry] ")))
            QVERIFY2(!result.out.contains("[Clipferry]"), qPrintable(result.out));
        QVERIFY2(!result.err.contains("\x1b[K"), "a progress line though stderr is no terminal");
        if (arguments.contains(QStringLiteral("--json"))) {
            const auto listed = QJsonDocument::fromJson(result.out.toUtf8()).array();
            QCOMPARE(listed.size(), 3);
            QCOMPARE(listed[1][QStringLiteral("passthrough")].toString(),
                     "E1_Opening_LON_M02_b.mp4");
            QVERIFY(listed[1][QStringLiteral("playback_url")].toString().endsWith("/pb-old.m3u8"));
        }
        QCOMPARE(m_service.assets().size(), assetsAfter);
        QCOMPARE(m_service.sheetPosts().size(), sheetPosts);
        // Once, and not at all when the export cannot go anywhere.
        if (arguments == QStringList{"export-sheet"})
            QCOMPARE(m_service.countRequests("GET", "/video/v1/assets*"), exitCode == 2 ? 0 : 1);
        // The credentials never show, neither as text nor as the Basic header's Base64.
        const auto output = result.out + result.err;
        const auto basic =
            QString::fromLatin1((m_tokenID + ':' + m_tokenSecret).toUtf8().toBase64());
        for (const auto& secret : {m_tokenID, m_tokenSecret, basic})
            QVERIFY2(!output.contains(secret), qPrintable(output));
        QCOMPARE(stateFiles(), stateBefore);
        QDirIterator cache(m_home.path(), {"MuxListing.json"}, QDir::Files,
                           QDirIterator::Subdirectories);
        QVERIFY2(!cache.hasNext(), "a run wrote the window's listing cache");
    }

    // A file another living Clipferry is sending is left to it: the run says so and ends
    // with 2, and sends nothing of it.
    void fileInFlightElsewhereIsLeftToIt() {
        QVERIFY(m_service.reset());
        QVERIFY(m_service.setCredentials(m_tokenID, m_tokenSecret));
        const QString clip = m_clips.folder() + QStringLiteral("/E2_Anthem_PAR_M03_c.mov");
        auto other = clipferry::DeliveryLedger::open(m_home.stateFolder() + "/Deliveries.sqlite");
        QVERIFY(other);
        clipferry::UploadRecord record;
        record.filePath = clip;
        const auto accepted = (*other)->accept({record});
        QVERIFY(accepted);

        const auto result = run({"upload", clip}, "env");

        QCOMPARE(result.exitCode, 2);
        QVERIFY2(result.err.contains("another Clipferry is uploading " + clip),
                 qPrintable(result.err));
        QCOMPARE(m_service.countRequests("POST", "/video/v1/uploads"), 0);
        QVERIFY((*other)->remove(accepted->first().ledgerID));
    }

    // `watch` stopped by SIGTERM in the middle of a transfer, then run again: the transfer
    // goes on (one upload created, one asset). Two watchers of one folder are
    // tst_folder_watch's case.
    void watchStopsAndResumes() {
        QVERIFY(m_service.reset());
        QVERIFY(m_service.setCredentials(m_tokenID, m_tokenSecret));
        const QString folder = m_home.path() + QStringLiteral("/watched");
        // Bigger than one chunk of the transfer, which stalls after its first.
        QVERIFY(writeRandomFile(folder + "/E3_Watch_PAR_M01_a.mov", 3 * 1024 * 1024));
        QVERIFY(m_service.addFault({.method = "PUT",
                                    .path = "/_upload/*",
                                    .times = 1,
                                    .hang = true,
                                    .dropAfterBytes = 1024 * 1024 + 5000}));
        auto environment = this->environment(QStringLiteral("env"));
        environment.insert(QStringLiteral("CLIPFERRY_TEST_WATCH_MS"),
                           QStringLiteral("300,50,100,3000"));
        const auto heldBytes = [this] {
            const auto uploads = m_service.uploads();
            return uploads.isEmpty() ? 0 : uploads[0][u"bytes_held"].toInteger();
        };
        QProcess cut;
        cut.setProcessEnvironment(environment);
        cut.start(QStringLiteral(CLIPFERRY_BINARY), {"watch", folder});
        QTRY_VERIFY_WITH_TIMEOUT(heldBytes() > 0, 60000);
        cut.terminate();
        QVERIFY(cut.waitForFinished(60000));
        QCOMPARE(cut.exitStatus(), QProcess::NormalExit);
        QVERIFY2(cut.exitCode() == 0, cut.readAllStandardError().right(3000).constData());
        QVERIFY(m_service.releaseHangingReplies());

        QProcess watch;
        watch.setProcessEnvironment(environment);
        watch.start(QStringLiteral(CLIPFERRY_BINARY), {"watch", folder, "--limit-rate", "100M"});
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT(
            (out += watch.readAllStandardOutput())
                .contains("delivered\t" + folder.toUtf8() + "/E3_Watch_PAR_M01_a.mov\t"),
            60000);
        QCOMPARE(m_service.countRequests("POST", "/video/v1/uploads"), 1);
        QCOMPARE(m_service.assets().size(), 1);
        watch.terminate();
        QVERIFY(watch.waitForFinished(60000));
    }

    // A test build stops before its first request to any host but loopback. 0.0.0.0 is not
    // loopback to the check yet reaches only this machine, so a build without it goes nowhere.
    void requestsStayOnLoopback() {
        for (const QString scheme : {"http", "https"}) {
            const auto result = run({QStringLiteral("list")}, QStringLiteral("env"), {},
                                    scheme + QStringLiteral("://0.0.0.0:1"));

            QCOMPARE(result.exitCode, -1);
            QVERIFY2(result.err.contains("A test build sends requests to loopback only; refused " +
                                         scheme + "://0.0.0.0:1/"),
                     qPrintable(result.err));
        }
    }

    // "Open with" while the window runs: the later launch hands its file, named relative to
    // its own folder, to the window and ends.
    void openWithGoesToTheRunningWindow() {
        QProcess window;
        window.setProcessEnvironment(environment({}));
        window.start(QStringLiteral(CLIPFERRY_BINARY), {});
        QVERIFY(window.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_home.stateFolder() + "/instance.lock"), 60000);

        const auto result = run({QStringLiteral("E1_Opening_PAR_M01_a.mov")}, {}, m_clips.folder());

        QCOMPARE(result.exitCode, 0);
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += window.readAllStandardOutput())
                                     .contains("[Clipferry] Started upload batch with 1 videos."),
                                 60000);
        window.kill();
        window.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_command_line.moc"
