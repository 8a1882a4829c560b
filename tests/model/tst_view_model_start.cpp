#include "StdoutCapture.h"
#include "TempHome.h"
#include "TestFiles.h"
#include "ViewModelFixture.h"
#include "model/CityInfo.h"
#include "model/SeenState.h"
#include "workflow/LibrarySync.h"
#include "workflow/UploadViewModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

using namespace clipferry;

namespace {

// Whether the view model's lines in `out` are `expected`, '*' standing for an error's
// description.
bool logIs(const QByteArray& out, const QStringList& expected) {
    QStringList lines;
    for (const auto& line : QString::fromUtf8(out).split(u'\n'))
        if (line.startsWith(QStringLiteral("[Clipferry] ")))
            lines.append(line.mid(12));
    const auto pattern = QRegularExpression::escape(expected.join(u'\n'))
                             .replace(QStringLiteral("\\*"), QStringLiteral(".+"));
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern))
        .match(lines.join(u'\n'))
        .hasMatch();
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

        QVERIFY2(logIs(out.text(), {"Saved city map.", "City map initialized with defaults."}),
                 out.text().constData());
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

        QVERIFY2(logIs(out.text(), {"Loaded city map from file."}), out.text().constData());
        QCOMPARE(fixture.viewModel->cityMap(),
                 (CityMap{{QStringLiteral("LON"), {QStringLiteral("LONDON"), "#112233", 7}}}));
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
            << QStringList{"Failed to load mux state: *. Kept it as MuxState.json.bak."} +
                   cityDefaults
            << true;
        const QStringList localLeft =
            QStringList{"Failed to load local video state: *. The file is left as it is."} +
            cityDefaults;
        QTest::newRow("local state unreadable")
            << "LocalVideoState.json" << QByteArray() << false << localLeft << false;
        QTest::newRow("local state, copy impossible")
            << "LocalVideoState.json" << QByteArray("[]") << true << localLeft << false;
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

        QVERIFY2(logIs(out.text(), lines), out.text().constData());
        QCOMPARE(QFileInfo(path).isDir(), content.isEmpty() && !replaced);
        if (!content.isEmpty())
            QCOMPARE(readFile(path) != content, replaced);
        if (!copyBlocked)
            QCOMPARE(readFile(backup), content.isEmpty() ? "older backup" : content);
    }

    // A command-line run beside the window reads the window's files and writes none of
    // them: no city map, no seen-state, no copy of a damaged file, no listing cache.
    void headlessWorkspaceWritesNoStateFile() {
        TempHome home;
        const QString damaged = home.stateFolder() + QStringLiteral("/MuxState.json");
        QVERIFY(writeFile(damaged, "{"));
        const QString cache = home.path() + QStringLiteral("/cache/MuxListing.json");
        StdoutCapture out;
        ViewModelFixture fixture({}, [&](Workspace::Options& options) {
            options.headless = true;
            options.listingCacheFile = cache;
        });
        fixture.workspace->library().setLastCompleteListing({ViewModelFixture::asset("a", "A")});
        fixture.viewModel->saveMuxState();
        fixture.viewModel->saveLocalVideoState();

        QVERIFY2(logIs(out.text(), {"Failed to load mux state: *. The file is left as it is."}),
                 out.text().constData());
        for (const char* name : {"CityMap.json", "MuxState.json.bak", "LocalVideoState.json"})
            QVERIFY2(!QFile::exists(home.stateFolder() + QLatin1Char('/') + QLatin1String(name)),
                     name);
        QCOMPARE(readFile(damaged), "{");
        QVERIFY(!QFile::exists(cache));
        QVERIFY(fixture.viewModel->cityMap().isEmpty());
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
        QVERIFY(QFile::remove(home.stateFolder() + QStringLiteral("/CityMap.json")));
        for (const char* name : {"CityMap.json", "MuxState.json", "LocalVideoState.json"})
            QVERIFY(QDir().mkpath(home.stateFolder() + QLatin1Char('/') + QLatin1String(name)));
        StdoutCapture out;
        viewModel->saveCityMap();
        viewModel->saveMuxState();
        viewModel->saveLocalVideoState();
        QVERIFY2(logIs(out.text(), {"Failed to save city map: *", "Failed to save mux state: *",
                                    "Failed to save local video state: *"}),
                 out.text().constData());
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
