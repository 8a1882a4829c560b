#include "CityInfo.h"
#include "SeenState.h"
#include "StdoutCapture.h"
#include "TempHome.h"
#include "TestFiles.h"
#include "UploadViewModel.h"
#include "ViewModelFixture.h"

#include <QDir>
#include <QFile>
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
        const auto onDisk = readFile(home.stateFolder() + QStringLiteral("/CityMap.json"));
        QCOMPARE(onDisk, encodeCityMap(defaultCityMap()));
        QVERIFY(!onDisk.contains('\n'));

        QVERIFY(!QFile::exists(home.stateFolder() + QStringLiteral("/MuxState.json")));
        QVERIFY(!QFile::exists(home.stateFolder() + QStringLiteral("/LocalVideoState.json")));
        QVERIFY(viewModel->savedMuxState()->seenAssetTimes.isEmpty());
        QVERIFY(viewModel->savedMuxState()->lastLaunchedAt >= before);
        QVERIFY(viewModel->savedLocalState()->fileTimes.isEmpty());
        QVERIFY(viewModel->savedLocalState()->lastLaunchedAt >= before);
        QVERIFY(viewModel->uploads().isEmpty());
        QCOMPARE(viewModel->provider(), VideoProvider::webMux);
        QVERIFY(!viewModel->isRefreshing());
    }

    void damagedCityMapIsKeptAsideAndReplaced() {
        TempHome home;
        const auto path = home.stateFolder() + QStringLiteral("/CityMap.json");
        QVERIFY(writeFile(path, "{\"PAR\":{\"name\":\"PARIS\",\"color\":\"#000000\"}}"));
        QVERIFY(writeFile(path + QStringLiteral(".bak"), "older backup"));
        StdoutCapture out;
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;

        const auto lines = logLines(out.text());
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[0].startsWith("Failed to load city map: "));
        QVERIFY(lines[0].contains("requiredPerAnimation"));
        QVERIFY(lines[0].endsWith(". Using defaults."));
        QCOMPARE(lines[1], QByteArray("Kept the unreadable city map as CityMap.json.bak."));
        QCOMPARE(lines[2], QByteArray("Saved city map."));
        QCOMPARE(lines[3], QByteArray("City map initialized with defaults."));
        QCOMPARE(readFile(path + QStringLiteral(".bak")),
                 QByteArray("{\"PAR\":{\"name\":\"PARIS\",\"color\":\"#000000\"}}"));
        QCOMPARE(readFile(path), encodeCityMap(defaultCityMap()));
        QCOMPARE(viewModel->cityMap(), defaultCityMap());
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

    void unreadableSeenStateStartsFreshSilently() {
        TempHome home;
        const auto muxPath = home.stateFolder() + QStringLiteral("/MuxState.json");
        const auto localPath = home.stateFolder() + QStringLiteral("/LocalVideoState.json");
        QVERIFY(writeFile(muxPath, "{\"lastLaunchedAt\":12}"));
        QVERIFY(writeFile(
            localPath,
            "{\"lastLaunchedAt\":5,\"fileTimes\":{\"/a.mov\":{\"modified\":1,\"size\":2}}}"));
        StdoutCapture out;
        const double before = currentTimeSeconds();
        ViewModelFixture fixture;
        auto& viewModel = fixture.viewModel;

        QCOMPARE(logLines(out.text()).size(), 2); // only the city map's lines
        QVERIFY(viewModel->savedMuxState()->lastLaunchedAt >= before);
        QCOMPARE(readFile(muxPath), QByteArray("{\"lastLaunchedAt\":12}"));
        QCOMPARE(viewModel->savedLocalState()->lastLaunchedAt, 5.0);
        QCOMPARE(viewModel->savedLocalState()->fileTimes.value(QStringLiteral("/a.mov")),
                 (FileRecord{1.0, 2}));
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
