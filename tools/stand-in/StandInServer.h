#pragma once

#include "Chaos.h"
#include "Fault.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <httplib.h>
#include <memory>
#include <mutex>
#include <optional>

// A stateful local stand-in for the video service's REST API and the sheet web app,
// with fault injection and a request log for tests. See README.md beside this file.
class StandInServer {
public:
    // Plain HTTP; or HTTPS with this certificate chain and key (PEM files).
    StandInServer();
    StandInServer(const std::string& certificateFile, const std::string& keyFile);

    // Whether the server can serve: false when the TLS certificate or key did not load.
    [[nodiscard]] bool isValid() const { return m_server->is_valid(); }
    // Binds to 127.0.0.1 on a port the system chooses and returns it (or -1).
    int bind();
    // Serves until stop() is called.
    void run();
    void stop();

private:
    StandInServer(std::unique_ptr<httplib::Server> server, QString scheme);

    struct Upload {
        QString id;
        QString status = QStringLiteral("waiting");
        QJsonObject newAssetSettings;
        QJsonObject error;
        bool received = false;
        // Body bytes of every PUT to the session, resent ones included.
        qint64 bytesReceived = 0;
        // What the session keeps of a cut transfer: whole units from the start.
        qint64 held = 0;
        bool expired = false;
        int pollsSinceReceived = 0;
        QString assetID;
        // In chaos mode the asset appears a while after the upload completed: at this time,
        // once the chaos mode counted this many requests.
        bool assetPending = false;
        // Chaos mode only: the bytes held.
        QByteArray content;
        std::chrono::steady_clock::time_point assetDueTime{};
        qint64 assetDueRequest = 0;
    };
    struct Asset {
        QJsonObject json;
        int polls = 0;
        // Assets made from uploads turn "ready" after some polls; seeded ones stay as given.
        bool becomesReady = false;
    };
    struct Settings {
        QString tokenID = QStringLiteral("stand-in-id");
        QString tokenSecret = QStringLiteral("stand-in-secret");
        int uploadPollsBeforeAsset = 1;
        int assetPollsBeforeReady = 1;
        int maxPageSize = 100;
        QString paging = QStringLiteral("links");
        // Service requests allowed per minute, announced on every reply; 0: no limit.
        int rateLimitPerMinute = 0;
    };
    // The current minute of the rate limit.
    struct RateWindow {
        std::chrono::steady_clock::time_point end{};
        int used = 0;
    };
    using Handler = std::function<void(httplib::Response&, const std::optional<Fault>&)>;

    void addServiceRoutes();
    void addUploadRoute();
    void addSheetRoutes();
    void addControlRoutes();

    // Runs one request through the faults, the log and then `handler`. `drain` reads a
    // streamed request body that a fault answers instead of the handler.
    void serve(const httplib::Request& request, httplib::Response& response, Handler handler,
               const std::function<void()>& drain = {});
    // Answers 401 unless the request carries the configured Basic credential.
    bool authorized(const httplib::Request& request, httplib::Response& response);
    // Waits `duration` or until the stand-in stops or releases its hanging requests.
    void pause(std::chrono::milliseconds duration);
    // Replaces the reply's body by one that never ends: blocks as fast as the client
    // takes them, or one byte each `trickle`.
    void serveEndlessBody(httplib::Response& response, std::chrono::milliseconds trickle);

    // Answers a PUT to an upload session with what it holds: 200 when complete, else
    // 308 with the held range (none when nothing is held).
    void answerSession(httplib::Response& response, const Upload& upload) const;
    // Takes a completely received upload in and makes its asset, at once or (in chaos
    // mode) once its delay has passed.
    void completeUpload(Upload& upload);
    void makeAsset(Upload& upload);
    // Makes the assets whose delay has passed, or `all` that wait.
    void makeDueAssets(bool all);
    // Holds a request the fault hangs until the stand-in stops or a release.
    void hold(const Fault& fault);
    // The request's method-free name for the chaos draw: every ID replaced by its clip.
    [[nodiscard]] QString chaosKey(const httplib::Request& request, const QString& path) const;
    void listAssets(const httplib::Request& request, httplib::Response& response);
    QJsonObject uploadJson(const Upload& upload) const;
    QString newID(const char* prefix);
    QString now() const;
    // Counts a service request against the minute's budget: the headers that announce
    // what is left, and whether the request is over the budget.
    [[nodiscard]] std::pair<httplib::Headers, bool> spendRateBudget(const QString& path);

    std::unique_ptr<httplib::Server> m_server;
    QString m_scheme = QStringLiteral("http");
    QString m_baseUrl;

    // Body bytes of every upload PUT as they arrive, for a bench to watch the rate.
    std::atomic<qint64> m_bodyBytesArrived = 0;

    // Everything below is guarded by m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    quint64 m_releaseGeneration = 0;
    Settings m_settings;
    RateWindow m_rateWindow;
    QList<Upload> m_uploads;
    QList<Asset> m_assets; // in listing order
    QList<Fault> m_faults;
    Chaos m_chaos;
    QJsonArray m_requestLog;
    quint64 m_logGeneration = 0; // moves on each clearing of the log
    QJsonArray m_sheetPosts;
    QHash<QString, int> m_sheetRowsByKey;
    int m_nextID = 1;
};
