#include "ResultText.h"
#include "ServiceTestSupport.h"
#include "TestFiles.h"
#include "model/JsonDecode.h"
#include "service/ServiceError.h"
#include "service/StreamedRequest.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace clipferry;
using namespace std::chrono_literals;
using Fault = StandInService::Fault;

class TestMuxClient : public ServiceTest {
    Q_OBJECT

private slots:
    void destroyingTheClientEndsItsWaits();
    void authorizationHeader_data();
    void authorizationHeader();
    void uploadFlowFromCreateToTitle();
    void createUploadOutcomes_data();
    void createUploadOutcomes();
    void transportFailures_data();
    void transportFailures();

    void uploadFileStatus_data();
    void uploadFileStatus();
    void cutTransferResumesFromTheHeldBytes_data();
    void cutTransferResumesFromTheHeldBytes();
    void uploadOfAMissingFileFailsWithTheFileError();
    void streamedRequestReadsTheReply_data();
    void streamedRequestReadsTheReply();

    void waitsEnd_data();
    void waitsEnd();
    void waitsPollThroughPassingFailures_data();
    void waitsPollThroughPassingFailures();

    void deleteAsset_data();
    void deleteAsset();
    void unsafeIDsNeverReachTheService();

private:
    [[nodiscard]] QString writeFile(qint64 size);
    [[nodiscard]] int gets(const QString& path) const {
        return m_service->countRequests(QStringLiteral("GET"), path);
    }
    [[nodiscard]] static Result<CreatedUpload> create(MuxClient& client) {
        return run(client.createUpload(QStringLiteral("a.mov"), QStringLiteral("2160p")));
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

namespace {
QCoro::Task<> recordOutcome(QCoro::Task<Result<QString>> wait, std::shared_ptr<QString> outcome) {
    auto result = co_await std::move(wait);
    *outcome = result ? QStringLiteral("value") : result.error().message;
}
} // namespace

// The client goes with its owner; a wait sleeping at that moment must end quietly when it
// wakes, not touch the client.
void TestMuxClient::destroyingTheClientEndsItsWaits() {
    QVERIFY(m_service->setUploadPollsBeforeAsset(0));
    auto options = fastClientOptions(*m_service, {});
    options.assetIdPollInterval = 50ms;
    options.assetIdAttempts = 100;
    auto client = makeClient(options);
    const auto created = create(*client);
    QVERIFY(created);
    auto outcome = std::make_shared<QString>();
    auto pending = recordOutcome(client->waitForAssetID(created->id), outcome);
    const auto polls = [&] {
        return gets(QStringLiteral("/video/v1/uploads/*"));
    };
    QTRY_VERIFY(polls() >= 1);
    client.reset();
    QTRY_COMPARE(*outcome, QStringLiteral("The request was cancelled."));
    const int pollsAtTheEnd = polls();
    QTest::qWait(120);
    QCOMPARE(polls(), pollsAtTheEnd);
}

QString TestMuxClient::writeFile(qint64 size) {
    const QString path = m_dir.filePath(QStringLiteral("clip%1.mov").arg(++m_files));
    return writeRandomFile(path, size) ? path : QString();
}

// --- requests ------------------------------------------------------------------------

void TestMuxClient::authorizationHeader_data() {
    QTest::addColumn<QString>("tokenID");
    QTest::addColumn<QString>("tokenSecret");
    QTest::addColumn<bool>("serviceAccepts");

    QTest::newRow("the service's pair") << "stand-in-id"
                                        << "stand-in-secret" << true;
    QTest::newRow("non-ASCII pair") << QStringLiteral("idé") << QStringLiteral("sécret:ü") << true;
    // Encodes to "YWI+Y2Q/..." : the standard alphabet, not the URL-safe one.
    QTest::newRow("+ and / in Base64") << "ab>cd?"
                                       << "secret" << true;
    QTest::newRow("both empty") << ""
                                << "" << false;
}

void TestMuxClient::authorizationHeader() {
    QFETCH(QString, tokenID);
    QFETCH(QString, tokenSecret);
    QFETCH(bool, serviceAccepts);
    if (serviceAccepts)
        QVERIFY(m_service->setCredentials(tokenID, tokenSecret));

    auto client = makeClient();
    client->setCredentials(tokenID, tokenSecret);
    const auto created = create(*client);

    const auto requests = m_service->requests();
    QCOMPARE(requests.size(), 1);
    const QByteArray expected =
        "Basic " + (tokenID + QLatin1Char(':') + tokenSecret).toUtf8().toBase64();
    QCOMPARE(requests.first().headers.value(QStringLiteral("authorization")).toUtf8(), expected);
    QCOMPARE(bool(created), serviceAccepts);
    if (!serviceAccepts) {
        QCOMPARE(created.error().code, 401);
        QVERIFY(created.error().domain.isEmpty());
        QVERIFY2(created.error().message.startsWith(QStringLiteral("HTTP 401: {\"error\"")),
                 qPrintable(created.error().message));
    }
}

// The whole flow: the POST carries the settings, the PUT streams the file without the
// credential, each wait polls until the service has what it waits for, and the title
// is set on the asset.
void TestMuxClient::uploadFlowFromCreateToTitle() {
    QVERIFY(m_service->setUploadPollsBeforeAsset(3));
    QVERIFY(m_service->setAssetPollsBeforeReady(3));
    auto client = makeClient();
    const auto created = run(
        client->createUpload(QStringLiteral("E1_Open_PAR_M01_a b.mov"), QStringLiteral("2160p")));
    QVERIFY2(created, errorText(created).constData());
    QCOMPARE(created->url.toString(),
             m_service->baseUrl().toString() + QStringLiteral("/_upload/") + created->id);
    const auto post = m_service->requests().first();
    QCOMPARE(post.method, QStringLiteral("POST"));
    QCOMPARE(post.path, QStringLiteral("/video/v1/uploads"));
    QCOMPARE(post.headers.value(QStringLiteral("content-type")),
             QStringLiteral("application/json"));
    const QJsonObject expected{
        {QStringLiteral("new_asset_settings"),
         QJsonObject{{QStringLiteral("playback_policy"), QJsonArray{QStringLiteral("public")}},
                     {QStringLiteral("max_resolution_tier"), QStringLiteral("2160p")},
                     {QStringLiteral("passthrough"), QStringLiteral("E1_Open_PAR_M01_a b.mov")}}}};
    QCOMPARE(QJsonDocument::fromJson(post.body).object(), expected);
    QVERIFY2(!post.body.contains('\n'), "the body is compact");

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
    QCOMPARE(put.method, QStringLiteral("PUT"));
    QVERIFY(!put.headers.contains(QStringLiteral("authorization")));
    QCOMPARE(put.headers.value(QStringLiteral("content-length")), QString::number(size));
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last(), std::make_pair(size, size));
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));

    const auto assetID = run(client->waitForAssetID(created->id));
    QVERIFY2(assetID, errorText(assetID).constData());
    QCOMPARE(*assetID, upload.value(QLatin1StringView("asset_id")).toString());
    const auto playbackID = run(client->waitForAssetReady(*assetID));
    QVERIFY2(playbackID, errorText(playbackID).constData());
    const QJsonObject asset = m_service->assets().first().toObject();
    QCOMPARE(*playbackID,
             asset[QStringLiteral("playback_ids")][0][QStringLiteral("id")].toString());
    QCOMPARE(gets(QStringLiteral("/video/v1/uploads/") + created->id), 3);
    QCOMPARE(gets(QStringLiteral("/video/v1/assets/") + *assetID), 3);

    const auto titled = run(client->updateAssetTitle(*assetID, QStringLiteral("E1 \"x\"")));
    QVERIFY2(titled, errorText(titled).constData());
    const auto patch = m_service->requests().last();
    QCOMPARE(patch.method, QStringLiteral("PATCH"));
    QCOMPARE(patch.headers.value(QStringLiteral("content-type")),
             QStringLiteral("application/json"));
    QCOMPARE(QJsonDocument::fromJson(patch.body).object(),
             (QJsonObject{{QStringLiteral("meta"),
                           QJsonObject{{QStringLiteral("title"), QStringLiteral("E1 \"x\"")}}}}));
    QCOMPARE(m_service->assets()
                 .first()
                 .toObject()[QStringLiteral("meta")][QStringLiteral("title")]
                 .toString(),
             QStringLiteral("E1 \"x\""));
}

