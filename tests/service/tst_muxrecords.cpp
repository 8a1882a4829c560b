#include "ResultText.h"
#include "service/MuxRecords.h"

#include <QTest>

using namespace clipferry;

class TestMuxRecords : public QObject {
    Q_OBJECT

private slots:
    void uploadStatus_data();
    void uploadStatus();
    void failuresNameTheMember_data();
    void failuresNameTheMember();
    void assetMembers();
    void resolutionText_data();
    void resolutionText();
    void durationText_data();
    void durationText();
};

void TestMuxRecords::uploadStatus_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<std::optional<QString>>("assetID");
    QTest::addColumn<QString>("status");

    const std::optional<QString> none;
    QTest::newRow("asset id") << QByteArray(
                                     R"({"data":{"asset_id":"a1","status":"asset_created"}})")
                              << std::optional<QString>("a1") << "asset_created";
    QTest::newRow("null asset id") << QByteArray(R"({"data":{"asset_id":null}})") << none << "";
    QTest::newRow("absent asset id")
        << QByteArray(R"({"data":{"status":"waiting","extra":[1,2]}})") << none << "waiting";
    QTest::newRow("status of another type is ignored")
        << QByteArray(R"({"data":{"status":7}})") << none << "";
}

void TestMuxRecords::uploadStatus() {
    QFETCH(QByteArray, json);
    QFETCH(std::optional<QString>, assetID);
    QFETCH(QString, status);

    const auto decoded = decodeUploadStatusResponse(json);
    QVERIFY2(decoded, errorText(decoded).constData());
    QCOMPARE(decoded->data.asset_id, assetID);
    QCOMPARE(decoded->data.status.value_or(QString()), status);
}

// Column "reply": 'u' upload, 's' upload status, 'a' asset, 'l' list page.
void TestMuxRecords::failuresNameTheMember_data() {
    QTest::addColumn<char>("reply");
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("member");
    const auto row = [](const char* tag, char reply, const char* json, const char* member) {
        QTest::newRow(tag) << reply << QByteArray(json) << QString::fromLatin1(member);
    };
    row("upload: data null", 'u', R"({"data":null})", "data");
    row("upload: no url", 'u', R"({"data":{"id":"u"}})", "data.url");
    row("upload: no id", 'u', R"({"data":{"url":"x"}})", "data.id");
    row("status: no data", 's', R"({"asset_id":"a"})", "data");
    row("asset: no status", 'a', R"({"data":{"playback_ids":[]}})", "data.status");
    row("asset: playback without id", 'a', R"({"data":{"status":"ready","playback_ids":[{}]}})",
        "data.playback_ids[0].id");
    row("asset without status", 'l', R"({"data":[{"id":"a","status":"ready"},{"id":"b"}]})",
        "data[1].status");
    row("created_at as a number", 'l',
        R"({"data":[{"id":"a","status":"ready","created_at":1714564800}]})", "data[0].created_at");
    row("updated_at as a number", 'l',
        R"({"data":[{"id":"a","status":"ready","updated_at":1714564800}]})", "data[0].updated_at");
    row("track width not whole", 'l',
        R"({"data":[{"id":"a","status":"ready","tracks":[{"type":"video","max_width":1.5}]}]})",
        "data[0].tracks[0].max_width");
    row("track without type", 'l', R"({"data":[{"id":"a","status":"ready","tracks":[{}]}]})",
        "data[0].tracks[0].type");
    row("data not a list", 'l', R"({"data":{}})", "data");
    row("refused request", 'l', R"({"error":{"type":"unauthorized"}})", "data");
    row("next not text", 'l', R"({"data":[],"links":{"next":3}})", "links.next");
}

void TestMuxRecords::failuresNameTheMember() {
    QFETCH(char, reply);
    QFETCH(QByteArray, json);
    QFETCH(QString, member);

    const auto errorOf = [](const auto& result) {
        return result ? std::nullopt : std::optional<Error>(result.error());
    };
    const auto error = reply == 'u'   ? errorOf(decodeUploadResponse(json))
                       : reply == 's' ? errorOf(decodeUploadStatusResponse(json))
                       : reply == 'a' ? errorOf(decodeAssetResponse(json))
                                      : errorOf(decodeMuxAssetListResponse(json));
    QVERIFY(error);
    QCOMPARE(error->domain, QStringLiteral("JSON"));
    QVERIFY2(error->message.contains(QLatin1Char('"') + member + QLatin1Char('"')),
             qPrintable(error->message));
}

