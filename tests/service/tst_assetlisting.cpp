#include "AssetListing.h"
#include "ResultText.h"
#include "ServiceError.h"
#include "ServiceTestSupport.h"

#include <QNetworkAccessManager>
#include <QTest>

using namespace clipferry;
using Fault = StandInService::Fault;

class TestAssetListing : public ServiceTest {
    Q_OBJECT

private slots:
    void listsEveryPage_data();
    void listsEveryPage();
    void usesTheGivenTokensNotTheClientPair();
    void refusedListingSaysSo();
    void failureOnALaterPageDropsTheListing();
    void foreignPagesNeverSeeTheCredential_data();
    void foreignPagesNeverSeeTheCredential();
    void repeatedPageEndsWithAnError();
    void nextLocation_data();
    void nextLocation();

private:
    [[nodiscard]] Result<QList<MuxAsset>> list(MuxClient& client) const;
};

Result<QList<MuxAsset>> TestAssetListing::list(MuxClient& client) const {
    return run(client.listAllAssets(m_service->tokenID(), m_service->tokenSecret()));
}

void TestAssetListing::listsEveryPage_data() {
    QTest::addColumn<StandInService::Paging>("paging");
    QTest::addColumn<QString>("secondTarget");

    QTest::newRow("links.next") << StandInService::Paging::links
                                << "/video/v1/assets?limit=100&page=2";
    // The stand-in's cursors hold '/', '+' and '=', which only survive percent-encoded.
    QTest::newRow("next_cursor") << StandInService::Paging::cursor
                                 << "/video/v1/assets?limit=100&cursor=o%2F100%2B%3D";
}

void TestAssetListing::listsEveryPage() {
    QFETCH(StandInService::Paging, paging);
    QFETCH(QString, secondTarget);
    QVERIFY(m_service->setPaging(paging));
    QVERIFY(m_service->seedGeneratedAssets(250, QStringLiteral("2024-05-01T12:00:00Z")));

    auto client = makeClient();
    const auto assets = list(*client);
    QVERIFY2(assets, errorText(assets).constData());

    QCOMPARE(assets->size(), 250);
    for (int i = 0; i < 250; ++i)
        QCOMPARE(assets->at(i).id, QStringLiteral("seeded%1").arg(i + 1, 4, 10, QLatin1Char('0')));
    const auto requests = m_service->requests();
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests[0].target, QStringLiteral("/video/v1/assets?limit=100"));
    QCOMPARE(requests[1].target, secondTarget);
    for (const auto& request : requests)
        QVERIFY(request.headers.contains(QStringLiteral("authorization")));
}

void TestAssetListing::usesTheGivenTokensNotTheClientPair() {
    QVERIFY(m_service->seedGeneratedAssets(2));
    auto client = makeClient();
    client->setCredentials(QStringLiteral("stale"), QStringLiteral("pair"));
    const auto assets = list(*client);
    QVERIFY2(assets, errorText(assets).constData());
    QCOMPARE(assets->size(), 2);
}

void TestAssetListing::refusedListingSaysSo() {
    QVERIFY(m_service->seedGeneratedAssets(2));
    auto client = makeClient();
    const auto assets = run(client->listAllAssets(QStringLiteral("wrong"), QStringLiteral("pair")));
    QVERIFY(!assets);
    QCOMPARE(assets.error().code, 401);
    QVERIFY2(assets.error().message.startsWith(QStringLiteral("HTTP 401: ")) &&
                 assets.error().message.contains(QStringLiteral("unauthorized")),
             qPrintable(assets.error().message));
}

void TestAssetListing::failureOnALaterPageDropsTheListing() {
    QVERIFY(m_service->seedGeneratedAssets(250));
    QVERIFY(m_service->addFault({.path = "/video/v1/assets", .skip = 1, .malformedJson = true}));
    auto client = makeClient();
    const auto assets = list(*client);
    QVERIFY(!assets);
    QCOMPARE(assets.error().domain, QStringLiteral("JSON"));
    QCOMPARE(m_service->requests().size(), 2);
}

void TestAssetListing::foreignPagesNeverSeeTheCredential_data() {
    QTest::addColumn<bool>("byRedirect");
    QTest::newRow("links.next elsewhere") << false;
    QTest::newRow("redirect elsewhere") << true;
}