// What the service answers the POST, and what the caller gets: "outcome" is the upload
// ID, or the start of the error message (an empty domain is the client's own).
void TestMuxClient::createUploadOutcomes_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body"); // empty: the normal reply cut short
    QTest::addColumn<QString>("domain");
    QTest::addColumn<int>("code"); // 0: success
    QTest::addColumn<QString>("outcome");

    const QByteArray valid = R"({"data":{"id":"u1","url":"https://storage.example/u1?sig=x"}})";
    QTest::newRow("201 passes") << 201 << valid << "" << 0 << "u1";
    QTest::newRow("299 passes") << 299 << valid << "" << 0 << "u1";
    // An informational status carries no body in HTTP.
    QTest::newRow("199 fails") << 199 << QByteArray() << "" << 199 << "HTTP 199: ";
    QTest::newRow("300 fails") << 300 << valid << "" << 300 << QStringLiteral("HTTP 300: ") + valid;
    QTest::newRow("non-UTF-8 body")
        << 500 << QByteArray("\xff\xfe bad \xc3") << "" << 500 << "HTTP 500: ";
    QTest::newRow("cut-off UTF-8 sequence")
        << 502 << QByteArray("caf\xc3") << "" << 502 << "HTTP 502: ";
    QTest::newRow("UTF-8 body") << 400 << QByteArray("caf\xc3\xa9") << "" << 400
                                << QStringLiteral("HTTP 400: café");
    QTest::newRow("relative location")
        << 201 << QByteArray(R"({"data":{"id":"u1","url":"/relative/only"}})") << ""
        << int(invalidLocationCode) << "";
    QTest::newRow("no id") << 201 << QByteArray(R"({"data":{"url":"x"}})") << "JSON"
                           << int(json::missingMember) << "The member \"data.id\" is missing.";
    QTest::newRow("malformed") << 0 << QByteArray() << "JSON" << int(json::syntaxError) << "";
}

