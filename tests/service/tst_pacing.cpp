#include "ResultText.h"
#include "ServiceTestSupport.h"
#include "service/RequestPacer.h"
#include "service/ServiceTransport.h"

#include <QDateTime>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

using namespace clipferry;
using namespace std::chrono_literals;
using Fault = StandInService::Fault;
using ms = std::chrono::milliseconds;

class TestPacing : public ServiceTest {
    Q_OBJECT

private slots:

    void burstOfPostsLeavesOneASecond();
    void otherRequestsHaveTheirOwnBucket();
    void quietSpellRefillsTheBucket();
    void burstOfCreatesThroughTheClient();
    void listingFollowsTheAnnouncedBudget_data();
    void listingFollowsTheAnnouncedBudget();
    void spentBudgetWaitsForItsReset();

    void retriedStatuses_data();
    void retriedStatuses();
    void retryAfterIsHonouredUpToTheCap_data();
    void retryAfterIsHonouredUpToTheCap();
    void backoffDoublesWithJitter();
    void givesUpAfterFiveRetries();
    void droppedGetIsRetried();
    void droppedPostIsNotRetried();
    void retryAfterForms_data();
    void retryAfterForms();

private:
    [[nodiscard]] std::unique_ptr<MuxClient>
    pacedClient(std::shared_ptr<FakePacerClock> clock) const;
};

std::unique_ptr<MuxClient> TestPacing::pacedClient(std::shared_ptr<FakePacerClock> clock) const {
    MuxClient::Options options = fastClientOptions(*m_service, std::move(clock));
    const MuxClient::Options defaults;
    options.postRequestsPerSecond = defaults.postRequestsPerSecond;
    options.otherRequestsPerSecond = defaults.otherRequestsPerSecond;
    return makeClient(options);
}

// --- pacing --------------------------------------------------------------------------------

void TestPacing::burstOfPostsLeavesOneASecond() {
    auto clock = std::make_shared<FakePacerClock>();
    RequestPacer pacer(RequestPacer::Rates{}, clock);

    std::vector<QCoro::Task<>> burst;
    for (int i = 0; i < 10; ++i)
        burst.push_back(pacer.acquire(RequestPacer::Kind::post));
    for (auto& task : burst)
        QCoro::waitFor(std::move(task));

    // The first leaves at once; each later one a second after the one before.
    QCOMPARE(clock->wakeUps(), (QList<ms>{1s, 2s, 3s, 4s, 5s, 6s, 7s, 8s, 9s}));
    QCOMPARE(clock->elapsed(), ms(9s));
}

void TestPacing::otherRequestsHaveTheirOwnBucket() {
    auto clock = std::make_shared<FakePacerClock>();
    RequestPacer pacer(RequestPacer::Rates{}, clock);

    std::vector<QCoro::Task<>> tasks;
    for (int i = 0; i < 3; ++i)
        tasks.push_back(pacer.acquire(RequestPacer::Kind::post));
    for (int i = 0; i < 3; ++i)
        tasks.push_back(pacer.acquire(RequestPacer::Kind::other));
    for (auto& task : tasks)
        QCoro::waitFor(std::move(task));

    // GETs wait only for each other, a fifth of a second apart.
    QCOMPARE(clock->wakeUps(), (QList<ms>{1s, 2s, 200ms, 400ms}));
}

void TestPacing::quietSpellRefillsTheBucket() {
    auto clock = std::make_shared<FakePacerClock>();
    RequestPacer pacer(RequestPacer::Rates{}, clock);

    QCoro::waitFor(pacer.acquire(RequestPacer::Kind::post));
    QCoro::waitFor(pacer.acquire(RequestPacer::Kind::post)); // waits until 1 s
    QCoro::waitFor(clock->sleepUntil(clock->now() + 10s));   // quiet until 11 s
    QCoro::waitFor(pacer.acquire(RequestPacer::Kind::post)); // a full bucket: at once
    QCOMPARE(clock->wakeUps(), (QList<ms>{1s, 11s}));
}

void TestPacing::burstOfCreatesThroughTheClient() {
    auto clock = std::make_shared<FakePacerClock>();
    auto client = pacedClient(clock);

    std::vector<QCoro::Task<Result<CreatedUpload>>> burst;
    for (int i = 0; i < 10; ++i)
        burst.push_back(
            client->createUpload(QStringLiteral("clip%1.mov").arg(i), QStringLiteral("2160p")));
    for (auto& task : burst) {
        const auto created = QCoro::waitFor(std::move(task));
        QVERIFY2(created, errorText(created).constData());
    }

    QCOMPARE(m_service->countRequests(QStringLiteral("POST"), QStringLiteral("/video/v1/uploads")),
             10);
    QCOMPARE(clock->elapsed(), ms(9s));
}

