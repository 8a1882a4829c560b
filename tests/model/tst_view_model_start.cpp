#include "StdoutCapture.h"
#include "TempHome.h"
#include "TestFiles.h"
#include "ViewModelFixture.h"
#include "model/CityInfo.h"
#include "model/SeenState.h"
#include "workflow/UploadViewModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace clipferry;

namespace {

QList<QByteArray> logLines(const QByteArray& out) {
    QList<QByteArray> lines;
    for (const auto& line : out.split('\n')) {
        if (line.startsWith("[Clipferry] "))
            lines.append(line.mid(12));
    }
    return lines;
}

} // namespace

// Start-up of the view model against real files in a temporary home. The credential
// store uses a service name of its own so these tests never see stored tokens.
class TestViewModelStart : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void firstStartInstallsDefaultsAndWritesNoSeenState() {
        TempHome home;
        StdoutCapture out;
        const double before = currentTimeSeconds();
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;

        QCOMPARE(logLines(out.text()),
                 (QList<QByteArray>{"Saved city map.", "City map initialized with defaults."}));
        QCOMPARE(viewModel->cityMap(), defaultCityMap());
        // Byte for byte what the encoder makes, whose compact form has its own test.
        QCOMPARE(readFile(home.stateFolder() + QStringLiteral("/CityMap.json")),
                 encodeCityMap(defaultCityMap()));

