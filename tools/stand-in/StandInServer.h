#pragma once

#include "Fault.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <httplib.h>
#include <mutex>
#include <optional>

// A stateful local stand-in for the video service's REST API and the sheet web app,
// with fault injection and a request log for tests. See README.md beside this file.
class StandInServer {
public:
    StandInServer();

    // Binds to 127.0.0.1 on a port the system chooses and returns it (or -1).
    int bind();
    // Serves until stop() is called.
    void run();
    void stop();

private:
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
    // Makes the asset of a completely received upload.
    void completeUpload(Upload& upload);
    void listAssets(const httplib::Request& request, httplib::Response& response);
    QJsonObject uploadJson(const Upload& upload) const;
    QString newID(const char* prefix);
    QString now() const;
    // Counts a service request against the minute's budget: the headers that announce
    // what is left, and whether the request is over the budget.
    [[nodiscard]] std::pair<httplib::Headers, bool> spendRateBudget(const QString& path);

    httplib::Server m_server;
    QString m_baseUrl;

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
    QJsonArray m_requestLog;
    quint64 m_logGeneration = 0; // moves on each clearing of the log
    QJsonArray m_sheetPosts;
    QHash<QString, int> m_sheetRowsByKey;
    int m_nextID = 1;
};
