#include "TempHome.h"
#include "model/CityInfo.h"
#include "model/SeenState.h"
#include "model/StateFolder.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace clipferry;

class TestStoredState : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cityMapDecoding_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<int>("cities");
        QTest::newRow("empty object") << QByteArray("{}") << true << 0;
        QTest::newRow("extra key ignored")
            << QByteArray("{\"PAR\":{\"name\":\"PARIS\",\"color\":\"#000000\","
                          "\"requiredPerAnimation\":3,\"x\":1}}")
            << true << 1;
        QTest::newRow("fifth city kept")
            << QByteArray("{\"ATL\":{\"name\":\"A\",\"color\":\"#1\",\"requiredPerAnimation\":1},"
                          "\"LON\":{\"name\":\"L\",\"color\":\"#2\",\"requiredPerAnimation\":2}}")
            << true << 2;
        QTest::newRow("required missing")
            << QByteArray("{\"PAR\":{\"name\":\"PARIS\",\"color\":\"#000000\"}}") << false << 0;
        QTest::newRow("required as string")
            << QByteArray(
                   "{\"PAR\":{\"name\":\"PARIS\",\"color\":\"#0\",\"requiredPerAnimation\":\"3\"}}")
            << false << 0;
        QTest::newRow("required fractional")
            << QByteArray(
                   "{\"PAR\":{\"name\":\"PARIS\",\"color\":\"#0\",\"requiredPerAnimation\":10.5}}")
            << false << 0;
        QTest::newRow("name null")
            << QByteArray("{\"PAR\":{\"name\":null,\"color\":\"#0\",\"requiredPerAnimation\":1}}")
            << false << 0;
        QTest::newRow("city not an object") << QByteArray("{\"PAR\":3}") << false << 0;
        QTest::newRow("one bad city spoils all")
            << QByteArray("{\"ATL\":{\"name\":\"A\",\"color\":\"#1\",\"requiredPerAnimation\":1},"
                          "\"PAR\":{\"name\":\"P\",\"color\":\"#2\"}}")
            << false << 0;
        QTest::newRow("array") << QByteArray("[]") << false << 0;
        QTest::newRow("not json") << QByteArray("{\"ATL\":") << false << 0;
    }

    void cityMapDecoding() {
        QFETCH(QByteArray, json);
        QFETCH(bool, readable);
        QFETCH(int, cities);
        const auto map = decodeCityMap(json);
        QCOMPARE(map.has_value(), readable);
        if (readable)
            QCOMPARE(map->size(), cities);
        else
            QVERIFY(!map.error().message.isEmpty());
    }

    void cityMapRoundTripIsCompact() {
        const auto bytes = encodeCityMap(defaultCityMap());
        QVERIFY(!bytes.contains('\n'));
        QVERIFY(!bytes.contains(": "));
        QCOMPARE(decodeCityMap(bytes).value(), defaultCityMap());
        QCOMPARE(defaultCityMap().size(), 4);
        QCOMPARE(defaultCityMap().value(QStringLiteral("NYNJ")),
                 (CityInfo{QStringLiteral("NEW YORK"), QStringLiteral("#003A70"), 10}));
    }

    void seenStateDecoding_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("isMux");
        QTest::addColumn<bool>("readable");
        QTest::newRow("mux ok") << QByteArray(
                                       "{\"lastLaunchedAt\":1.5,\"seenAssetTimes\":{\"a\":2}}")
                                << true << true;
        QTest::newRow("mux extra key")
            << QByteArray("{\"lastLaunchedAt\":1,\"seenAssetTimes\":{},\"v\":2}") << true << true;
        QTest::newRow("mux without seen")
            << QByteArray("{\"lastLaunchedAt\":1.5}") << true << false;
        QTest::newRow("mux time as text")
            << QByteArray("{\"lastLaunchedAt\":\"1\",\"seenAssetTimes\":{}}") << true << false;
        QTest::newRow("mux seen time as text")
            << QByteArray("{\"lastLaunchedAt\":1,\"seenAssetTimes\":{\"a\":\"2\"}}") << true
            << false;
        QTest::newRow("mux invalid json") << QByteArray("{") << true << false;
        QTest::newRow("local ok") << QByteArray("{\"lastLaunchedAt\":1,\"fileTimes\":{\"/"
                                                "a.mov\":{\"modified\":2.5,\"size\":3}}}")
                                  << false << true;
        QTest::newRow("local without size")
            << QByteArray("{\"lastLaunchedAt\":1,\"fileTimes\":{\"/a.mov\":{\"modified\":2.5}}}")
            << false << false;
        QTest::newRow("local fractional size")
            << QByteArray("{\"lastLaunchedAt\":1,\"fileTimes\":{\"/"
                          "a.mov\":{\"modified\":2,\"size\":1.5}}}")
            << false << false;
        QTest::newRow("local without fileTimes")
            << QByteArray("{\"lastLaunchedAt\":1}") << false << false;
    }

    void seenStateDecoding() {
        QFETCH(QByteArray, json);
        QFETCH(bool, isMux);
        QFETCH(bool, readable);
        const bool decoded =
            isMux ? decodeMuxState(json).has_value() : decodeLocalVideoState(json).has_value();
        QCOMPARE(decoded, readable);
    }

    // The local change detection compares stored modification times exactly.
    void timesReadBackBitForBit() {
        auto* random = QRandomGenerator::global();
        LocalVideoState state;
        QList<double> times{0.1,          1.0 / 3.0, 1714564800.0,
                            1714564800.5, 1e-300,    1.7976931348623157e308};
        for (int i = 0; i < 200; ++i)
            times.append(1.6e9 + random->generateDouble() * 1e8);
        for (int i = 0; i < times.size(); ++i)
            state.fileTimes.insert(QString::number(i), FileRecord{times[i], i});
        const auto decoded = decodeLocalVideoState(encodeLocalVideoState(state)).value();
        for (int i = 0; i < times.size(); ++i) {
            const double back = decoded.fileTimes.value(QString::number(i)).modified;
            QVERIFY2(std::memcmp(&back, &times[i], sizeof(double)) == 0,
                     qPrintable(QString::number(times[i], 'g', 17)));
        }
    }

    // The folder appears on first use. A write that fails half-way must leave the previous
    // content in place; a file size limit makes it fail even for root, who ignores
    // read-only folders.
    void atomicWriteReplacesWholeFileOrNothing() {
        TempHome home;
        QVERIFY(!QFile::exists(home.stateFolder()));
        const auto path = stateFileURL(QStringLiteral("x.json"));
        QCOMPARE(path, home.stateFolder() + QStringLiteral("/x.json"));
        QVERIFY(QFile::exists(home.stateFolder()));
        QVERIFY(writeFileAtomically(path, "first, and longer").has_value());
        QVERIFY(writeFileAtomically(path, "old content").has_value());
        QCOMPARE(readWholeFile(path).value(), QByteArray("old content"));

        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = saved;
        tight.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &tight);
        const auto result = writeFileAtomically(path, QByteArray(4096, 'x'));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(!result.has_value());
        QVERIFY(!result.error().message.isEmpty());
        QCOMPARE(readWholeFile(path).value(), QByteArray("old content"));
    }
};

QTEST_GUILESS_MAIN(TestStoredState)
#include "tst_stored_state.moc"
