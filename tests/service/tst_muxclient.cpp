#include "FakePacerClock.h"
#include "ResultText.h"
#include "StandInService.h"
#include "TestFiles.h"
#include "model/JsonDecode.h"
#include "service/AssetListing.h"
#include "service/BandwidthLimiter.h"
#include "service/HttpReplyParser.h"
#include "service/MuxClient.h"
#include "service/RequestPacer.h"
#include "service/ServiceError.h"
#include "service/ServiceTransport.h"
#include "service/StreamedRequest.h"

#include <QCoro/QCoroTask>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace clipferry;
using namespace std::chrono_literals;
using Fault = StandInService::Fault;
using ms = std::chrono::milliseconds;

namespace {
// Runs a client operation to its end (tests only: spins the event loop).
template <typename T>
T run(QCoro::Task<T> task) {
    return QCoro::waitFor(std::move(task));
}

QCoro::Task<> recordOutcome(QCoro::Task<Result<QString>> wait, std::shared_ptr<QString> outcome) {
    auto result = co_await std::move(wait);
    *outcome = result ? QStringLiteral("value") : result.error().message;
}

Result<CreatedUpload> create(MuxClient& client) {
    return run(client.createUpload(QStringLiteral("a.mov"), QStringLiteral("2160p")));
}

// A call's value as text; a created upload's is its ID and location.
Result<QString> callApi(MuxClient& client, const QByteArray& call, const QString& id) {
    if (call == "create") {
        const auto created = create(client);
        if (!created)
            return tl::unexpected(created.error());
        return created->id + u' ' + created->url.toString();
    }
    if (call == "id" || call == "ready")
        return run(call == "id" ? client.waitForAssetID(id) : client.waitForAssetReady(id));
    const auto done = run(call == "title" ? client.updateAssetTitle(id, QStringLiteral("t"))
                                          : client.deleteAsset(id));
    return done ? Result<QString>(QString()) : tl::unexpected(done.error());
}

// Whether a result reads as "expected": the value, or the error message after its domain;
// a '*' at the end of "expected" matches any rest.
template <typename R>
bool reads(const R& result, const QString& value, const QString& expected) {
    QString text = result ? value : result.error().message;
    if (!result && !result.error().domain.isEmpty())
        text.prepend(result.error().domain + QStringLiteral(": "));
    const bool matches =
        expected.endsWith(u'*') ? text.startsWith(expected.chopped(1)) : text == expected;
    if (!matches)
        qWarning("reads \"%s\"", qPrintable(text));
    return matches;
}
} // namespace

// One API call and what the service answers it: "outcome" is what reads() takes, "waits"
// the retries' waits on the clock, each within ±20 % unless a Retry-After names it.
struct ApiCall {
    QByteArray call; // create, id, ready, title or delete
    QString id = QStringLiteral("x0001");
    bool closedPort = false;
    std::optional<Fault> fault{}; // on the call's own path unless it names one
    int code = 0;                 // 0: a value
    QString outcome{};
    int requests = 1; // -1: not counted (Qt's HTTP layer resends a dropped request itself)
    QList<ms> waits{};
};
Q_DECLARE_METATYPE(ApiCall)

// The client against one stand-in for the whole run, emptied before each test; a row with
// "tls" set talks to a second one over HTTPS instead.
class TestMuxClient : public QObject {
    Q_OBJECT

    std::unique_ptr<StandInService> m_plain;
    std::unique_ptr<StandInService> m_tls;
    StandInService* m_service = nullptr;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QTemporaryDir m_dir;
    int m_files = 0;

    // The stand-in's fast options with few attempts, and retry waits on a fake clock so
    // that a test can read them.
    [[nodiscard]] MuxClient::Options
    fastOptions(std::shared_ptr<FakePacerClock> clock = std::make_shared<FakePacerClock>()) const {
        auto options = m_service->clientOptions();
        options.assetIdAttempts = 5;
        options.readyAttempts = 5;
        options.retryBaseDelay = MuxClient::Options().retryBaseDelay;
        options.clock = std::move(clock);
        return options;
    }
    [[nodiscard]] std::unique_ptr<MuxClient>
    makeClient(std::optional<MuxClient::Options> options = std::nullopt) const {
        auto client = std::make_unique<MuxClient>(*m_network, options ? *options : fastOptions());
        client->setCredentials(m_service->tokenID(), m_service->tokenSecret());
        return client;
    }
    [[nodiscard]] QString writeFile(qint64 size) {
        const QString path = m_dir.filePath(QStringLiteral("clip%1.mov").arg(++m_files));
        return writeRandomFile(path, size) ? path : QString();
    }
    [[nodiscard]] int gets(const QString& path) const {
        return m_service->countRequests(QStringLiteral("GET"), path);
    }

private slots:
    void initTestCase() {
        m_plain = std::make_unique<StandInService>();
        m_tls = std::make_unique<StandInService>(StandInService::Scheme::https);
        for (const auto* service : {m_plain.get(), m_tls.get()})
            QVERIFY2(service->isRunning(), qPrintable(service->errorString()));
        m_network = std::make_unique<QNetworkAccessManager>();
    }
    void init() {
        QVERIFY(m_plain->reset());
        QVERIFY(m_tls->reset());
        m_service = m_plain.get();
    }