        QVERIFY(!QFile::exists(home.stateFolder() + QStringLiteral("/MuxState.json")));
        QVERIFY(!QFile::exists(home.stateFolder() + QStringLiteral("/LocalVideoState.json")));
        QVERIFY(viewModel->savedMuxState()->seenAssetTimes.isEmpty());
        QVERIFY(viewModel->savedMuxState()->lastLaunchedAt >= before);
        QVERIFY(viewModel->savedLocalState()->fileTimes.isEmpty());
        QVERIFY(viewModel->savedLocalState()->lastLaunchedAt >= before);
        QCOMPARE(viewModel->provider(), VideoProvider::webMux);
        QVERIFY(!viewModel->isRefreshing());
    }

    void customCityMapIsLoadedAndLeftAsItWas() {
        TempHome home;
        const auto path = home.stateFolder() + QStringLiteral("/CityMap.json");
        const QByteArray custom = "{\n  \"LON\": {\"name\": \"LONDON\", \"color\": \"#112233\","
                                  " \"requiredPerAnimation\": 7}\n}\n";
        QVERIFY(writeFile(path, custom));
        StdoutCapture out;
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;

        QCOMPARE(logLines(out.text()), QList<QByteArray>{"Loaded city map from file."});
        QCOMPARE(viewModel->cityMap().size(), 1);
        QCOMPARE(viewModel->cityMap().value(QStringLiteral("LON")).requiredPerAnimation, 7);
        QCOMPARE(readFile(path), custom);
    }

    // A stored file that cannot be used is never lost: one that does not decode is copied
    // aside before anything replaces it; one that cannot be read or copied is left alone.
    void unusableFilesAreKept_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("content"); // empty: a folder, which cannot be read
        QTest::addColumn<bool>("copyBlocked");
        QTest::addColumn<QStringList>("lines"); // '*' stands for the error's description
        QTest::addColumn<bool>("replaced");
        const QStringList cityDefaults{"Saved city map.", "City map initialized with defaults."};
        const QString failedCity = "Failed to load city map: *. Using defaults.";
        QTest::newRow("city map damaged")
            << "CityMap.json" << QByteArray("{\"PAR\":{\"name\":\"P\",\"color\":\"#0\"}}") << false
            << QStringList{failedCity, "Kept the unreadable city map as CityMap.json.bak."} +
                   cityDefaults
            << true;
        QTest::newRow("city map unreadable")
            << "CityMap.json" << QByteArray() << false << QStringList{failedCity} << false;
        QTest::newRow("city map, copy impossible")
            << "CityMap.json" << QByteArray("{") << true
            << QStringList{failedCity, "Could not keep the damaged city map aside: *"} << false;
        QTest::newRow("mux state damaged")
            << "MuxState.json" << QByteArray("{\"lastLaunchedAt\":12}") << false
            << cityDefaults + QStringList{"Failed to load mux state: *. Kept it as "
                                          "MuxState.json.bak."}
            << true;
        QTest::newRow("local state unreadable")
            << "LocalVideoState.json" << QByteArray() << false
            << cityDefaults +
                   QStringList{"Failed to load local video state: *. The file is left as it is."}
            << false;
        QTest::newRow("local state, copy impossible")
            << "LocalVideoState.json" << QByteArray("[]") << true
            << cityDefaults +
                   QStringList{"Failed to load local video state: *. The file is left as it is."}
            << false;
    }

    void unusableFilesAreKept() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, content);
        QFETCH(bool, copyBlocked);
        QFETCH(QStringList, lines);
        QFETCH(bool, replaced);
        TempHome home;
        const QString path = home.stateFolder() + QLatin1Char('/') + fileName;
        const QString backup = path + QStringLiteral(".bak");
        if (content.isEmpty())
            QVERIFY(QDir().mkpath(path));
        else
            QVERIFY(writeFile(path, content));
        if (copyBlocked)
            QVERIFY(QDir().mkpath(backup));
        else
            QVERIFY(writeFile(backup, "older backup"));
        StdoutCapture out;
        ViewModelFixture fixture;
        fixture.viewModel->saveMuxState();
        fixture.viewModel->saveLocalVideoState();

        const auto logged = logLines(out.text());
        QCOMPARE(logged.size(), lines.size());
        for (int i = 0; i < lines.size(); ++i) {
            const auto parts = lines[i].toUtf8().split('*');
            QVERIFY2(parts.size() == 1 ? logged[i] == parts.first()
                                       : logged[i].startsWith(parts.first()) &&
                                             logged[i].endsWith(parts.last()) &&
                                             logged[i].size() > lines[i].size(),
                     logged[i].constData());
        }
        QCOMPARE(QFileInfo(path).isDir(), content.isEmpty() && !replaced);
        if (!content.isEmpty())
            QCOMPARE(readFile(path) != content, replaced);
        if (!copyBlocked)
            QCOMPARE(readFile(backup), content.isEmpty() ? "older backup" : content);
    }

    // A failed save is logged and keeps what is in memory; that the file on disk stays
    // whole is the atomic writer's own test.
    void saveFailuresAreLoggedAndMemoryKept() {
        TempHome home;
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;
        auto edited = viewModel->cityMap();
        edited[QStringLiteral("ATL")].requiredPerAnimation = 3;
        viewModel->setCityMap(edited);
        // A folder where a file should be makes the atomic replace fail.
        QVERIFY(QFile::remove(viewModel->cityMapFileURL()));
        for (const char* name : {"CityMap.json", "MuxState.json", "LocalVideoState.json"})
            QVERIFY(QDir().mkpath(home.stateFolder() + QLatin1Char('/') + QLatin1String(name)));
        StdoutCapture out;
        viewModel->saveCityMap();
        viewModel->saveMuxState();
        viewModel->saveLocalVideoState();
        const auto lines = logLines(out.text());
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith("Failed to save city map: ") && lines[0].size() > 25);
        QVERIFY(lines[1].startsWith("Failed to save mux state: "));
        QVERIFY(lines[2].startsWith("Failed to save local video state: "));
        QCOMPARE(viewModel->cityMap(), edited);
    }

    void logGoesToStdoutAtOnceAndToTheListAfterTheStep() {
        TempHome home;
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;
        QTRY_COMPARE(viewModel->log().size(), 2);
        StdoutCapture out;
        viewModel->appendLog(QStringLiteral("first – ünïcode…"));
        viewModel->appendLog(QString());
        viewModel->appendLog(QStringLiteral("third"));
        QCOMPARE(out.text(), QByteArray("[Clipferry] first – ünïcode…\n[Clipferry] \n"
                                        "[Clipferry] third\n"));
        QCOMPARE(viewModel->log().size(), 2); // posted, not yet appended
        QTRY_COMPARE(viewModel->log().size(), 5);
        QCOMPARE(viewModel->log()[2].message, QStringLiteral("first – ünïcode…"));
        QCOMPARE(viewModel->log()[3].message, QString());
        QCOMPARE(viewModel->log()[4].message, QStringLiteral("third"));
        QVERIFY(viewModel->log()[2].id != viewModel->log()[4].id);
    }
};

QTEST_GUILESS_MAIN(TestViewModelStart)
#include "tst_view_model_start.moc"