void TestMuxClient::createUploadOutcomes() {
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, domain);
    QFETCH(int, code);
    QFETCH(QString, outcome);
    if (status == 0)
        QVERIFY(m_service->addFault({.path = "/video/v1/uploads", .malformedJson = true}));
    else
        QVERIFY(m_service->addFault({.path = "/video/v1/uploads", .status = status, .body = body}));

    auto client = makeClient();
    const auto created = create(*client);

    QCOMPARE(created ? 0 : created.error().code, code);
    if (created) {
        QCOMPARE(created->id, outcome);
        QCOMPARE(created->url, QUrl(QStringLiteral("https://storage.example/u1?sig=x")));
    } else {
        QCOMPARE(created.error().domain, domain);
        QVERIFY2(created.error().message.startsWith(outcome), qPrintable(created.error().message));
    }
}

// Failures below HTTP are the network's, with Qt's code: a port nobody listens on any
// more, and a request that hangs past the idle time-out.
void TestMuxClient::transportFailures_data() {
    QTest::addColumn<bool>("hang");
    QTest::addColumn<int>("code");
    QTest::newRow("connection refused") << false << int(QNetworkReply::ConnectionRefusedError);
    QTest::newRow("idle time-out") << true << int(QNetworkReply::OperationCanceledError);
}