// The stand-in announces a per-minute budget on each reply; the pacer spends it as fast
// as it lasts, and keeps the fixed rates without one.
void TestPacing::listingFollowsTheAnnouncedBudget_data() {
    QTest::addColumn<int>("perMinute");
    QTest::addColumn<int>("leastMs");
    QTest::addColumn<int>("mostMs");
    QTest::newRow("none: five a second") << 0 << 1800 << 1800;
    QTest::newRow("ample: at once") << 100000 << 0 << 50;
    QTest::newRow("tight: spread over the minute") << 30 << 18000 << 40000;
}

void TestPacing::listingFollowsTheAnnouncedBudget() {
    QFETCH(int, perMinute);
    QFETCH(int, leastMs);
    QFETCH(int, mostMs);
    QVERIFY(m_service->seedGeneratedAssets(1000));
    QVERIFY(m_service->setRateLimit(perMinute));
    auto clock = std::make_shared<FakePacerClock>();
    auto client = pacedClient(clock);

    const auto listed = run(client->listAllAssets(m_service->tokenID(), m_service->tokenSecret()));
    QVERIFY2(listed, errorText(listed).constData());
    QCOMPARE(listed->size(), 1000);
    QVERIFY2(clock->elapsed() >= ms(leastMs) && clock->elapsed() <= ms(mostMs),
             QByteArray::number(clock->elapsed().count()).constData());
    for (const auto& request : m_service->requests())
        QCOMPARE(request.status, 200);
}

void TestPacing::spentBudgetWaitsForItsReset() {
    auto clock = std::make_shared<FakePacerClock>();
    RequestPacer pacer(RequestPacer::Rates{}, clock);
    pacer.noteBudget(1, clock->now() + 10s);
    QCoro::waitFor(pacer.acquire(RequestPacer::Kind::post));  // the last one: at once
    QCoro::waitFor(pacer.acquire(RequestPacer::Kind::post));  // none left: at the reset
    QCoro::waitFor(pacer.acquire(RequestPacer::Kind::other)); // the fixed rate again
    QCoro::waitFor(pacer.acquire(RequestPacer::Kind::other));
    QCOMPARE(clock->wakeUps(), (QList<ms>{10s, 10200ms}));
}

// --- retries --------------------------------------------------------------------------------

void TestPacing::retriedStatuses_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("requests");

    QTest::newRow("429") << 429 << 3;
    QTest::newRow("502") << 502 << 3;
    QTest::newRow("503") << 503 << 3;
    QTest::newRow("504") << 504 << 3;
    QTest::newRow("500 is final") << 500 << 1;
    QTest::newRow("404 is final") << 404 << 1;
}

void TestPacing::retriedStatuses() {
    QFETCH(int, status);
    QFETCH(int, requests);
    QVERIFY(m_service->seedGeneratedAssets(1, {}, {}, QStringLiteral("a")));
    QVERIFY(m_service->addFault(
        {.method = "PATCH", .path = "/video/v1/assets/a0001", .times = 2, .status = status}));

    // Not a wait: the waits poll on through any 5xx.
    auto client = makeClient(std::make_shared<FakePacerClock>());
    const auto titled = run(client->updateAssetTitle(QStringLiteral("a0001"), QStringLiteral("t")));
    QCOMPARE(bool(titled), requests > 1);
    if (!titled)
        QCOMPARE(titled.error().code, status);
    QCOMPARE(
        m_service->countRequests(QStringLiteral("PATCH"), QStringLiteral("/video/v1/assets/a0001")),
        requests);
}

void TestPacing::retryAfterIsHonouredUpToTheCap_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<ms>("least");
    QTest::addColumn<ms>("most");
    const ms cap = ServiceTransport::RetryPolicy().maxRetryAfter;
    const auto later = QDateTime::currentDateTimeUtc().addSecs(3 * 3600);
    QTest::newRow("seconds") << QByteArray("7") << ms(7s) << ms(7s);
    QTest::newRow("an hour") << QByteArray("3600") << cap << cap;
    QTest::newRow("a date hours ahead")
        << QLocale::c()
               .toString(later, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
               .toLatin1()
        << cap << cap;
    // Nonsense is no Retry-After: the first backoff step, 1 s ±20 %.
    QTest::newRow("nonsense") << QByteArray("soon") << ms(800) << ms(1200);
}

void TestPacing::retryAfterIsHonouredUpToTheCap() {
    QFETCH(QByteArray, value);
    QFETCH(ms, least);
    QFETCH(ms, most);
    QVERIFY(m_service->addFault({.method = "POST",
                                 .path = "/video/v1/uploads",
                                 .times = 1,
                                 .status = 429,
                                 .headers = {{"Retry-After", value}}}));
    auto clock = std::make_shared<FakePacerClock>();
    auto client = makeClient(clock);

    const auto created =
        run(client->createUpload(QStringLiteral("a.mov"), QStringLiteral("2160p")));
    QVERIFY2(created, errorText(created).constData());
    QCOMPARE(clock->wakeUps().size(), 1);
    QVERIFY2(clock->wakeUps()[0] >= least && clock->wakeUps()[0] <= most,
             qPrintable(QString::number(clock->wakeUps()[0].count())));
}

