#include "ResultText.h"
#include "ServiceTestSupport.h"
#include "model/JsonDecode.h"
#include "service/AssetListing.h"
#include "service/ServiceError.h"

#include <QNetworkAccessManager>
#include <QTest>

using namespace clipferry;
using Fault = StandInService::Fault;

class TestAssetListing : public ServiceTest {
    Q_OBJECT

private slots:
    void listingOutcomes_data();
    void listingOutcomes();
    void foreignPagesNeverSeeTheCredential_data();
    void foreignPagesNeverSeeTheCredential();
    void nextLocation_data();
    void nextLocation();
};

// A listing of 250 assets under each paging and failure: "outcome" is the number
// listed, or the start of the error message. The client's own pair is stale, so every
// request must carry the pair the listing was given.
void TestAssetListing::listingOutcomes_data() {
    QTest::addColumn<StandInService::Paging>("paging");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("targets"); // the first requests, in order
    const QString first = QStringLiteral("/video/v1/assets?limit=100");
    const QString secret = m_service->tokenSecret();
    const auto links = StandInService::Paging::links;

    QTest::newRow("links.next") << links << Fault{} << secret << "" << 0 << "250"
                                << QStringList{first, first + "&page=2", first + "&page=3"};
    // The stand-in's cursors hold '/', '+' and '=', which only survive percent-encoded.
    QTest::newRow("next_cursor") << StandInService::Paging::cursor << Fault{} << secret << "" << 0
                                 << "250"
                                 << QStringList{first, first + "&cursor=o%2F100%2B%3D",
                                                first + "&cursor=o%2F200%2B%3D"};
    QTest::newRow("refused") << links << Fault{} << "wrong"
                             << "" << 401 << "HTTP 401: {\"error\"" << QStringList{first};
    QTest::newRow("later page malformed")
        << links << Fault{.path = "/video/v1/assets", .skip = 1, .malformedJson = true} << secret
        << "JSON" << int(json::syntaxError) << "" << QStringList{first, first + "&page=2"};
    QTest::newRow("page names itself as the next")
        << links
        << Fault{.path = "/video/v1/assets",
                 .status = 200,
                 .body = R"({"data":[{"id":"a","status":"ready"}],"links":{"next":")" +
                         m_service->baseUrl().toString().toUtf8() + first.toUtf8() + "\"}}"}
        << secret << "" << int(pagingLoopCode) << "" << QStringList{first};
}

void TestAssetListing::listingOutcomes() {
    QFETCH(StandInService::Paging, paging);
    QFETCH(Fault, fault);
    QFETCH(QString, secret);
    QFETCH(QString, domain);
    QFETCH(int, code);
    QFETCH(QString, outcome);
    QFETCH(QStringList, targets);
    QVERIFY(m_service->setPaging(paging));
    QVERIFY(m_service->seedGeneratedAssets(250));
    if (!fault.path.isEmpty())
        QVERIFY(m_service->addFault(fault));

    auto client = makeClient();
    client->setCredentials(QStringLiteral("stale"), QStringLiteral("pair"));
    const auto assets = run(client->listAllAssets(m_service->tokenID(), secret));

    QCOMPARE(assets ? 0 : assets.error().code, code);
    if (assets) {
        QCOMPARE(QString::number(assets->size()), outcome);
        for (int i = 0; i < 250; ++i)
            QCOMPARE(assets->at(i).id, QStringLiteral("seeded%1").arg(i + 1, 4, 10, QChar(u'0')));
    } else {
        QCOMPARE(assets.error().domain, domain);
        QVERIFY2(assets.error().message.startsWith(outcome), qPrintable(assets.error().message));
    }
    const auto requests = m_service->requests();
    QCOMPARE(requests.size(), targets.size());
    const QString pair =
        QStringLiteral("Basic ") +
        QString::fromLatin1((m_service->tokenID() + u':' + secret).toUtf8().toBase64());
    for (qsizetype i = 0; i < requests.size(); ++i) {
        QCOMPARE(requests[i].target, targets[i]);
        QCOMPARE(requests[i].headers.value(QStringLiteral("authorization")), pair);
    }
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
    const auto assets = run(client->listAllAssets(m_service->tokenID(), m_service->tokenSecret()));
    QVERIFY(!assets);
    if (!byRedirect) // refused before it is asked for
        QVERIFY(other.requests().isEmpty());
    for (const auto& request : other.requests())
        QVERIFY(!request.headers.contains(QStringLiteral("authorization")));
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