void TestMuxClient::transportFailures() {
    QFETCH(bool, hang);
    QFETCH(int, code);
    MuxClient::Options options = fastClientOptions(*m_service, std::make_shared<FakePacerClock>());
    options.transferTimeout = 200ms;
    if (hang) {
        QVERIFY(m_service->addFault({.method = "PATCH", .path = "/video/v1/*", .hang = true}));
    } else {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        options.apiBase = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
    }
    const auto failed =
        run(makeClient(options)->updateAssetTitle(QStringLiteral("a1"), QStringLiteral("t")));
    QVERIFY(!failed);
    QCOMPARE(failed.error().domain, QStringLiteral("Network"));
    QCOMPARE(failed.error().code, code);
    QVERIFY(!failed.error().message.isEmpty());
    QVERIFY(m_service->releaseHangingReplies());
}

// --- uploadFile ------------------------------------------------------------------------

// What the session answers the PUT: "once" answers only the first, after which the
// transfer asks what is held and sends the rest to the same session.
void TestMuxClient::uploadFileStatus_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("once");
    QTest::addColumn<int>("code"); // 0: succeeds

    QTest::newRow("204") << 204 << false << 0;
    QTest::newRow("403") << 403 << false << 1;
    QTest::newRow("500 on every resumption") << 500 << false << 1;
    QTest::newRow("301") << 301 << false << 1;
    QTest::newRow("404: session gone") << 404 << false << 9;
    QTest::newRow("410: session gone") << 410 << false << 9;
    QTest::newRow("429 once: asked again") << 429 << true << 0;
    QTest::newRow("503 once: asked again") << 503 << true << 0;
}

void TestMuxClient::uploadFileStatus() {
    QFETCH(int, status);
    QFETCH(bool, once);
    QFETCH(int, code);
    QVERIFY(m_service->addFault({.method = "PUT",
                                 .path = "/_upload/*",
                                 .times = once ? std::optional(1) : std::nullopt,
                                 .status = status,
                                 .body = "<Error>details</Error>"}));

    auto client = makeClient();
    const auto created = create(*client);
    QVERIFY(created);
    const auto uploaded = run(client->uploadFile(writeFile(1000), created->url));
    QCOMPARE(uploaded ? 0 : uploaded.error().code, code);
    if (code != 0) {
        QCOMPARE(uploaded.error().domain, QString());
        QCOMPARE(uploaded.error().message, code == 1 ? QStringLiteral("Upload failed")
                                                     : QStringLiteral("Upload session expired"));
    }
    // The answered session is the one that holds the file.
    QJsonObject upload;
    for (const auto& value : m_service->uploads())
        if (value[QStringLiteral("id")] == created->id)
            upload = value.toObject();
    QCOMPARE(upload.value(QLatin1StringView("received")).toBool(), code == 0 && status != 204);
}

// Each cut leaves the session holding whole 256 KiB units; the transfer asks what is
// held and sends only the rest, so little is sent twice and one upload gets the file.
void TestMuxClient::cutTransferResumesFromTheHeldBytes_data() {
    QTest::addColumn<QList<qint64>>("cuts"); // body bytes after which each PUT is cut
    QTest::addColumn<int>("resumedStatus");  // the first resumed PUT answers this, or 0

    QTest::newRow("inside the first unit") << QList<qint64>{100000} << 0;
    QTest::newRow("after some units") << QList<qint64>{1000000} << 0;
    QTest::newRow("twice, the second on the resumed PUT") << QList<qint64>{300000, 900000} << 0;
    QTest::newRow("near the end") << QList<qint64>{4 * 1024 * 1024 - 1000} << 0;
    QTest::newRow("503 on the resumed PUT") << QList<qint64>{600000} << 503;
    QTest::newRow("408 on the resumed PUT") << QList<qint64>{600000} << 408;
}

