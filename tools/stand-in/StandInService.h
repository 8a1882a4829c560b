#pragma once

#include "service/MuxClient.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>
#include <optional>

namespace httplib {
class Client;
}

// The local stand-in for the video service and the sheet web app (clipferry-stand-in),
// started on a free loopback port for as long as this object lives. Point the code
// under test at baseUrl() / sheetWebAppUrl(), arrange the service's behaviour with the
// setters, then read what reached it with requests() and sheetPosts().
//
//     StandInService service;
//     QVERIFY2(service.isRunning(), qPrintable(service.errorString()));
//     QVERIFY(service.addFault({.method = "GET", .path = "/video/v1/assets", .status = 503}));
//
// Every setter talks to the running stand-in and returns false when it could not.
//
// Over https the stand-in serves everything with a certificate for 127.0.0.1 and localhost,
// signed by a certificate authority made for this object alone; clientOptions() trusts it.
class StandInService {
public:
    enum class Scheme { http, https };

    enum class Paging {
        links,  // pages carry "links": {"next": <absolute address>}
        cursor, // pages carry "next_cursor"; the next page is "&cursor=<encoded cursor>"
    };

    // What the stand-in does instead of, or on top of, its normal reply to the requests
    // that match `method` (empty: any) and `path` (exact, or a prefix ending in "*").
    // Paths: "/video/v1/uploads", "/video/v1/uploads/<id>", "/video/v1/assets",
    // "/video/v1/assets/<id>", "/_upload/<upload id>" (the PUT of the file),
    // "/macros/s/stand-in/exec" (the sheet POST), "/macros/echo" (its redirect target).
    struct Fault {
        QString method{};
        QString path{};
        int skip = 0;                     // matching requests let through untouched first
        std::optional<int> times{};       // matching requests affected; absent: all
        int status = 0;                   // answer with this status instead
        std::optional<QByteArray> body{}; // body of that answer; absent: an error document
        QList<QPair<QByteArray, QByteArray>> headers{}; // e.g. {"Retry-After", "2"}
        int delayMs = 0;                                // a slow reply
        bool hang = false;              // no reply until releaseHangingReplies() or the end
        bool dropBeforeReply = false;   // close the connection without any reply
        bool dropAfterHandling = false; // do the work, then close without a reply
        qint64 dropAfterBytes = -1;     // upload PUT: close after reading this many bytes
        bool malformedJson = false;     // the normal reply, cut short so it does not parse
        bool endlessBody = false;       // a reply body that never ends, sent as fast as read
        int trickleMs = 0;              // a reply body that never ends, a byte each this often
    };

    // Seeded misbehaviour of every request, for tests that kill a client and run it again
    // (Chaos.h beside the stand-in says what each member does). Each setting starts the
    // client's next run: its requests count from 1 again and the held ones of the run
    // before are closed unanswered.
    struct ChaosSettings {
        quint64 seed = 0;
        double refuseShare = 0;     // 503, or 429 with Retry-After
        int retryAfterSeconds = 1;  // what the 429 names
        double loseReplyShare = 0;  // acted on, reply lost
        double cutShare = 0;        // upload bodies cut at a random offset
        int assetDelayMs = 0;       // from a completed upload to its asset
        int assetDelayRequests = 0; // and requests to the service in between
        int holdAt = 0;             // the run's request where it stops answering; 0: none
        QString holdPhase = QStringLiteral("before"); // "before", "acted", "body", "replied"
    };

    struct LoggedRequest {
        QString method;
        QString path;                    // decoded path without the query
        QString target;                  // path and query as sent
        QHash<QString, QString> headers; // names in lower case
        QByteArray body;                 // empty for the upload PUT, whose bytes are only counted
        int status = 0;                  // the status answered; 0 when dropped or hanging
    };

    struct SheetPost {
        QString path;
        QString contentType;
        QByteArray body;
    };

    StandInService();
    explicit StandInService(Scheme scheme);
    ~StandInService();
    StandInService(const StandInService&) = delete;
    StandInService& operator=(const StandInService&) = delete;

    [[nodiscard]] bool isRunning() const;
    [[nodiscard]] QString errorString() const { return m_error; }