    // The client goes with its owner; a wait sleeping at that moment must end quietly when it
    // wakes, not touch the client.
    void destroyingTheClientEndsItsWaits() {
        QVERIFY(m_service->setUploadPollsBeforeAsset(0));
        auto options = fastOptions({});
        options.assetIdPollInterval = 50ms;
        options.assetIdAttempts = 100;
        auto client = makeClient(options);
        const auto created = create(*client);
        QVERIFY(created);
        auto outcome = std::make_shared<QString>();
        auto pending = recordOutcome(client->waitForAssetID(created->id), outcome);
        QTRY_VERIFY(gets(QStringLiteral("/video/v1/uploads/*")) >= 1);
        client.reset();
        QTRY_COMPARE(*outcome, QStringLiteral("The request was cancelled."));
    }

    // The whole flow, over HTTPS: the POST carries the settings, the PUT streams the file
    // without the credential, each wait polls until the service has what it waits for, and
    // the title is set on the asset.
    void uploadFlowFromCreateToTitle() {
        m_service = m_tls.get();
        QVERIFY(m_service->setUploadPollsBeforeAsset(3));
        QVERIFY(m_service->setAssetPollsBeforeReady(3));
        auto client = makeClient();
        const auto created = run(client->createUpload(QStringLiteral("E1_Open_PAR_M01_a b.mov"),
                                                      QStringLiteral("2160p")));
        QVERIFY2(created, errorText(created).constData());
        // The stand-in routes by method and path, so a created upload means a POST that got there.
        const auto post = m_service->requests().first();
        QCOMPARE(post.headers.value(QStringLiteral("content-type")),
                 QStringLiteral("application/json"));
        QCOMPARE(post.body,
                 QByteArray(
                     R"({"new_asset_settings":{"max_resolution_tier":"2160p",)"
                     R"("passthrough":"E1_Open_PAR_M01_a b.mov","playback_policy":["public"]}})"));

        const qint64 size = 3 * 1024 * 1024 + 17;
        QList<std::pair<qint64, qint64>> progress;
        const auto uploaded =
            run(client->uploadFile(writeFile(size), created->url, [&](qint64 sent, qint64 total) {
                progress.append({sent, total});
            }));
        QVERIFY2(uploaded, errorText(uploaded).constData());
        const QJsonObject upload = m_service->uploads().first().toObject();
        QCOMPARE(upload.value(QLatin1StringView("bytes_received")).toInteger(), size);
        QVERIFY(upload.value(QLatin1StringView("received")).toBool());
        const auto put = m_service->requests().last();
        QVERIFY(!put.headers.contains(QStringLiteral("authorization")));
        QCOMPARE(put.headers.value(QStringLiteral("content-length")), QString::number(size));
        QCOMPARE(progress.value(progress.size() - 1), std::make_pair(size, size));
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));

        const auto assetID = run(client->waitForAssetID(created->id));
        QVERIFY2(assetID, errorText(assetID).constData());
        QCOMPARE(*assetID, upload.value(QLatin1StringView("asset_id")).toString());
        const auto playbackID = run(client->waitForAssetReady(*assetID));
        QVERIFY2(playbackID, errorText(playbackID).constData());
        QCOMPARE(*playbackID, m_service->assets().first()[u"playback_ids"][0][u"id"].toString());
        QCOMPARE(gets(QStringLiteral("/video/v1/uploads/") + created->id), 3);
        QCOMPARE(gets(QStringLiteral("/video/v1/assets/") + *assetID), 3);

        const auto titled = run(client->updateAssetTitle(*assetID, QStringLiteral("E1 \"x\"")));
        QVERIFY2(titled, errorText(titled).constData());
        QCOMPARE(m_service->requests().last().body,
                 QByteArray("{\"meta\":{\"title\":\"E1 \\\"x\\\"\"}}"));
        QCOMPARE(m_service->assets().first()[u"meta"][u"title"].toString(),
                 QStringLiteral("E1 \"x\""));
    }

    void apiCalls_data();

    void apiCalls() {
        QFETCH(ApiCall, row);
        QVERIFY(m_service->seedGeneratedAssets(2, {}, {}, QStringLiteral("x")));
        if (auto fault = row.fault) {
            if (fault->path.isEmpty())
                fault->path = row.call == "create" ? QStringLiteral("/video/v1/uploads")
                              : row.call == "id"   ? QStringLiteral("/video/v1/uploads/x0001")
                                                   : QStringLiteral("/video/v1/assets/x0001");
            QVERIFY(m_service->addFault(*fault));
        }
        auto clock = std::make_shared<FakePacerClock>();
        auto options = fastOptions(clock);
        if (row.fault && row.fault->hang)
            options.transferTimeout = 200ms;
        // Port 1 is the suite's closed port (see the tests' environment).
        if (row.closedPort)
            options.apiBase = QUrl(QStringLiteral("http://127.0.0.1:1"));
        const auto result = callApi(*makeClient(options), row.call, row.id);
        QVERIFY(m_service->releaseHangingReplies());

        QCOMPARE(result ? 0 : result.error().code, row.code);
        QVERIFY(reads(result, result ? *result : QString(), row.outcome));
        const auto requests = m_service->requests();
        if (row.requests >= 0)
            QCOMPARE(requests.size(), row.requests);
        for (const auto& request : requests)
            QCOMPARE(request.headers.contains(QStringLiteral("content-type")),
                     row.call == "create" || row.call == "title");
        if (row.call == "delete")
            QCOMPARE(m_service->assets().size(), result ? 1 : 2);
        const auto wakeUps = clock->wakeUps();
        QCOMPARE(wakeUps.size(), row.waits.size());
        const int jitter = row.fault && !row.fault->headers.isEmpty() ? 0 : 20;
        for (int i = 0; i < wakeUps.size(); ++i) {
            const ms gap = wakeUps[i] - (i == 0 ? ms(0) : wakeUps[i - 1]);
            QVERIFY2(gap >= row.waits[i] * (100 - jitter) / 100 &&
                         gap <= row.waits[i] * (100 + jitter) / 100,
                     qPrintable(QStringLiteral("wait %1: %2 ms").arg(i).arg(gap.count())));
        }
    }

    // What the session answers the PUTs, and how the transfer ends: "message" is the error
    // (empty: it succeeds), "requests" how many PUTs it took (-1: not counted), "resumes"
    // whether it waited to go on. Each cut leaves the session holding whole 256 KiB units;
    // the transfer asks what is held and sends only the rest, so fewer than a unit a cut is
    // sent twice, progress goes on from "held" units, and one upload gets the file. A host
    // that misbehaves ends it at once, never in a round of resumptions; size -1: no file.
    void transfers_data() {
        QTest::addColumn<QList<Fault>>("faults");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("tls"); // 1: over HTTPS; 2: to a host whose authority is not trusted
        QTest::addColumn<int>("requests");
        QTest::addColumn<bool>("resumes");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("cuts");
        QTest::addColumn<int>("held");
        QTest::addColumn<bool>("offline"); // the transfer says the network is down, then back
        const qint64 large = 4 * 1024 * 1024;
        const auto put = [](Fault fault) {
            fault.method = QStringLiteral("PUT");
            fault.path = QStringLiteral("/_upload/*");
            return fault;
        };
        // A status query carries no body, so only the PUTs with bytes count toward a cut.
        const auto cut = [&](qint64 bytes, int skip = 0, std::optional<int> times = 1) {
            return put({.skip = skip, .times = times, .dropAfterBytes = bytes});
        };
        const auto held = [&](const char* range, std::optional<int> times = std::nullopt) {
            return put({.times = times, .status = 308, .headers = {{"Range", range}}});
        };
        const auto answer = [&](int status, std::optional<int> times = std::nullopt) {
            return QList{put({.times = times, .status = status, .body = "<Error>details</Error>"})};
        };
        // A transfer of 4 MiB that succeeds after cuts, in up to 100 requests.
        const auto resumed = [&](const char* tag, QList<Fault> faults, int cuts, int held,
                                 int tls = 0, bool offline = false) {
            QTest::newRow(tag) << faults << large << tls << -1 << true << QString() << cuts << held
                               << offline;
        };
        // A transfer of 1000 bytes and at most six requests.
        const auto ends = [&](const char* tag, QList<Fault> faults, int requests, bool resumes,
                              const QString& message, qint64 size = 1000, int tls = 0) {
            QTest::newRow(tag) << faults << size << tls << requests << resumes << message << 0 << 0
                               << false;
        };

        resumed("cut inside the first unit", {cut(100000)}, 1, 0);
        resumed("cut twice, the second on the resumed PUT, over TLS", {cut(300000), cut(900000, 1)},
                2, 3, 1);
        resumed("cut near the end", {cut(large - 100000)}, 1, 15);
        // Far more cuts than resumptions allowed, but each after more is held.
        resumed("every PUT cut after one more unit", {cut(300000, 0, std::nullopt)}, 16, 1);
        resumed("408 on the resumed PUT", {cut(600000), answer(408, 1).first()}, 1, 2);
        // The network down after the cut: "offline" questions about the held bytes reach
        // nothing, more than the resumptions allowed; the transfer waits them out.
        const Fault down = put({.times = 12, .dropBeforeReply = true});
        resumed("network down a while", {cut(600000), down}, 1, 2, 0, true);

        const QString refused = QStringLiteral("Upload failed: the storage host answered HTTP %1.");
        const QString expired = QStringLiteral("Upload session expired");
        ends("204", answer(204), 1, false, "");
        ends("301", answer(301), 1, false, refused.arg(301));
        ends("500 on every resumption", answer(500), 6, true, refused.arg(500));
        ends("404: session gone", answer(404), 1, false, expired);
        ends("410: session gone", answer(410), 1, false, expired);
        // A status answered once is asked about and the rest sent to the same session.
        ends("429 once: asked again", answer(429, 1), 3, true, "");
        ends("308 beyond the file", {held("bytes=0-1000")}, 1, false,
             "The storage host claimed more bytes than the file has.");
        ends("malformed Range", {held("bytes=0-99x")}, 1, false,
             "The storage host sent a malformed Range header.");
        ends("Range going backwards", {held("bytes=0-499", 1), held("bytes=0-99")}, 2, false,
             "The storage host now holds fewer bytes than it said before.");
        // Whole but not complete: asked again without a body, never sent an empty range.
        ends("308 for the whole file", {held("bytes=0-999")}, 6, false, "Upload failed");
        ends("offset moves", {cut(300000, 0, std::nullopt)}, 6, true,
             "Upload failed: The remote host closed the connection", large);
        ends("endless reply", {put({.status = 200, .endlessBody = true})}, 1, false,
             "Network: The storage host's reply is larger than 1 MiB.");
        ends("missing file", {}, 0, false, "File: No such file or directory", -1);
        // The stand-in's certificate is signed by an authority this client does not trust:
        // the transport's own failure, not a loss of the network.
        ends("certificate refused", {}, 0, false, "Network: *", 1000, 2);
    }

    void transfers() {
        QFETCH(QList<Fault>, faults);
        QFETCH(qint64, size);
        QFETCH(int, tls);
        QFETCH(int, requests);
        QFETCH(bool, resumes);
        QFETCH(QString, message);
        QFETCH(int, cuts);
        QFETCH(int, held);
        QFETCH(bool, offline);
        if (tls)
            m_service = m_tls.get();
        auto clock = std::make_shared<FakePacerClock>();
        auto options = fastOptions(clock);
        options.maxTransferRequests = cuts > 0 ? 100 : 6;
        auto client = makeClient(options);
        const auto created = create(*client);
        QVERIFY(created);
        for (const Fault& fault : faults)
            QVERIFY(m_service->addFault(fault));
        if (tls == 2) {
            options.testAuthorities.clear();
            client = makeClient(options);
        }
        const qint64 unit = 256 * 1024;
        qint64 lowestAfterResume = size;
        QList<bool> unreachable;
        FileTransfer transfer;
        transfer.unreachable = [&](bool down) {
            unreachable.append(down);
        };
        transfer.resumedAt = [&](qint64 held, qint64) {
            lowestAfterResume = held;
        };
        transfer.progress = [&](qint64 sent, qint64) {
            lowestAfterResume = std::min(lowestAfterResume, sent);
        };

        const QString file =
            size < 0 ? m_dir.filePath(QStringLiteral("gone.mov")) : writeFile(size);
        const auto uploaded = run(client->uploadFile(file, created->url, transfer));
        QVERIFY(reads(uploaded, QString(), message));
        if (requests >= 0)
            QCOMPARE(m_service->countRequests(QStringLiteral("PUT"), created->url.path()),
                     requests);
        QCOMPARE(!clock->wakeUps().isEmpty(), resumes);
        QCOMPARE(unreachable, offline ? (QList<bool>{true, false}) : QList<bool>());
        bool asked = false;
        for (const auto& request : m_service->requests()) {
            const QString range = request.headers.value(QStringLiteral("content-range"));
            QVERIFY(!range.startsWith(QStringLiteral("bytes %1-").arg(size)));
            asked = asked || range == QStringLiteral("bytes */%1").arg(size);
        }
        if (cuts == 0)
            return;
        const QJsonObject upload = m_service->uploads().first().toObject();
        QVERIFY(upload.value(QLatin1StringView("received")).toBool());
        QCOMPARE(m_service->uploads().size(), 1);
        const qint64 resent = upload.value(QLatin1StringView("bytes_received")).toInteger() - size;
        QVERIFY2(resent >= 0 && resent < cuts * unit, qPrintable(QString::number(resent)));
        QVERIFY(lowestAfterResume >= held * unit);
        QVERIFY(asked);
    }

    // The file's own request ends a reply that trickles (a byte each trickleMs) with the
    // limit's message, and one that never comes at the idle time-out. The
    // transfer's rows above read its replies through it; the parser's rows below each framing.
    void streamedRequestEndsASlowReply_data() {
        QTest::addColumn<int>("trickleMs");
        QTest::addColumn<QString>("message");
        QTest::newRow("no answer") << 0 << "Network: *";
        // The windows below take 50 ms and want 20 bytes each.
        QTest::newRow("trickling below the rate")
            << 50 << "Network: The storage host's reply arrived too slowly.";
        QTest::newRow("fast enough, but past the deadline")
            << 1 << "Network: The storage host did not finish its reply in time.";
    }

    void streamedRequestEndsASlowReply() {
        QFETCH(int, trickleMs);
        QFETCH(QString, message);
        QVERIFY(m_service->addFault({.method = "PUT",
                                     .path = "/_upload/*",
                                     .status = trickleMs ? 200 : 0,
                                     .hang = !trickleMs,
                                     .trickleMs = trickleMs}));
        auto file = std::make_unique<QFile>(writeFile(300000));
        QVERIFY(file->open(QIODevice::ReadOnly));

        ReplyLimits limits{.deadline = 400ms, .minBytesPerWindow = 20, .rateWindow = 50ms};
        StreamedRequest call(
            "PUT", QNetworkRequest(m_service->baseUrl().toString() + QStringLiteral("/_upload/a")),
            std::move(file), trickleMs ? 60s : 200ms, limits);
        QSignalSpy finished(&call, &StreamedRequest::finished);
        call.start();
        QVERIFY(finished.wait(20000));
        QVERIFY(m_service->releaseHangingReplies());
        const auto& outcome = call.outcome();
        QCOMPARE(outcome ? 0 : outcome.error().code,
                 int(trickleMs ? QNetworkReply::ProtocolFailure
                               : QNetworkReply::OperationCanceledError));
        QVERIFY(reads(outcome, QString(), message));
    }

    // A reply read whole and read a byte at a time, then the connection closes; limits of
    // 128 head and 16 body bytes. "text" is the body, or the error when it fails.
    void replyParser_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("state"); // HttpReplyParser::State
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        const int incomplete = int(HttpReplyParser::State::incomplete);
        const int complete = int(HttpReplyParser::State::complete);
        const int failed = int(HttpReplyParser::State::failed);
        const QString invalidLength =
            QStringLiteral("The storage host sent an invalid Content-Length.");
        const QString bodyTooLarge =
            QStringLiteral("The storage host's reply is larger than 16 bytes.");
        const QString headTooLarge =
            QStringLiteral("The storage host's reply head is larger than 128 bytes.");
        const QByteArray ok = "HTTP/1.1 200 OK\r\n";
        QTest::newRow("by length") << ok + "Content-Length: 2\r\n\r\nhi" << complete << 200 << "hi";
        QTest::newRow("interim, then final")
            << "HTTP/1.1 100 Continue\r\n\r\n" + ok + "Content-Length: 0\r\n\r\n"
            << complete << 200 << "";
        QTest::newRow("until the close") << ok + "\r\nabc" << complete << 200 << "abc";
        QTest::newRow("cut short")
            << ok + "Content-Length: 9\r\n\r\nabc" << incomplete << 200 << "abc";
        QTest::newRow("chunked") << ok + "Transfer-Encoding: chunked\r\n\r\n2\r\nab\r\n0\r\n\r\n"
                                 << complete << 200 << "ab";
        QTest::newRow("malformed length")
            << ok + "Content-Length: 2x\r\n\r\nhi" << failed << 200 << invalidLength;
        QTest::newRow("two lengths") << ok + "Content-Length: 2\r\nContent-Length: 3\r\n\r\nhi"
                                     << failed << 200 << invalidLength;
        QTest::newRow("length beyond the cap") << ok + "Content-Length: 17\r\n\r\n"
                                               << failed << 200 << bodyTooLarge;
        QTest::newRow("endless until the close")
            << ok + "\r\n" + QByteArray(17, 'x') << failed << 200 << bodyTooLarge;
        QTest::newRow("chunk beyond the cap") << ok + "Transfer-Encoding: chunked\r\n\r\n11\r\n"
                                              << failed << 200 << bodyTooLarge;
        QTest::newRow("malformed chunk size")
            << ok + "Transfer-Encoding: chunked\r\n\r\nzz\r\n"
            << failed << 200 << "The storage host sent a malformed chunk size.";
        QTest::newRow("endless head") << ok + QByteArray(120, 'x') << failed << 0 << headTooLarge;
        QTest::newRow("endless interim heads")
            << QByteArray("HTTP/1.1 100 Continue\r\n\r\n").repeated(6) << failed << 100
            << headTooLarge;
        QTest::newRow("malformed status") << QByteArray("HTTP/1.1 2x0 OK\r\n\r\n") << failed << 0
                                          << "The storage host sent a malformed status line.";
    }

    void replyParser() {
        QFETCH(QByteArray, reply);
        QFETCH(int, state);
        QFETCH(int, status);
        QFETCH(QString, text);
        const ReplyLimits limits{.maxHeadBytes = 128, .maxBodyBytes = 16};
        HttpReplyParser whole(false, limits);
        HttpReplyParser piecewise(false, limits);
        whole.feed(reply);
        for (const char byte : reply)
            piecewise.feed(QByteArrayView(&byte, 1));
        for (HttpReplyParser* parser : {&whole, &piecewise}) {
            QCOMPARE(int(parser->closed()), state);
            QCOMPARE(parser->status(), status);
            QCOMPARE(state == int(HttpReplyParser::State::failed)
                         ? parser->error()
                         : QString::fromUtf8(parser->body()),
                     text);
        }
    }

    void listingOutcomes_data();

    void listingOutcomes() {
        QFETCH(StandInService::Paging, paging);
        QFETCH(Fault, fault);
        QFETCH(QString, secret);
        QFETCH(int, code);
        QFETCH(QString, outcome);
        QFETCH(QStringList, targets);
        QVERIFY(m_service->setPaging(paging));
        if (code != 401)
            QVERIFY(m_service->setCredentials(m_service->tokenID(), secret));
        QVERIFY(m_service->seedGeneratedAssets(250));
        if (!fault.path.isEmpty())
            QVERIFY(m_service->addFault(fault));

        auto client = makeClient();
        client->setCredentials(QStringLiteral("stale"), QStringLiteral("pair"));
        const auto assets = run(client->listAllAssets(m_service->tokenID(), secret));

        QCOMPARE(assets ? 0 : assets.error().code, code);
        QVERIFY(reads(assets, assets ? QString::number(assets->size()) : QString(), outcome));
        for (int i = 0; assets && i < 250; ++i)
            QCOMPARE(assets->at(i).id, QStringLiteral("seeded%1").arg(i + 1, 4, 10, QChar(u'0')));
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

    // The HTTPS stand-in, trusted, plays another host: a redirect there must not take the
    // credential along nor pass for a complete listing (a links.next there is nextLocation's).
    void redirectElsewhereNeverSeesTheCredential() {
        const QByteArray elsewhere =
            m_tls->baseUrl().toString().toUtf8() + "/video/v1/assets?page=2";
        QVERIFY(m_service->addFault(
            {.path = "/video/v1/assets", .status = 302, .headers = {{"Location", elsewhere}}}));
        auto options = fastOptions();
        options.testAuthorities = m_tls->clientOptions().testAuthorities;
        const auto assets =
            run(makeClient(options)->listAllAssets(m_service->tokenID(), m_service->tokenSecret()));
        QVERIFY(!assets);
        for (const auto& request : m_tls->requests())
            QVERIFY(!request.headers.contains(QStringLiteral("authorization")));
    }

    void nextLocation_data();

    void nextLocation() {
        QFETCH(QByteArray, members);
        QFETCH(QString, next);

        const QUrl first(QStringLiteral("https://api.example/video/v1/assets?limit=100"));
        const QUrl current(QStringLiteral("https://api.example/video/v1/assets?limit=100&page=2"));
        const auto decoded = decodeMuxAssetListResponse(R"({"data":[])" + members + "}");
        QVERIFY2(decoded, errorText(decoded).constData());
        const auto location = nextAssetPageLocation(first, current, *decoded);
        const QString found = !location   ? QStringLiteral("error: ") + location.error().message
                              : *location ? location->value().toString(QUrl::FullyEncoded)
                                          : QString();
        QCOMPARE(found, next);
    }

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

    // The stand-in announces a per-minute budget on each reply; the pacer spends it as fast
    // as it lasts (its fixed rates without one are the pacer's rows).
    void listingFollowsTheAnnouncedBudget_data() {
        QTest::addColumn<int>("perMinute");
        QTest::addColumn<int>("leastMs");
        QTest::addColumn<int>("mostMs");
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
        auto options = fastOptions(clock);
        options.otherRequestsPerSecond = MuxClient::Options().otherRequestsPerSecond;
        auto client = makeClient(options);

        const auto listed =
            run(client->listAllAssets(m_service->tokenID(), m_service->tokenSecret()));
        QVERIFY2(listed, errorText(listed).constData());
        QVERIFY2(clock->elapsed() >= ms(leastMs) && clock->elapsed() <= ms(mostMs),
                 QByteArray::number(clock->elapsed().count()).constData());
        for (const auto& request : m_service->requests())
            QCOMPARE(request.status, 200);
    }

    // A spent budget whose reset is an hour away holds the API's requests no longer than
    // a Retry-After may, and a stop ends the hold at once; the storage host is never held.
    void spentBudgetHold_data() {
        QTest::addColumn<QString>("next"); // "create", "cancelled create", "transfer"
        QTest::addColumn<QList<ms>>("wakeUps");
        QTest::addColumn<ms>("elapsed");
        const ms cap = ServiceTransport::RetryPolicy().maxRetryAfter;
        QTest::newRow("API request") << "create" << QList<ms>{cap} << cap;
        QTest::newRow("cancelled API request") << "cancelled create" << QList<ms>{cap} << ms(0);
        QTest::newRow("file transfer") << "transfer" << QList<ms>{} << ms(0);
    }

    void spentBudgetHold() {
        QFETCH(QString, next);
        QFETCH(QList<ms>, wakeUps);
        QFETCH(ms, elapsed);
        QVERIFY(m_service->seedGeneratedAssets(1, {}, {}, QStringLiteral("a")));
        auto clock = std::make_shared<FakePacerClock>();
        auto client = makeClient(fastOptions(clock));
        const auto created = create(*client);
        QVERIFY(created);
        QVERIFY(m_service->addFault(
            {.method = "PATCH",
             .path = "/video/v1/assets/a0001",
             .headers = {{"X-RateLimit-Remaining", "0"}, {"X-RateLimit-Reset", "3600"}}}));
        QVERIFY(run(client->updateAssetTitle(QStringLiteral("a0001"), QStringLiteral("t"))));

        if (next == u"transfer") {
            QVERIFY(run(client->uploadFile(writeFile(1000), created->url)));
        } else {
            auto stop = std::make_shared<StopSource>();
            auto pending =
                client->createUpload(QStringLiteral("b.mov"), QStringLiteral("2160p"), stop);
            if (next == u"cancelled create")
                stop->stop();
            const auto second = run(std::move(pending));
            QCOMPARE(second ? QString() : second.error().message,
                     next == u"create" ? QString() : ServiceTransport::cancelled().message);
        }
        QCOMPARE(clock->wakeUps(), wakeUps);
        QCOMPARE(clock->elapsed(), elapsed);
    }

    // No Retry-After (nothing) leaves the wait to the backoff: the retries' rows.
    void retryAfterForms_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<std::optional<ms>>("delay");

        QTest::newRow("spaces") << QByteArray(" 0 ") << std::optional<ms>(0s);
        QTest::newRow("negative") << QByteArray("-5") << std::optional<ms>();
        QTest::newRow("nonsense") << QByteArray("soon") << std::optional<ms>();
        QTest::newRow("date in the past")
            << QByteArray("Wed, 21 Oct 2015 07:28:00 GMT") << std::optional<ms>(0s);
        // Beyond a day is read as a day.
        QTest::newRow("date years ahead")
            << QByteArray("Wed, 21 Oct 2099 07:28:00 GMT") << std::optional<ms>(24h);
        QTest::newRow("absurd") << QByteArray("99999999999999999999") << std::optional<ms>();
    }

    void retryAfterForms() {
        QFETCH(QByteArray, value);
        QFETCH(std::optional<ms>, delay);
        QCOMPARE(parseRetryAfter(value), delay);
    }

    // curl's --limit-rate forms; nothing for what is no rate.
    void byteRates_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::optional<qint64>>("rate");
        QTest::newRow("plain") << "20000" << std::optional<qint64>(20000);
        QTest::newRow("k") << "500k" << std::optional<qint64>(500 * 1024);
        QTest::newRow("M") << "5M" << std::optional<qint64>(5 * 1024 * 1024);
        QTest::newRow("g, decimal") << "1.5g" << std::optional<qint64>(3LL * 512 * 1024 * 1024);
        for (const char* bad : {"", "M", "0", "-5M", "5 M", "5MB", "1e6", "1.2.3", "\u0665"})
            QTest::newRow(bad) << QString::fromUtf8(bad) << std::optional<qint64>();
    }

    void byteRates() {
        QFETCH(QString, text);
        QFETCH(std::optional<qint64>, rate);
        QCOMPARE(parseByteRate(text), rate);
    }

    // The bucket on a clock the test moves: what leaves over a second is the rate, a
    // quiet spell lets out no more than a quarter second of it, and no limit grants all.
    void bandwidthBucket_data() {
        QTest::addColumn<qint64>("rate");
        QTest::addColumn<qint64>("quietMs");
        QTest::addColumn<qint64>("grantedInASecond"); // after the quiet spell, 1 ms steps
        QTest::newRow("off") << qint64(0) << qint64(0) << qint64(1000) * 256 * 1024;
        QTest::newRow("1 MB/s") << qint64(1000000) << qint64(0) << qint64(1000000);
        QTest::newRow("after a quiet spell") << qint64(1000000) << qint64(5000) << qint64(1250000);
    }

    void bandwidthBucket() {
        QFETCH(qint64, rate);
        QFETCH(qint64, quietMs);
        QFETCH(qint64, grantedInASecond);
        qint64 now = 0;
        BandwidthLimiter limiter(rate, [&now] { return now; });
        now += quietMs;
        qint64 granted = 0;
        for (int step = 0; step < 1000; ++step, ++now) {
            qint64 got = 0;
            while ((got = limiter.grant(256 * 1024)) > 0 && rate > 0)
                granted += got;
            if (rate <= 0)
                granted += got;
            else
                QVERIFY(limiter.waitMs(256 * 1024) > 0);
        }
        // Within one step's refill of the expected amount.
        QVERIFY2(std::abs(granted - grantedInASecond) <= rate / 1000 + 64 * 1024,
                 qPrintable(QString::number(granted)));
    }
};