void TestMuxClient::cutTransferResumesFromTheHeldBytes() {
    QFETCH(QList<qint64>, cuts);
    QFETCH(int, resumedStatus);
    auto client = makeClient();
    const auto created = create(*client);
    QVERIFY(created);
    // A status query carries no body, so only the PUTs with bytes count toward a cut.
    for (const qint64 cut : cuts)
        QVERIFY(m_service->addFault({.method = "PUT",
                                     .path = "/_upload/*",
                                     .skip = cut == cuts.first() ? 0 : 1,
                                     .times = 1,
                                     .dropAfterBytes = cut}));
    if (resumedStatus != 0)
        QVERIFY(m_service->addFault({.method = "PUT",
                                     .path = "/_upload/*",
                                     .skip = 1,
                                     .times = 1,
                                     .status = resumedStatus}));
    const qint64 size = 4 * 1024 * 1024;
    qint64 lowestAfterResume = size;
    FileTransfer transfer;
    transfer.resumedAt = [&](qint64 held, qint64) {
        lowestAfterResume = held;
    };
    transfer.progress = [&](qint64 sent, qint64) {
        lowestAfterResume = std::min(lowestAfterResume, sent);
    };

    const auto uploaded = run(client->uploadFile(writeFile(size), created->url, transfer));
    QVERIFY2(uploaded, errorText(uploaded).constData());
    const QJsonObject upload = m_service->uploads().first().toObject();
    QVERIFY(upload.value(QLatin1StringView("received")).toBool());
    const qint64 resent = upload.value(QLatin1StringView("bytes_received")).toInteger() - size;
    QVERIFY2(resent >= 0 && resent < qint64(cuts.size()) * 256 * 1024,
             qPrintable(QString::number(resent)));
    // Progress goes on from the held bytes; it never starts again from nothing.
    QVERIFY(lowestAfterResume >= (cuts.last() / (256 * 1024)) * 256 * 1024);
    bool asked = false;
    for (const auto& request : m_service->requests())
        asked = asked || request.headers.value(QStringLiteral("content-range")) ==
                             QStringLiteral("bytes */%1").arg(size);
    QVERIFY(asked);
    QCOMPARE(m_service->countRequests(QStringLiteral("POST"), QStringLiteral("/video/v1/uploads")),
             1);
}

void TestMuxClient::uploadOfAMissingFileFailsWithTheFileError() {
    auto client = makeClient();
    const QUrl location(m_service->baseUrl().toString() + QStringLiteral("/_upload/any"));
    const auto uploaded =
        run(client->uploadFile(m_dir.filePath(QStringLiteral("gone.mov")), location));
    QVERIFY(!uploaded);
    QCOMPARE(uploaded.error().domain, QStringLiteral("File"));
    QVERIFY(!uploaded.error().message.isEmpty());
    QVERIFY(m_service->requests().isEmpty());
}

// The file's own request reads the reply in each framing a storage server may use;
// status 0: the server never answers, and the idle time-out ends the request.
void TestMuxClient::streamedRequestReadsTheReply_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("by length") << 201 << QByteArray() << QByteArray() << QByteArray("created")
                               << QByteArray("created");
    QTest::newRow("chunked, with an extension and a trailer")
        << 200 << QByteArray("Transfer-Encoding") << QByteArray("chunked")
        << QByteArray("3;n=1\r\nabc\r\n4\r\ndefg\r\n0\r\nT: v\r\n\r\n") << QByteArray("abcdefg");
    QTest::newRow("308 without Location")
        << 308 << QByteArray("Range") << QByteArray("bytes=0-99") << QByteArray() << QByteArray();
    QTest::newRow("no answer") << 0 << QByteArray() << QByteArray() << QByteArray() << QByteArray();
}

void TestMuxClient::streamedRequestReadsTheReply() {
    QFETCH(int, status);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    Fault fault{.method = "PUT", .path = "/_upload/*", .status = status, .body = body};
    fault.hang = status == 0;
    if (!header.isEmpty())
        fault.headers = {{header, value}};
    QVERIFY(m_service->addFault(fault));
    auto file = std::make_unique<QFile>(writeFile(300000));
    QVERIFY(file->open(QIODevice::ReadOnly));

    StreamedRequest call(
        "PUT", QNetworkRequest(m_service->baseUrl().toString() + QStringLiteral("/_upload/a")),
        std::move(file), status == 0 ? 200ms : 60s);
    QSignalSpy finished(&call, &StreamedRequest::finished);
    call.start();
    QVERIFY(finished.wait(20000));
    const auto& outcome = call.outcome();
    if (status == 0) {
        QVERIFY(m_service->releaseHangingReplies());
        QCOMPARE(outcome.error().code, int(QNetworkReply::OperationCanceledError));
        return;
    }
    QVERIFY2(outcome, errorText(outcome).constData());
    QCOMPARE(outcome->status, std::optional(status));
    QCOMPARE(outcome->body, expected);
    QCOMPARE(outcome->header(header), value);
    QCOMPARE(m_service->requests().last().headers.value(QStringLiteral("content-length")),
             QStringLiteral("300000"));
}