void TestMuxRecords::assetMembers() {
    const auto page = decodeMuxAssetListResponse(R"({"data":[{
        "id":"a1","status":"ready","passthrough":"E1_Open_PAR_M01_x.mov",
        "created_at":"2024-05-01T12:00:00Z","updated_at":"2024-05-02T12:00:00Z",
        "duration":12.5,"aspect_ratio":"16:9","max_stored_resolution":"HD",
        "max_stored_frame_rate":29.97,"playback_ids":[{"id":"p1"}],
        "tracks":[{"type":"video","max_width":1920,"max_height":1080,"max_frame_rate":29.97,
                   "duration":12.5},{"type":"audio"}],
        "unknown":{"nested":true}}]})");
    QVERIFY2(page, errorText(page).constData());
    QCOMPARE(page->data.size(), 1);
    const MuxAsset& asset = page->data.first();
    QCOMPARE(asset.id, QStringLiteral("a1"));
    QCOMPARE(asset.passthrough, QStringLiteral("E1_Open_PAR_M01_x.mov"));
    QCOMPARE(asset.createdAt, QStringLiteral("2024-05-01T12:00:00Z"));
    QCOMPARE(asset.updatedAt, QStringLiteral("2024-05-02T12:00:00Z"));
    QCOMPARE(asset.duration, 12.5);
    QCOMPARE(asset.aspect_ratio, QStringLiteral("16:9"));
    QCOMPARE(asset.max_stored_frame_rate, 29.97);
    QCOMPARE(asset.firstPlaybackID(), QStringLiteral("p1"));
    QCOMPARE(asset.tracks->size(), 2);
    QCOMPARE(asset.tracks->at(0).max_width, 1920);
    QVERIFY(!asset.tracks->at(1).max_width);
}

void TestMuxRecords::resolutionText_data() {
    QTest::addColumn<QByteArray>("asset");
    QTest::addColumn<QString>("text");

    QTest::newRow("audio then video")
        << QByteArray(
               R"("tracks":[{"type":"audio"},{"type":"video","max_width":1280,"max_height":720}])")
        << QStringLiteral("1280×720");
    QTest::newRow("only audio, stored resolution")
        << QByteArray(R"("tracks":[{"type":"audio"}],"max_stored_resolution":"HD")") << "HD";
    QTest::newRow("neither") << QByteArray(R"("tracks":[{"type":"audio"}])") << "Unknown";
    QTest::newRow("no tracks") << QByteArray(R"("max_stored_resolution":"SD")") << "SD";
    QTest::newRow("first video lacks height, later one complete")
        << QByteArray(
               R"("tracks":[{"type":"video","max_width":640},{"type":"video","max_width":1920,"max_height":1080}],"max_stored_resolution":"UHD")")
        << "UHD";
    QTest::newRow("type differs in case")
        << QByteArray(R"("tracks":[{"type":"Video","max_width":640,"max_height":360}])")
        << "Unknown";
    QTest::newRow("huge dimensions")
        << QByteArray(R"("tracks":[{"type":"video","max_width":9007199254740993,"max_height":-1}])")
        << QStringLiteral("9007199254740993×-1");
}

void TestMuxRecords::resolutionText() {
    QFETCH(QByteArray, asset);
    QFETCH(QString, text);

    const auto page =
        decodeMuxAssetListResponse(R"({"data":[{"id":"a","status":"ready",)" + asset + "}]}");
    QVERIFY2(page, errorText(page).constData());
    QCOMPARE(page->data.first().resolutionText(), text);
}

// Truncation, no hours and the values past counting share their arithmetic with the
// local clips' texts, whose rows cover them; these rows are the asset's own cases, and
// not a number, which the local texts turn away before the shared arithmetic.
void TestMuxRecords::durationText_data() {
    QTest::addColumn<std::optional<double>>("duration");
    QTest::addColumn<QString>("text");

    QTest::newRow("absent") << std::optional<double>() << "Unknown";
    QTest::newRow("125.9") << std::optional<double>(125.9) << "2:05";
    QTest::newRow("negative, truncated toward zero") << std::optional<double>(-125.9) << "-2:-5";
    QTest::newRow("nan") << std::optional<double>(std::numeric_limits<double>::quiet_NaN())
                         << "Unknown";
    QTest::newRow("huge but countable") << std::optional<double>(9.0e18) << "150000000000000000:00";
}

void TestMuxRecords::durationText() {
    QFETCH(std::optional<double>, duration);
    QFETCH(QString, text);

    MuxAsset asset;
    asset.duration = duration;
    QCOMPARE(asset.durationText(), text);
}

QTEST_GUILESS_MAIN(TestMuxRecords)
#include "tst_muxrecords.moc"