// Tables defined below the class: moc misreads raw strings, and the "//" in these would
// end its reading of the class.

void TestMuxClient::apiCalls_data() {
    QTest::addColumn<ApiCall>("row");
    const auto row = [](const QByteArray& tag, const char* call, std::optional<Fault> fault,
                        int code, const QString& outcome, int requests = 1, QList<ms> waits = {}) {
        QTest::newRow(tag.constData())
            << ApiCall{call, QStringLiteral("x0001"), false, fault, code, outcome, requests, waits};
    };
    const auto answer = [](int status, std::optional<QByteArray> body = std::nullopt,
                           std::optional<int> times = std::nullopt) {
        return Fault{.times = times, .status = status, .body = body};
    };
    // A poll's reply {"data":{<members>}}.
    const auto data = [](const QByteArray& members) {
        return Fault{.status = 200, .body = R"({"data":{)" + members + "}}"};
    };

    const QByteArray valid = R"({"data":{"id":"u1","url":"https://storage.example/u1?sig=x"}})";
    row("create: 299 passes", "create", answer(299, valid), 0,
        "u1 https://storage.example/u1?sig=x");
    // An informational status carries no body in HTTP.
    row("create: 199 fails", "create", answer(199, ""), 199, "HTTP 199: ");
    row("create: 300 fails", "create", answer(300, valid), 300, "HTTP 300: " + valid);
    row("create: cut-off UTF-8 sequence", "create", answer(422, "caf\xc3"), 422, "HTTP 422: ");
    row("create: UTF-8 body", "create", answer(400, "caf\xc3\xa9"), 400, "HTTP 400: café");
    row("create: relative location", "create",
        answer(201, R"({"data":{"id":"u1","url":"/relative/only"}})"), invalidLocationCode,
        "The upload location \"/relative/only\" is not a valid address.");
    row("create: malformed", "create", Fault{.malformedJson = true}, json::syntaxError, "JSON: *");

    // Failures below HTTP are the network's, with Qt's code (the refused row's port is the
    // closed one). A dropped POST may have landed, so the client waits for no second try; a
    // dropped GET it tries again (the ready row of status 0, where Qt's own resend saves a wait).
    QTest::newRow("title: connection refused") << ApiCall{
        "title", "x0001", true, {}, QNetworkReply::ConnectionRefusedError, "Network: *", 0};
    row("title: idle time-out", "title", Fault{.hang = true}, QNetworkReply::OperationCanceledError,
        "Network: *");
    row("create: dropped", "create", Fault{.dropBeforeReply = true},
        QNetworkReply::RemoteHostClosedError, "Network: *", -1);

    // Each retry waits twice the one before from 1 s; after five the failure stands. The
    // waits poll on through any 5xx, so a PATCH shows it.
    for (const int status : {429, 502, 503, 504})
        row("title: " + QByteArray::number(status) + " twice", "title", answer(status, {}, 2), 0,
            "", 3, {1s, 2s});
    row("title: 503 until it gives up", "title", answer(503), 503, "HTTP 503: *", 6,
        {1s, 2s, 4s, 8s, 16s});
    row("title: 500 is final", "title", answer(500, {}, 2), 500, "HTTP 500: *");
    // The wait a 429 names is the wait, up to the cap (its forms are parseRetryAfter's rows).
    for (const auto& [value, wait] : {std::pair<QByteArray, ms>{"7", 7s},
                                      {"3600", ServiceTransport::RetryPolicy().maxRetryAfter}})
        row("title: Retry-After " + value, "title",
            Fault{.times = 1, .status = 429, .headers = {{"Retry-After", value}}}, 0, "", 2,
            {wait});

    row("id: never an asset", "id", data(R"("status":"waiting")"), assetIdTimeoutCode,
        "Timeout waiting for asset_id", 5);
    row("id: an empty id is an id", "id", data(R"("asset_id":"")"), 0, "");
    row("id: errored with a message", "id",
        data(R"("status":"errored","error":{"type":"invalid_input",)"
             R"("message":"File is not a video"})"),
        uploadDeadCode, "Upload errored: File is not a video");
    for (const QByteArray status : {"cancelled", "timed_out"})
        row("id: " + status, "id", data(R"("status":")" + status + '"'), uploadDeadCode,
            "Upload " + status);
    for (const char* members : {R"("status":"preparing","playback_ids":[{"id":"p1"}])",
                                R"("status":"Ready","playback_ids":[{"id":"p1"}])",
                                R"("status":"ready","playback_ids":[])", R"("status":"ready")"})
        row(QByteArray("ready: not yet, ") + members, "ready", data(members), readyTimeoutCode,
            "Timeout waiting for ready (asset x0001)", 5);
    row("ready: errored", "ready",
        data(R"("status":"errored","errors":{"type":"invalid_input",)"
             R"("messages":["No video track","Bad container"]})"),
        assetErroredCode, "Asset errored: No video track; Bad container");
    // An error detail of another shape never fails the decode of the asset's state.
    row("ready: errored, detail of another shape", "ready",
        data(R"("status":"errored","errors":"broken")"), assetErroredCode, "Asset errored");
    for (const char* call : {"id", "ready"})
        row(call + QByteArray(": refused"), call, answer(404, R"({"error":{"type":"not_found"}})"),
            404, R"(HTTP 404: {"error":{"type":"not_found"}})");
    // Transport retries end after five; the wait polls on through more.
    for (const int status : {0, 429, 503})
        row("ready: " + QByteArray::number(status) + " seven times", "ready",
            Fault{.times = 7, .status = status, .dropBeforeReply = status == 0}, 0, "pb-x0001", 8,
            status ? QList<ms>{1s, 2s, 4s, 8s, 16s, 1s} : QList<ms>{1s, 2s, 4s, 8s, 16s});

    row("delete: existing", "delete", {}, 0, "");
    row("delete: reply lost, retry finds it gone", "delete",
        Fault{.times = 1, .dropAfterHandling = true}, 0, "", 2);
    // A refused delete's body is discarded; an ID that names another place is sent nowhere.
    QTest::newRow("delete: missing") << ApiCall{"delete", "gone", false, {}, 404, "HTTP 404: "};
    for (const char* id : {"a/../../uploads", "a?limit=1", "", ".."}) {
        const QString message = QStringLiteral("The ID \"%1\" does not form a valid location.")
                                    .arg(QLatin1StringView(id));
        for (const char* call : {"delete", "ready"})
            QTest::addRow("%s: unsafe ID \"%s\"", call, id) << ApiCall{
                call, QString::fromLatin1(id), false, {}, invalidLocationCode, message, 0};
    }
}