// The second stand-in plays another host: whatever sends the listing there, the
// credential must not follow and the listing must not pass for complete.
void TestAssetListing::foreignPagesNeverSeeTheCredential() {
    QFETCH(bool, byRedirect);
    StandInService other;
    QVERIFY2(other.isRunning(), qPrintable(other.errorString()));
    const QByteArray elsewhere = other.baseUrl().toString().toUtf8() + "/video/v1/assets?page=2";
    if (byRedirect)
        QVERIFY(m_service->addFault(
            {.path = "/video/v1/assets", .status = 302, .headers = {{"Location", elsewhere}}}));
    else
        QVERIFY(m_service->addFault(
            {.path = "/video/v1/assets",
             .status = 200,
             .body = "{\"data\":[],\"links\":{\"next\":\"" + elsewhere + "\"}}"}));
    auto client = makeClient();
    const auto assets = list(*client);
    QVERIFY(!assets);
    if (!byRedirect)
        QCOMPARE(assets.error().message,
                 QStringLiteral("The next page is on another host: 127.0.0.1:%1")
                     .arg(other.baseUrl().port()));
    for (const auto& request : other.requests())
        QVERIFY(!request.headers.contains(QStringLiteral("authorization")));
}

void TestAssetListing::repeatedPageEndsWithAnError() {
    const QByteArray first =
        m_service->baseUrl().toString().toUtf8() + "/video/v1/assets?limit=100";
    QVERIFY(m_service->addFault({.path = "/video/v1/assets",
                                 .status = 200,
                                 .body = "{\"data\":[{\"id\":\"a\",\"status\":\"ready\"}],"
                                         "\"links\":{\"next\":\"" +
                                         first + "\"}}"}));
    auto client = makeClient();
    const auto assets = list(*client);
    QVERIFY(!assets);
    QCOMPARE(assets.error().domain, QString());
    QCOMPARE(assets.error().code, int(pagingLoopCode));
    QCOMPARE(m_service->requests().size(), 1);
}

void TestAssetListing::nextLocation_data() {
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("next"); // empty: the listing ends; "error: " and its message

    QTest::newRow("no links, no cursor") << QByteArray(R"({"data":[]})") << "";
    QTest::newRow("links without next") << QByteArray(R"({"data":[],"links":{}})") << "";
    QTest::newRow("null next") << QByteArray(R"({"data":[],"links":{"next":null}})") << "";
    QTest::newRow("null cursor") << QByteArray(R"({"data":[],"next_cursor":null})") << "";
    QTest::newRow("absolute next")
        << QByteArray(R"({"data":[],"links":{"next":"https://api.example/p?page=2"}})")
        << "https://api.example/p?page=2";
    QTest::newRow("next on another host")
        << QByteArray(R"({"data":[],"links":{"next":"https://other.example/p?page=2"}})")
        << "error: The next page is on another host: other.example";
    QTest::newRow("next on another port")
        << QByteArray(R"({"data":[],"links":{"next":"https://api.example:8443/p"}})")
        << "error: The next page is on another host: api.example:8443";
    QTest::newRow("next over plain http")
        << QByteArray(R"({"data":[],"links":{"next":"http://api.example/p"}})")
        << "error: The next page is on another host: api.example";
    QTest::newRow("next that does not parse")
        << QByteArray(R"({"data":[],"links":{"next":"http://[bad"},"next_cursor":"c"})")
        << "error: The next page address is not valid: http://[bad";
    QTest::newRow("relative next resolved")
        << QByteArray(R"({"data":[],"links":{"next":"/video/v1/assets?page=3"}})")
        << "https://api.example/video/v1/assets?page=3";
    QTest::newRow("empty next") << QByteArray(R"({"data":[],"links":{"next":""}})") << "";
    QTest::newRow("links.next wins over the cursor")
        << QByteArray(R"({"data":[],"links":{"next":"https://api.example/n"},"next_cursor":"c"})")
        << "https://api.example/n";
    QTest::newRow("cursor")
        << QByteArray(R"({"data":[],"next_cursor":"a b/c+d=&e"})")
        << "https://api.example/video/v1/assets?limit=100&cursor=a%20b%2Fc%2Bd%3D%26e";
    QTest::newRow("empty cursor") << QByteArray(R"({"data":[],"next_cursor":""})") << "";
}

void TestAssetListing::nextLocation() {
    QFETCH(QByteArray, page);
    QFETCH(QString, next);

    const QUrl first(QStringLiteral("https://api.example/video/v1/assets?limit=100"));
    const QUrl current(QStringLiteral("https://api.example/video/v1/assets?limit=100&page=2"));
    const auto decoded = decodeMuxAssetListResponse(page);
    QVERIFY2(decoded, errorText(decoded).constData());
    const auto location = nextAssetPageLocation(first, current, *decoded);
    const QString found = !location   ? QStringLiteral("error: ") + location.error().message
                          : *location ? location->value().toString(QUrl::FullyEncoded)
                                      : QString();
    QCOMPARE(found, next);
}

QTEST_GUILESS_MAIN(TestAssetListing)
#include "tst_assetlisting.moc"