    // "http://127.0.0.1:<port>" (or https), the API base of the video service.
    [[nodiscard]] QUrl baseUrl() const;
    // The web app's address, ending in "/exec".
    [[nodiscard]] QUrl sheetWebAppUrl() const;
    // Client options against this stand-in that never make anyone wait: millisecond polls
    // and retry waits, no pacing; over https, trusting the stand-in's authority.
    [[nodiscard]] clipferry::MuxClient::Options clientOptions() const;

    // The credential pair the stand-in accepts (Basic); others get 401.
    [[nodiscard]] QString tokenID() const { return m_tokenID; }
    [[nodiscard]] QString tokenSecret() const { return m_tokenSecret; }
    [[nodiscard]] bool setCredentials(const QString& tokenID, const QString& tokenSecret);

    // Upload polls after the file arrived before the upload names its asset (default
    // 1, the first poll; 0: never).
    [[nodiscard]] bool setUploadPollsBeforeAsset(int polls);
    // Polls of a new asset before it is "ready" (default 1; 0: never).
    [[nodiscard]] bool setAssetPollsBeforeReady(int polls);
    // How the asset list pages, and the most assets a page holds (the client asks 100).
    [[nodiscard]] bool setPaging(Paging paging, int maxPageSize = 100);

    // Service requests allowed per minute, announced on each reply as X-RateLimit-Limit,
    // -Remaining and -Reset (Unix seconds); beyond it 429 with Retry-After. 0: none.
    [[nodiscard]] bool setRateLimit(int perMinute);

    [[nodiscard]] bool setChaos(const ChaosSettings& chaos);
    [[nodiscard]] bool stopChaos();
    // Whether the run reached its hold point: from there on nothing is answered, so the
    // client can be killed at that place.
    [[nodiscard]] bool chaosHeld() const;
    // Makes the assets still waiting for their delay at once: the library as it will be.
    [[nodiscard]] bool makePendingAssets();

    [[nodiscard]] bool addFault(const Fault& fault);
    [[nodiscard]] bool clearFaults();
    // Lets every hanging or slow reply go on now.
    [[nodiscard]] bool releaseHangingReplies();

    // Appends assets to the library exactly as given (members as the service names
    // them), in listing order; they keep their status.
    [[nodiscard]] bool seedAssets(const QJsonArray& assets);
    // Appends `count` ready assets "<idPrefix>0001"… with passthrough "<id>.mov", a
    // playback ID "pb-<id>" and the given change times (empty: member absent).
    [[nodiscard]] bool seedGeneratedAssets(int count, const QString& createdAt = {},
                                           const QString& updatedAt = {},
                                           const QString& idPrefix = QStringLiteral("seeded"));
    // Sets an upload's "status" and "error" ({"message": ...}).
    [[nodiscard]] bool updateUpload(const QString& uploadID, const QJsonObject& members);

    // The library in listing order, as the service would list it.
    [[nodiscard]] QJsonArray assets() const;
    // Uploads with the stand-in's extra members "bytes_received", "bytes_held", "received",
    // "asset_id", "asset_pending" and, in chaos mode, "sha256" of the bytes held.
    [[nodiscard]] QJsonArray uploads() const;

    // Body bytes of all upload PUTs as they arrive, also of those not yet finished.
    [[nodiscard]] qint64 bodyBytesArrived() const;

    // Every request that reached the service or the web app, in arrival order.
    [[nodiscard]] QList<LoggedRequest> requests() const;
    // How many logged requests have this method and path (path with "*": prefix).
    [[nodiscard]] int countRequests(const QString& method, const QString& path) const;
    [[nodiscard]] bool clearRequests();
    // Every CSV body the web app received, in arrival order.
    [[nodiscard]] QList<SheetPost> sheetPosts() const;

    // Back to a fresh service: no uploads, assets, faults, log or posts; default settings.
    [[nodiscard]] bool reset();

private:
    [[nodiscard]] bool control(const char* method, const QString& path,
                               const QJsonObject& body = {}) const;
    [[nodiscard]] std::optional<QByteArray> fetch(const QString& path) const;
    [[nodiscard]] std::unique_ptr<httplib::Client> controlClient() const;

    Scheme m_scheme;
    // The authority and the stand-in's certificate and key, over https.
    QTemporaryDir m_certificates;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
    QString m_tokenID = QStringLiteral("stand-in-id");
    QString m_tokenSecret = QStringLiteral("stand-in-secret");
};

Q_DECLARE_METATYPE(StandInService::Fault)