// --- waitForAssetID ----------------------------------------------------------------------

// How the two waits end, from the service's replies to the poll: a row's reply is
// repeated for every poll; "outcome" is the value, or the start of the error message.
void TestMuxClient::waitsEnd_data() {
    QTest::addColumn<bool>("ready"); // waitForAssetReady, else waitForAssetID
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<int>("code"); // 0: a value
    QTest::addColumn<int>("polls");
    const QByteArray missing = R"({"error":{"type":"not_found"}})";
    const QByteArray playback = R"("playback_ids":[{"id":"p1"}])";

    QTest::newRow("id: never an asset")
        << false << 200 << QByteArray(R"({"data":{"status":"waiting"}})")
        << "Timeout waiting for asset_id" << 2 << 5;
    QTest::newRow("id: an empty id is an id")
        << false << 200 << QByteArray(R"({"data":{"asset_id":""}})") << "" << 0 << 1;
    QTest::newRow("id: refused") << false << 404 << missing << "HTTP 404: {" << 404 << 1;
    QTest::newRow("id: errored with a message")
        << false << 200
        << QByteArray(
               R"({"data":{"status":"errored","error":{"type":"invalid_input","message":"File is not a video"}}})")
        << "Upload errored: File is not a video" << 4 << 1;
    QTest::newRow("id: cancelled")
        << false << 200 << QByteArray(R"({"data":{"status":"cancelled"}})") << "Upload cancelled"
        << 4 << 1;
    QTest::newRow("id: timed out")
        << false << 200 << QByteArray(R"({"data":{"status":"timed_out"}})") << "Upload timed_out"
        << 4 << 1;
    QTest::newRow("ready: preparing")
        << true << 200 << R"({"data":{"status":"preparing",)" + playback + "}}"
        << "Timeout waiting for ready (asset x1)" << 3 << 5;
    QTest::newRow("ready: Ready in another case")
        << true << 200 << R"({"data":{"status":"Ready",)" + playback + "}}"
        << "Timeout waiting for ready (asset x1)" << 3 << 5;
    QTest::newRow("ready: no playback ids")
        << true << 200 << QByteArray(R"({"data":{"status":"ready","playback_ids":[]}})")
        << "Timeout waiting for ready (asset x1)" << 3 << 5;
    QTest::newRow("ready: playback ids absent")
        << true << 200 << QByteArray(R"({"data":{"status":"ready"}})")
        << "Timeout waiting for ready (asset x1)" << 3 << 5;
    QTest::newRow("ready: errored with messages")
        << true << 200
        << QByteArray(
               R"({"data":{"status":"errored","errors":{"type":"invalid_input","messages":["No video track","Bad container"]}}})")
        << "Asset errored: No video track; Bad container" << 5 << 1;
    QTest::newRow("ready: errored") << true << 200 << QByteArray(R"({"data":{"status":"errored"}})")
                                    << "Asset errored" << 5 << 1;
    QTest::newRow("ready: refused") << true << 404 << missing << "HTTP 404: {" << 404 << 1;
}

