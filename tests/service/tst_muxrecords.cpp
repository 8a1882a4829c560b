#include "MuxRecords.h"
#include "ResultText.h"

#include <QTest>

using namespace clipferry;

class TestMuxRecords : public QObject {
    Q_OBJECT

private slots:
    void uploadStatus_data();
    void uploadStatus();
    void uploadResponseRequiresIdAndUrl_data();
    void uploadResponseRequiresIdAndUrl();
    void assetResponse();
    void assetErrorsNeverFailTheDecode();
    void listPageFailsAsAWhole_data();
    void listPageFailsAsAWhole();
    void assetMembers();
    void resolutionText_data();
    void resolutionText();
    void durationText_data();
    void durationText();
};

void TestMuxRecords::uploadStatus_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("hasAssetID");
    QTest::addColumn<QString>("assetID");
    QTest::addColumn<QString>("status");

    QTest::newRow("asset id") << QByteArray(
                                     R"({"data":{"asset_id":"a1","status":"asset_created"}})")
                              << true << "a1"
                              << "asset_created";
    QTest::newRow("null asset id") << QByteArray(R"({"data":{"asset_id":null}})") << false << ""
                                   << "";
    QTest::newRow("absent asset id")
        << QByteArray(R"({"data":{"status":"waiting","extra":[1,2]}})") << false << ""
        << "waiting";
    QTest::newRow("empty asset id") << QByteArray(R"({"data":{"asset_id":""}})") << true << ""
                                    << "";
    QTest::newRow("status of another type is ignored")
        << QByteArray(R"({"data":{"status":7}})") << false << ""
        << "";
}

void TestMuxRecords::uploadStatus() {
    QFETCH(QByteArray, json);
    QFETCH(bool, hasAssetID);
    QFETCH(QString, assetID);
    QFETCH(QString, status);

    const auto decoded = decodeUploadStatusResponse(json);
    QVERIFY2(decoded, errorText(decoded).constData());
    QCOMPARE(decoded->data.asset_id.has_value(), hasAssetID);
    if (hasAssetID)
        QCOMPARE(*decoded->data.asset_id, assetID);
    QCOMPARE(decoded->data.status.value_or(QString()), status);
}

void TestMuxRecords::uploadResponseRequiresIdAndUrl_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("member");

    QTest::newRow("no data") << QByteArray(R"({"id":"u"})") << "data";
    QTest::newRow("data null") << QByteArray(R"({"data":null})") << "data";
    QTest::newRow("data not an object") << QByteArray(R"({"data":[]})") << "data";
    QTest::newRow("no url") << QByteArray(R"({"data":{"id":"u"}})") << "data.url";
    QTest::newRow("id a number") << QByteArray(R"({"data":{"id":5,"url":"http://x"}})")
                                 << "data.id";
    QTest::newRow("not json") << QByteArray("{\"data\":") << "";
    QTest::newRow("not an object") << QByteArray("[1]") << "";
}

void TestMuxRecords::uploadResponseRequiresIdAndUrl() {
    QFETCH(QByteArray, json);
    QFETCH(QString, member);

    const auto decoded = decodeUploadResponse(json);
    QVERIFY(!decoded);
    QCOMPARE(decoded.error().domain, QStringLiteral("JSON"));
    if (!member.isEmpty())
        QVERIFY2(decoded.error().message.contains(QLatin1Char('"') + member + QLatin1Char('"')),
                 qPrintable(decoded.error().message));
}

