#include "TempHome.h"
#include "model/CityInfo.h"
#include "model/SeenState.h"
#include "model/StateFolder.h"
#include "model/UploadItem.h"

#include <QFile>
#include <QTest>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace clipferry;

class TestStoredState : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Column "file": 'c' the city map, 'm' the mux state, 'l' the local video state;
    // "entries" is how many cities or times it holds, -1 when it does not decode.
    void storedFilesDecode_data() {
        QTest::addColumn<char>("file");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("entries");
        const auto row = [](const char* tag, char file, const char* json, int entries) {
            QTest::newRow(tag) << file << QByteArray(json) << entries;
        };
        row("city: empty object", 'c', "{}", 0);
        row("city: extra key ignored", 'c',
            R"({"PAR":{"name":"PARIS","color":"black","requiredPerAnimation":3,"x":1}})", 1);
        row("city: fifth city kept", 'c',
            R"({"ATL":{"name":"A","color":"red","requiredPerAnimation":1},)"
            R"("LON":{"name":"L","color":"blue","requiredPerAnimation":2}})",
            2);
        row("city: required missing", 'c', R"({"PAR":{"name":"PARIS","color":"black"}})", -1);
        row("city: required as text", 'c',
            R"({"PAR":{"name":"PARIS","color":"black","requiredPerAnimation":"3"}})", -1);
        row("city: not an object", 'c', R"({"PAR":3})", -1);
        row("city: one bad city spoils all", 'c',
            R"({"ATL":{"name":"A","color":"red","requiredPerAnimation":1},)"
            R"("PAR":{"name":"P","color":"blue"}})",
            -1);
        row("city: array", 'c', "[]", -1);
        row("city: not json", 'c', R"({"ATL":)", -1);
        row("mux: ok", 'm', R"({"lastLaunchedAt":1.5,"seenAssetTimes":{"a":2}})", 1);
        row("mux: without seen", 'm', R"({"lastLaunchedAt":1.5})", -1);
        row("mux: time as text", 'm', R"({"lastLaunchedAt":"1","seenAssetTimes":{}})", -1);
        row("mux: seen time as text", 'm', R"({"lastLaunchedAt":1,"seenAssetTimes":{"a":"2"}})",
            -1);
        row("mux: invalid json", 'm', "{", -1);
        row("local: ok", 'l',
            R"({"lastLaunchedAt":1,"fileTimes":{"/a.mov":{"modified":2.5,"size":3}}})", 1);
        row("local: without size", 'l',
            R"({"lastLaunchedAt":1,"fileTimes":{"/a.mov":{"modified":2.5}}})", -1);
        row("local: fractional size", 'l',
            R"({"lastLaunchedAt":1,"fileTimes":{"/a.mov":{"modified":2,"size":1.5}}})", -1);
        row("local: without fileTimes", 'l', R"({"lastLaunchedAt":1})", -1);
    }

    void storedFilesDecode() {
        QFETCH(char, file);
        QFETCH(QByteArray, json);
        QFETCH(int, entries);
        const auto size = [](const auto& hash) {
            return int(hash.size());
        };
        const Result<int> decoded =
            file == 'c' ? decodeCityMap(json).map(size)
            : file == 'm'
                ? decodeMuxState(json).map([&](const auto& s) { return size(s.seenAssetTimes); })
                : decodeLocalVideoState(json).map([&](const auto& s) { return size(s.fileTimes); });
        QCOMPARE(decoded ? *decoded : -1, entries);
        if (!decoded)
            QVERIFY(!decoded.error().message.isEmpty());
    }

    void cityMapRoundTripIsCompact() {
        const auto bytes = encodeCityMap(defaultCityMap());
        QVERIFY(!bytes.contains('\n'));
        QVERIFY(!bytes.contains(": "));
        QCOMPARE(decodeCityMap(bytes).value(), defaultCityMap());
    }

    // The local change detection compares stored modification times exactly.
    void timesReadBackBitForBit() {
        LocalVideoState state;
        const QList<double> times{0.1,          1.0 / 3.0, 1714564800.0,
                                  1714564800.5, 1e-300,    1.7976931348623157e308};
        for (int i = 0; i < times.size(); ++i)
            state.fileTimes.insert(QString::number(i), FileRecord{times[i], i});
        const auto decoded = decodeLocalVideoState(encodeLocalVideoState(state)).value();
        for (int i = 0; i < times.size(); ++i) {
            const double back = decoded.fileTimes.value(QString::number(i)).modified;
            QVERIFY2(std::memcmp(&back, &times[i], sizeof(double)) == 0,
                     qPrintable(QString::number(times[i], 'g', 17)));
        }
    }

    // The folder appears on first use, and it and its files are the user's alone (an older
    // folder open to others is closed). A write that fails half-way must leave the previous
    // content in place; a file size limit makes it fail even for root, who ignores
    // read-only folders.
    void atomicWriteReplacesWholeFileOrNothing() {
        TempHome home;
        QVERIFY(!QFile::exists(home.stateFolder()));
        const auto path = stateFileURL(QStringLiteral("x.json"));
        QCOMPARE(path, home.stateFolder() + QStringLiteral("/x.json"));
        // The owner's, group's and others' bits, as a number: 0700, 0600.
        const auto mode = [](const QString& file) {
            return int(QFile::permissions(file)) & 0x7077;
        };
        QCOMPARE(mode(home.stateFolder()), 0x7000);
        QVERIFY(QFile::setPermissions(home.stateFolder(), QFile::Permissions(0x7055)));
        (void)stateFileURL(QStringLiteral("x.json"));
        QCOMPARE(mode(home.stateFolder()), 0x7000);
        QVERIFY(writeFileAtomically(path, "first, and longer").has_value());
        QVERIFY(writeFileAtomically(path, "old content").has_value());
        QCOMPARE(readWholeFile(path).value(), QByteArray("old content"));
        QCOMPARE(mode(path), 0x6000);

        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit tight{16, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &tight);
        const auto result = writeFileAtomically(path, QByteArray(4096, 'x'));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(!result.has_value());
        QVERIFY(!result.error().message.isEmpty());
        QCOMPARE(readWholeFile(path).value(), QByteArray("old content"));
    }

    // The watch command tells the items of a batch apart by their ids.
    void newUploadItemsHaveDistinctIds() {
        const auto url = QUrl::fromLocalFile(QStringLiteral("/clips/a.mov"));
        QVERIFY(UploadItem::make(url).id != UploadItem::make(url).id);
    }
};

QTEST_GUILESS_MAIN(TestStoredState)
#include "tst_stored_state.moc"