void TestMuxClient::waitsEnd() {
    QFETCH(bool, ready);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, outcome);
    QFETCH(int, code);
    QFETCH(int, polls);
    const QString path =
        ready ? QStringLiteral("/video/v1/assets/x1") : QStringLiteral("/video/v1/uploads/x1");
    QVERIFY(m_service->addFault({.path = path, .status = status, .body = body}));

    auto client = makeClient();
    const auto result = run(ready ? client->waitForAssetReady(QStringLiteral("x1"))
                                  : client->waitForAssetID(QStringLiteral("x1")));
    QCOMPARE(result ? 0 : result.error().code, code);
    if (result)
        QCOMPARE(*result, outcome);
    else
        QVERIFY2(result.error().domain.isEmpty() && result.error().message.startsWith(outcome),
                 qPrintable(result.error().message));
    QCOMPARE(gets(path), polls);
}

// Transport retries end after five; a wait that sees more polls on instead of failing.
void TestMuxClient::waitsPollThroughPassingFailures_data() {
    QTest::addColumn<int>("status"); // 0: the connection drops before any reply
    QTest::newRow("dropped connection") << 0;
    QTest::newRow("503") << 503;
    QTest::newRow("429") << 429;
}

void TestMuxClient::waitsPollThroughPassingFailures() {
    QFETCH(int, status);
    auto client = makeClient();
    const auto created = create(*client);
    QVERIFY(created);
    QVERIFY(run(client->uploadFile(writeFile(100), created->url)));
    QVERIFY(m_service->addFault({.method = "GET",
                                 .path = "/video/v1/*",
                                 .times = 7,
                                 .status = status,
                                 .dropBeforeReply = status == 0}));

    const auto assetID = run(client->waitForAssetID(created->id));
    QVERIFY2(assetID, errorText(assetID).constData());
    QVERIFY(gets(QStringLiteral("/video/v1/*")) > 7);
}

// --- assets ------------------------------------------------------------------------------

void TestMuxClient::deleteAsset_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("replyLost");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("left");
    QTest::newRow("existing") << "a0001" << false << QString() << 1 << 1;
    // A refused delete's body is discarded: it reads "HTTP <status>: ".
    QTest::newRow("missing") << "gone" << false << "HTTP 404: " << 1 << 2;
    QTest::newRow("reply lost, retry finds it gone") << "a0001" << true << QString() << 2 << 1;
}

void TestMuxClient::deleteAsset() {
    QFETCH(QString, id);
    QFETCH(bool, replyLost);
    QFETCH(QString, failure);
    QFETCH(int, requests);
    QFETCH(int, left);
    QVERIFY(m_service->seedGeneratedAssets(2, {}, {}, QStringLiteral("a")));
    if (replyLost)
        QVERIFY(m_service->addFault({.method = "DELETE",
                                     .path = "/video/v1/assets/" + id,
                                     .times = 1,
                                     .dropAfterHandling = true}));
    auto client = makeClient();

    const auto deleted = run(client->deleteAsset(id));
    QCOMPARE(deleted ? QString() : deleted.error().message, failure);
    const auto request = m_service->requests().last();
    QCOMPARE(m_service->requests().size(), requests);
    QCOMPARE(request.method, QStringLiteral("DELETE"));
    QCOMPARE(request.path, "/video/v1/assets/" + id);
    QVERIFY(request.headers.contains(QStringLiteral("authorization")));
    QVERIFY(!request.headers.contains(QStringLiteral("content-type")));
    QCOMPARE(m_service->assets().size(), left);
}

void TestMuxClient::unsafeIDsNeverReachTheService() {
    auto client = makeClient();
    for (const QString& id : {QStringLiteral("a/../../uploads"), QStringLiteral("a?limit=1"),
                              QStringLiteral(""), QStringLiteral("..")}) {
        const auto deleted = run(client->deleteAsset(id));
        QVERIFY(!deleted);
        QCOMPARE(deleted.error().code, int(invalidLocationCode));
        const auto ready = run(client->waitForAssetReady(id));
        QVERIFY(!ready);
        QCOMPARE(ready.error().code, int(invalidLocationCode));
    }
    QVERIFY(m_service->requests().isEmpty());
}

QTEST_GUILESS_MAIN(TestMuxClient)
#include "tst_muxclient.moc"