// A listing of 250 assets under each paging and failure: "outcome" is the number
// listed, or the error as reads() takes it. The client's own pair is stale, so every
// request must carry the pair the listing was given.
void TestMuxClient::listingOutcomes_data() {
    QTest::addColumn<StandInService::Paging>("paging");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("targets"); // the first requests, in order
    const QString first = QStringLiteral("/video/v1/assets?limit=100");
    const QString secret = m_plain->tokenSecret();
    const auto links = StandInService::Paging::links;

    // The pair is UTF-8 in Base64's standard alphabet: after "stand-in-id:", "ab>cd?"
    // encodes to "YWI+Y2Q/", not the URL-safe "YWI-Y2Q_".
    QTest::newRow("links.next, non-ASCII secret")
        << links << Fault{} << QStringLiteral("sécret:ü") << 0 << "250"
        << QStringList{first, first + "&page=2", first + "&page=3"};
    // The stand-in's cursors hold '/', '+' and '=', which only survive percent-encoded.
    QTest::newRow("next_cursor, + and / in Base64")
        << StandInService::Paging::cursor << Fault{} << QStringLiteral("ab>cd?") << 0 << "250"
        << QStringList{first, first + "&cursor=o%2F100%2B%3D", first + "&cursor=o%2F200%2B%3D"};
    // An empty secret is still sent, and refused once.
    QTest::newRow("refused") << links << Fault{} << QString() << 401 << "HTTP 401: {\"error\"*"
                             << QStringList{first};
    QTest::newRow("later page malformed")
        << links << Fault{.path = "/video/v1/assets", .skip = 1, .malformedJson = true} << secret
        << int(json::syntaxError) << "JSON: *" << QStringList{first, first + "&page=2"};
    const QString second = m_plain->baseUrl().toString() + first + "&page=2";
    QTest::newRow("third page names the second as the next")
        << links
        << Fault{.path = "/video/v1/assets",
                 .skip = 2,
                 .status = 200,
                 .body = R"({"data":[{"id":"a","status":"ready"}],"links":{"next":")" +
                         second.toUtf8() + "\"}}"}
        << secret << int(pagingLoopCode) << "The asset list repeats the page at " + second + "."
        << QStringList{first, first + "&page=2", first + "&page=3"};
}