void TestPacing::backoffDoublesWithJitter() {
    QVERIFY(m_service->addFault({.path = "/video/v1/assets", .times = 3, .status = 503}));
    auto clock = std::make_shared<FakePacerClock>();
    auto client = makeClient(clock);
    const auto assets = run(client->listAllAssets(m_service->tokenID(), m_service->tokenSecret()));
    QVERIFY2(assets, errorText(assets).constData());

    const auto wakeUps = clock->wakeUps();
    QCOMPARE(wakeUps.size(), 3);
    const QList<ms> gaps{wakeUps[0], wakeUps[1] - wakeUps[0], wakeUps[2] - wakeUps[1]};
    for (int i = 0; i < 3; ++i) {
        const ms nominal = ms(1000) * (1 << i);
        QVERIFY2(gaps[i] >= nominal * 8 / 10 && gaps[i] <= nominal * 12 / 10,
                 qPrintable(QStringLiteral("wait %1: %2 ms").arg(i).arg(gaps[i].count())));
    }
}

void TestPacing::givesUpAfterFiveRetries() {
    QVERIFY(m_service->addFault(
        {.method = "DELETE", .path = "/video/v1/assets/*", .status = 503, .body = "busy"}));
    auto clock = std::make_shared<FakePacerClock>();
    auto client = makeClient(clock);

    const auto deleted = run(client->deleteAsset(QStringLiteral("a1")));
    QVERIFY(!deleted);
    QCOMPARE(deleted.error().code, 503);
    QCOMPARE(deleted.error().message, QStringLiteral("HTTP 503: "));
    QCOMPARE(
        m_service->countRequests(QStringLiteral("DELETE"), QStringLiteral("/video/v1/assets/a1")),
        6);
    QCOMPARE(clock->wakeUps().size(), 5);
    // 1 + 2 + 4 + 8 + 16 s, each within ±20 %.
    QVERIFY(clock->elapsed() >= ms(31s) * 8 / 10 && clock->elapsed() <= ms(31s) * 12 / 10);
}

void TestPacing::droppedGetIsRetried() {
    QVERIFY(m_service->seedGeneratedAssets(1, {}, {}, QStringLiteral("a")));
    // More drops than Qt's own quiet re-sends absorb.
    QVERIFY(m_service->addFault(
        {.method = "GET", .path = "/video/v1/assets/a0001", .times = 4, .dropBeforeReply = true}));
    auto clock = std::make_shared<FakePacerClock>();
    auto client = makeClient(clock);

    const auto playbackID = run(client->waitForAssetReady(QStringLiteral("a0001")));
    QVERIFY2(playbackID, errorText(playbackID).constData());
    QCOMPARE(*playbackID, QStringLiteral("pb-a0001"));
    QVERIFY(!clock->wakeUps().isEmpty());
}

void TestPacing::droppedPostIsNotRetried() {
    QVERIFY(m_service->addFault(
        {.method = "POST", .path = "/video/v1/uploads", .dropBeforeReply = true}));
    auto clock = std::make_shared<FakePacerClock>();
    auto client = makeClient(clock);

    const auto created =
        run(client->createUpload(QStringLiteral("a.mov"), QStringLiteral("2160p")));
    QVERIFY(!created);
    QCOMPARE(created.error().domain, QStringLiteral("Network"));
    QCOMPARE(created.error().code, int(QNetworkReply::RemoteHostClosedError));
    QVERIFY(clock->wakeUps().isEmpty());
}

void TestPacing::retryAfterForms_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<std::optional<ms>>("delay");

    QTest::newRow("seconds") << QByteArray("3") << std::optional<ms>(3s);
    QTest::newRow("spaces") << QByteArray(" 0 ") << std::optional<ms>(0s);
    QTest::newRow("absent") << QByteArray() << std::optional<ms>();
    QTest::newRow("garbage") << QByteArray("soon") << std::optional<ms>();
    QTest::newRow("negative") << QByteArray("-5") << std::optional<ms>();
    QTest::newRow("date in the past")
        << QByteArray("Wed, 21 Oct 2015 07:28:00 GMT") << std::optional<ms>(0s);
    QTest::newRow("absurd") << QByteArray("99999999999999999999") << std::optional<ms>();
}

void TestPacing::retryAfterForms() {
    QFETCH(QByteArray, value);
    QFETCH(std::optional<ms>, delay);
    QCOMPARE(parseRetryAfter(value), delay);
}

QTEST_GUILESS_MAIN(TestPacing)
#include "tst_pacing.moc"
