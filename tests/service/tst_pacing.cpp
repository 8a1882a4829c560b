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

    [[nodiscard]] std::unique_ptr<MuxClient>
    pacedClient(std::shared_ptr<FakePacerClock> clock) const {
        MuxClient::Options options = fastClientOptions(*m_service, std::move(clock));
        const MuxClient::Options defaults;
        options.postRequestsPerSecond = defaults.postRequestsPerSecond;
        options.otherRequestsPerSecond = defaults.otherRequestsPerSecond;
        return makeClient(options);
    }

private slots:

    // --- pacing --------------------------------------------------------------------------------

    // A script of acquisitions on one pacer: 'p' a POST, 'o' any other request, '.' waits
    // for all begun so far, 'z' then a quiet ten seconds, 'b' a budget of one until ten
    // seconds on. Acquisitions between waits run at once, as a burst.
    void pacerWakeUps_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QList<ms>>("wakeUps");
        // The first leaves at once; each later one a second after the one before.
        QTest::newRow("burst of posts")
            << QByteArray("pppppppppp") << QList<ms>{1s, 2s, 3s, 4s, 5s, 6s, 7s, 8s, 9s};
        // GETs wait only for each other, a fifth of a second apart.
        QTest::newRow("others have their own bucket")
            << QByteArray("pppooo") << QList<ms>{1s, 2s, 200ms, 400ms};
        QTest::newRow("a quiet spell refills the bucket")
            << QByteArray("pp.zp") << QList<ms>{1s, 11s};
        // The last of the budget at once, none left until the reset, then the fixed rate.
        QTest::newRow("spent budget waits for its reset")
            << QByteArray("bp.p.o.o") << QList<ms>{10s, 10200ms};
    }

    void pacerWakeUps() {
        QFETCH(QByteArray, script);
        QFETCH(QList<ms>, wakeUps);
        auto clock = std::make_shared<FakePacerClock>();
        RequestPacer pacer(RequestPacer::Rates{}, clock);
        std::vector<QCoro::Task<>> begun;
        const auto waitForBegun = [&] {
            for (auto& task : begun)
                QCoro::waitFor(std::move(task));
            begun.clear();
        };
        for (const char step : script) {
            if (step == 'p' || step == 'o')
                begun.push_back(pacer.acquire(step == 'p' ? RequestPacer::Kind::post
                                                          : RequestPacer::Kind::other));
            else if (step == 'b')
                pacer.noteBudget(1, clock->now() + 10s);
            else
                waitForBegun();
            if (step == 'z')
                QCoro::waitFor(clock->sleepUntil(clock->now() + 10s));
        }
        waitForBegun();
        QCOMPARE(clock->wakeUps(), wakeUps);
    }

    void burstOfCreatesThroughTheClient() {
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
        QCOMPARE(clock->elapsed(), ms(9s));
    }

    // The stand-in announces a per-minute budget on each reply; the pacer spends it as fast
    // as it lasts, and keeps the fixed rates without one.
    void listingFollowsTheAnnouncedBudget_data() {
        QTest::addColumn<int>("perMinute");
        QTest::addColumn<int>("leastMs");
        QTest::addColumn<int>("mostMs");
        QTest::newRow("none: five a second") << 0 << 1800 << 1800;
        QTest::newRow("ample: at once") << 100000 << 0 << 50;
        QTest::newRow("tight: spread over the minute") << 30 << 18000 << 40000;
    }

    void listingFollowsTheAnnouncedBudget() {
        QFETCH(int, perMinute);
        QFETCH(int, leastMs);
        QFETCH(int, mostMs);
        QVERIFY(m_service->seedGeneratedAssets(1000));
        QVERIFY(m_service->setRateLimit(perMinute));
        auto clock = std::make_shared<FakePacerClock>();
        auto client = pacedClient(clock);

        const auto listed =
            run(client->listAllAssets(m_service->tokenID(), m_service->tokenSecret()));
        QVERIFY2(listed, errorText(listed).constData());
        QVERIFY2(clock->elapsed() >= ms(leastMs) && clock->elapsed() <= ms(mostMs),
                 QByteArray::number(clock->elapsed().count()).constData());
        for (const auto& request : m_service->requests())
            QCOMPARE(request.status, 200);
    }

    // --- retries --------------------------------------------------------------------------------

    // The service answers `status` to the first `times` requests (0: to all). Each retry
    // waits twice the one before from 1 s, within ±20 %; after five the failure stands.
    void retries_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("times");
        QTest::addColumn<int>("requests");
        QTest::newRow("429") << 429 << 2 << 3;
        QTest::newRow("502") << 502 << 2 << 3;
        QTest::newRow("503") << 503 << 2 << 3;
        QTest::newRow("504") << 504 << 2 << 3;
        QTest::newRow("503 until it gives up") << 503 << 0 << 6;
        QTest::newRow("500 is final") << 500 << 2 << 1;
        QTest::newRow("404 is final") << 404 << 2 << 1;
    }

    void retries() {
        QFETCH(int, status);
        QFETCH(int, times);
        QFETCH(int, requests);
        QVERIFY(m_service->seedGeneratedAssets(1, {}, {}, QStringLiteral("a")));
        QVERIFY(m_service->addFault({.method = "PATCH",
                                     .path = "/video/v1/assets/a0001",
                                     .times = times ? std::optional(times) : std::nullopt,
                                     .status = status}));

        // Not a wait: the waits poll on through any 5xx.
        auto clock = std::make_shared<FakePacerClock>();
        const auto titled =
            run(makeClient(clock)->updateAssetTitle(QStringLiteral("a0001"), QStringLiteral("t")));
        QCOMPARE(titled ? 0 : titled.error().code, times && requests > times ? 0 : status);
        QCOMPARE(m_service->countRequests(QStringLiteral("PATCH"),
                                          QStringLiteral("/video/v1/assets/a0001")),
                 requests);
        const auto wakeUps = clock->wakeUps();
        QCOMPARE(wakeUps.size(), requests - 1);
        for (int i = 0; i < wakeUps.size(); ++i) {
            const ms gap = wakeUps[i] - (i == 0 ? ms(0) : wakeUps[i - 1]);
            const ms nominal = ms(1000) * (1 << i);
            QVERIFY2(gap >= nominal * 8 / 10 && gap <= nominal * 12 / 10,
                     qPrintable(QStringLiteral("wait %1: %2 ms").arg(i).arg(gap.count())));
        }
    }

    void retryAfterIsHonouredUpToTheCap_data() {
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

    void retryAfterIsHonouredUpToTheCap() {
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

    // A dropped POST may have landed, so only the GET is sent again.
    void droppedConnections() {
        QVERIFY(m_service->seedGeneratedAssets(1, {}, {}, QStringLiteral("a")));
        QVERIFY(m_service->addFault(
            {.method = "POST", .path = "/video/v1/uploads", .dropBeforeReply = true}));
        // More drops than Qt's own quiet re-sends absorb.
        QVERIFY(m_service->addFault({.method = "GET",
                                     .path = "/video/v1/assets/a0001",
                                     .times = 4,
                                     .dropBeforeReply = true}));
        auto clock = std::make_shared<FakePacerClock>();
        auto client = makeClient(clock);

        const auto created =
            run(client->createUpload(QStringLiteral("a.mov"), QStringLiteral("2160p")));
        QVERIFY(!created);
        QCOMPARE(created.error().domain, QStringLiteral("Network"));
        QCOMPARE(created.error().code, int(QNetworkReply::RemoteHostClosedError));
        QVERIFY(clock->wakeUps().isEmpty());

        const auto playbackID = run(client->waitForAssetReady(QStringLiteral("a0001")));
        QVERIFY2(playbackID, errorText(playbackID).constData());
        QCOMPARE(*playbackID, QStringLiteral("pb-a0001"));
        QVERIFY(!clock->wakeUps().isEmpty());
    }

    // Seconds, nonsense and no header at all are the client's rows above.
    void retryAfterForms_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<std::optional<ms>>("delay");

        QTest::newRow("spaces") << QByteArray(" 0 ") << std::optional<ms>(0s);
        QTest::newRow("negative") << QByteArray("-5") << std::optional<ms>();
        QTest::newRow("date in the past")
            << QByteArray("Wed, 21 Oct 2015 07:28:00 GMT") << std::optional<ms>(0s);
        QTest::newRow("absurd") << QByteArray("99999999999999999999") << std::optional<ms>();
    }

    void retryAfterForms() {
        QFETCH(QByteArray, value);
        QFETCH(std::optional<ms>, delay);
        QCOMPARE(parseRetryAfter(value), delay);
    }
};

QTEST_GUILESS_MAIN(TestPacing)
#include "tst_pacing.moc"