void TestMuxRecords::assetResponse() {
    const auto empty = decodeAssetResponse(R"({"data":{"status":"ready","playback_ids":[]}})");
    QVERIFY(empty);
    QVERIFY(empty->data.playback_ids.has_value());
    QVERIFY(empty->data.playback_ids->isEmpty());

    const auto absent = decodeAssetResponse(R"({"data":{"status":"preparing"}})");
    QVERIFY(absent);
    QVERIFY(!absent->data.playback_ids.has_value());

    const auto two = decodeAssetResponse(
        R"({"data":{"status":"ready","playback_ids":[{"id":"p1","policy":"public"},{"id":"p2"}]}})");
    QVERIFY(two);
    QCOMPARE(two->data.playback_ids->size(), 2);
    QCOMPARE(two->data.playback_ids->at(0).id, QStringLiteral("p1"));

    const auto noStatus = decodeAssetResponse(R"({"data":{"playback_ids":[]}})");
    QVERIFY(!noStatus);
    QVERIFY(noStatus.error().message.contains(QStringLiteral("\"data.status\"")));

    const auto badPlayback =
        decodeAssetResponse(R"({"data":{"status":"ready","playback_ids":[{}]}})");
    QVERIFY(!badPlayback);
    QVERIFY2(badPlayback.error().message.contains(QStringLiteral("\"data.playback_ids[0].id\"")),
             qPrintable(badPlayback.error().message));
}

void TestMuxRecords::assetErrorsNeverFailTheDecode() {
    const auto errored = decodeAssetResponse(
        R"({"data":{"status":"errored","errors":{"type":"invalid_input","messages":["bad codec","no video"]}}})");
    QVERIFY(errored);
    QCOMPARE(errored->data.errorMessages, QStringList({"bad codec", "no video"}));

    const auto odd = decodeAssetResponse(R"({"data":{"status":"errored","errors":"broken"}})");
    QVERIFY(odd);
    QVERIFY(odd->data.errorMessages.isEmpty());
}

void TestMuxRecords::listPageFailsAsAWhole_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("member");

    QTest::newRow("asset without status")
        << QByteArray(R"({"data":[{"id":"a","status":"ready"},{"id":"b"}]})") << "data[1].status";
    QTest::newRow("created_at as a number")
        << QByteArray(R"({"data":[{"id":"a","status":"ready","created_at":1714564800}]})")
        << "data[0].created_at";
    QTest::newRow("updated_at as a number")
        << QByteArray(R"({"data":[{"id":"a","status":"ready","updated_at":1714564800}]})")
        << "data[0].updated_at";
    QTest::newRow("track width not whole")
        << QByteArray(
               R"({"data":[{"id":"a","status":"ready","tracks":[{"type":"video","max_width":1.5}]}]})")
        << "data[0].tracks[0].max_width";
    QTest::newRow("track without type")
        << QByteArray(R"({"data":[{"id":"a","status":"ready","tracks":[{}]}]})")
        << "data[0].tracks[0].type";
    QTest::newRow("data not a list") << QByteArray(R"({"data":{}})") << "data";
    QTest::newRow("refused request")
        << QByteArray(R"({"error":{"type":"unauthorized"}})") << "data";
    QTest::newRow("next not text")
        << QByteArray(R"({"data":[],"links":{"next":3}})") << "links.next";
}

void TestMuxRecords::listPageFailsAsAWhole() {
    QFETCH(QByteArray, json);
    QFETCH(QString, member);

    const auto page = decodeMuxAssetListResponse(json);
    QVERIFY(!page);
    QVERIFY2(page.error().message.contains(QLatin1Char('"') + member + QLatin1Char('"')),
             qPrintable(page.error().message));
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

void TestMuxRecords::durationText_data() {
    QTest::addColumn<std::optional<double>>("duration");
    QTest::addColumn<QString>("text");

    QTest::newRow("absent") << std::optional<double>() << "Unknown";
    QTest::newRow("125.9") << std::optional<double>(125.9) << "2:05";
    QTest::newRow("59.99") << std::optional<double>(59.99) << "0:59";
    QTest::newRow("3600") << std::optional<double>(3600) << "60:00";
    QTest::newRow("0.4") << std::optional<double>(0.4) << "0:00";
    QTest::newRow("negative, truncated toward zero") << std::optional<double>(-125.9) << "-2:-5";
    QTest::newRow("huge but countable") << std::optional<double>(9.0e18) << "150000000000000000:00";
    QTest::newRow("too large") << std::optional<double>(1e300) << "Unknown";
    QTest::newRow("infinite") << std::optional<double>(std::numeric_limits<double>::infinity())
                              << "Unknown";
    QTest::newRow("nan") << std::optional<double>(std::numeric_limits<double>::quiet_NaN())
                         << "Unknown";
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