// A row's members follow "data":[] on the page at "?limit=100&page=2".
void TestMuxClient::nextLocation_data() {
    QTest::addColumn<QByteArray>("members");
    QTest::addColumn<QString>("next"); // empty: the listing ends; "error: " and its message
    const auto row = [](const char* tag, const char* members, const char* next) {
        QTest::newRow(tag) << QByteArray(members) << QString::fromUtf8(next);
    };
    row("no links, no cursor", "", "");
    row("null next", R"(,"links":{"next":null})", "");
    row("empty next", R"(,"links":{"next":""})", "");
    row("empty cursor", R"(,"next_cursor":"")", "");
    row("absolute next", R"(,"links":{"next":"https://api.example/p?page=2"})",
        "https://api.example/p?page=2");
    row("next on another host", R"(,"links":{"next":"https://other.example/p?page=2"})",
        "error: The next page is on another host: other.example");
    row("next on another port", R"(,"links":{"next":"https://api.example:8443/p"})",
        "error: The next page is on another host: api.example:8443");
    row("next over plain http", R"(,"links":{"next":"http://api.example/p"})",
        "error: The next page is on another host: api.example");
    row("next that does not parse", R"(,"links":{"next":"http://[bad"},"next_cursor":"c")",
        "error: The next page address is not valid: http://[bad");
    row("relative next resolved", R"(,"links":{"next":"/video/v1/assets?page=3"})",
        "https://api.example/video/v1/assets?page=3");
    row("links.next wins over the cursor",
        R"(,"links":{"next":"https://api.example/n"},"next_cursor":"c")", "https://api.example/n");
    row("cursor", R"(,"next_cursor":"a b/c+d=&e")",
        "https://api.example/video/v1/assets?limit=100&cursor=a%20b%2Fc%2Bd%3D%26e");
}

QTEST_GUILESS_MAIN(TestMuxClient)
#include "tst_muxclient.moc"
