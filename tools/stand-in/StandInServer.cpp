#include "StandInServer.h"

#include "ConnectionDrop.h"
#include "JsonReplies.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QUrl>
#include <thread>

using httplib::Request;
using httplib::Response;

namespace {

// A hanging reply is released after this at the latest, so that no thread is kept
// forever by a test that forgot it.
constexpr std::chrono::minutes longestHang{10};

QJsonObject headersJson(const httplib::Headers& headers) {
    QJsonObject object;
    for (const auto& [name, value] : headers)
        object.insert(QString::fromStdString(name).toLower(), QString::fromStdString(value));
    return object;
}

} // namespace

StandInServer::StandInServer()
    : StandInServer(std::make_unique<httplib::Server>(), QStringLiteral("http")) {}

StandInServer::StandInServer(const std::string& certificateFile, const std::string& keyFile)
    : StandInServer(std::make_unique<httplib::SSLServer>(certificateFile.c_str(), keyFile.c_str()),
                    QStringLiteral("https")) {}

StandInServer::StandInServer(std::unique_ptr<httplib::Server> server, QString scheme)
    : m_server(std::move(server))
    , m_scheme(std::move(scheme)) {
    // Hanging and slow replies each hold a worker; leave plenty for everything else.
    m_server->new_task_queue = [] {
        return new httplib::ThreadPool(64);
    };
    // Uploads of big files arrive in one request; a slow reader must not time it out.
    m_server->set_read_timeout(120);
    m_server->set_write_timeout(120);
    // A reply leaves in two writes, head and body; with Nagle's algorithm the body waits
    // for the client's delayed acknowledgement of the head, 40 ms on most replies.
    m_server->set_tcp_nodelay(true);
    // httplib closes a connection after 5 requests by default; a listing of 100 pages
    // would reconnect 20 times where the service keeps its connections.
    m_server->set_keep_alive_max_count(1000);
    addServiceRoutes();
    addUploadRoute();
    addSheetRoutes();
    addControlRoutes();
}

int StandInServer::bind() {
    const int port = m_server->bind_to_any_port("127.0.0.1");
    if (port > 0)
        m_baseUrl = QStringLiteral("%1://127.0.0.1:%2").arg(m_scheme).arg(port);
    return port;
}

void StandInServer::run() {
    m_server->listen_after_bind();
}

void StandInServer::stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_server->stop();
}

QString StandInServer::newID(const char* prefix) {
    return QStringLiteral("%1%2")
        .arg(QLatin1StringView(prefix))
        .arg(m_nextID++, 4, 10, QLatin1Char('0'));
}

QString StandInServer::now() const {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

void StandInServer::pause(std::chrono::milliseconds duration) {
    std::unique_lock lock(m_mutex);
    const auto generation = m_releaseGeneration;
    m_wake.wait_for(lock, duration,
                    [&] { return m_stopping || m_releaseGeneration != generation; });
}

void StandInServer::hold(const Fault& fault) {
    std::unique_lock lock(m_mutex);
    if (fault.holdPoint)
        m_chaos.noteHeld();
    m_wake.wait_for(lock, longestHang,
                    [&] { return m_stopping || m_releaseGeneration != fault.releaseGeneration; });
}

QString StandInServer::chaosKey(const Request& request, const QString& path) const {
    const auto clipOf = [](const QJsonObject& settings) {
        return settings.value(QLatin1StringView("passthrough")).toString();
    };
    if (path == QLatin1StringView("/video/v1/uploads")) {
        bool ok = false;
        return path + QLatin1Char(' ') +
               clipOf(parseBody(request, &ok)
                          .value(QLatin1StringView("new_asset_settings"))
                          .toObject());
    }
    static const QRegularExpression withID(
        QStringLiteral("^(/video/v1/uploads/|/_upload/|/video/v1/assets/)([^/]+)(.*)$"));
    const auto match = withID.match(path);
    if (!match.hasMatch())
        return path;
    const QString id = match.captured(2);
    QString clip = id;
    for (const auto& upload : m_uploads)
        if (upload.id == id)
            clip = clipOf(upload.newAssetSettings);
    for (const auto& asset : m_assets)
        if (asset.json.value(QLatin1StringView("id")).toString() == id)
            clip = clipOf(asset.json);
    return match.captured(1) + clip + match.captured(3);
}

bool StandInServer::authorized(const Request& request, Response& response) {
    QByteArray expected;
    {
        const std::lock_guard lock(m_mutex);
        expected =
            QByteArrayLiteral("Basic ") +
            (m_settings.tokenID + QLatin1Char(':') + m_settings.tokenSecret).toUtf8().toBase64();
    }
    if (QByteArray::fromStdString(request.get_header_value("Authorization")) == expected)
        return true;
    sendJson(response, 401,
             errorDocument(QStringLiteral("unauthorized"), QStringLiteral("Unauthorized request")));
    return false;
}

std::pair<httplib::Headers, bool> StandInServer::spendRateBudget(const QString& path) {
    const int limit = m_settings.rateLimitPerMinute;
    if (limit <= 0 || !path.startsWith(QLatin1StringView("/video/")))
        return {};
    const auto steadyNow = std::chrono::steady_clock::now();
    if (steadyNow >= m_rateWindow.end)
        m_rateWindow = RateWindow{steadyNow + std::chrono::minutes(1), 0};
    ++m_rateWindow.used;
    const auto left = std::chrono::ceil<std::chrono::seconds>(m_rateWindow.end - steadyNow);
    const qint64 reset = QDateTime::currentSecsSinceEpoch() + left.count();
    httplib::Headers headers{
        {"X-RateLimit-Limit", std::to_string(limit)},
        {"X-RateLimit-Remaining", std::to_string(std::max(0, limit - m_rateWindow.used))},
        {"X-RateLimit-Reset", std::to_string(reset)},
    };
    const bool over = m_rateWindow.used > limit;
    if (over)
        headers.emplace("Retry-After", std::to_string(left.count()));
    return {headers, over};
}

void StandInServer::serve(const Request& request, Response& response, Handler handler,
                          const std::function<void()>& drain) {
    const QString method = QString::fromStdString(request.method);
    const QString path = QString::fromStdString(request.path);
    std::optional<Fault> fault;
    qsizetype logIndex = 0;
    quint64 logGeneration = 0;
    httplib::Headers rateHeaders;
    bool overBudget = false;
    {
        const std::lock_guard lock(m_mutex);
        for (auto& candidate : m_faults) {
            if (!candidate.matches(method, path))
                continue;
            if (candidate.skip > 0) {
                --candidate.skip;
                continue;
            }
            if (candidate.remaining)
                --*candidate.remaining;
            fault = candidate;
            break;
        }
        makeDueAssets(false);
        if (!fault && m_chaos.isOn()) {
            const bool service = path.startsWith(QLatin1StringView("/video/")) ||
                                 path.startsWith(QLatin1StringView("/_upload/"));
            const auto bodyLength =
                static_cast<qint64>(request.get_header_value<uint64_t>("Content-Length"));
            fault = m_chaos.faultFor(method, chaosKey(request, path), bodyLength, service);
        }
        if (fault)
            fault->releaseGeneration = m_releaseGeneration;
        m_requestLog.append(QJsonObject{
            {QStringLiteral("method"), method},
            {QStringLiteral("path"), path},
            {QStringLiteral("target"), QString::fromStdString(request.target)},
            {QStringLiteral("headers"), headersJson(request.headers)},
            {QStringLiteral("body"), QString::fromUtf8(QByteArray::fromStdString(request.body))},
            {QStringLiteral("status"), 0},
        });
        logIndex = m_requestLog.size() - 1;
        logGeneration = m_logGeneration;
        std::tie(rateHeaders, overBudget) = spendRateBudget(path);
    }
    const auto finish = [&](int status) {
        const std::lock_guard lock(m_mutex);
        // The log may have been cleared while this request was served.
        if (logGeneration != m_logGeneration || logIndex >= m_requestLog.size())
            return;
        auto entry = m_requestLog.at(logIndex).toObject();
        entry.insert(QStringLiteral("status"), status);
        m_requestLog.replace(logIndex, entry);
    };

    for (const auto& [name, value] : rateHeaders)
        response.set_header(name, value);
    if (overBudget) {
        if (drain)
            drain();
        sendJson(response, 429,
                 errorDocument(QStringLiteral("too_many_requests"),
                               QStringLiteral("Too many requests")));
        return finish(429);
    }
    if (fault && fault->delayMs > 0)
        pause(std::chrono::milliseconds(fault->delayMs));
    // A hang with a byte count stalls an upload's body midway instead (see the route).
    if (fault && fault->hang && fault->dropAfterBytes < 0 &&
        fault->drop != QLatin1StringView("after-handling")) {
        hold(*fault);
        dropConnection(request);
        return finish(0);
    }
    if (fault && fault->drop == QLatin1StringView("before-reply")) {
        dropConnection(request);
        return finish(0);
    }
    if (fault && fault->status != 0) {
        if (drain)
            drain();
        response.status = fault->status;
        const QByteArray body = fault->body.value_or(
            QJsonDocument(errorDocument(QStringLiteral("injected"),
                                        QStringLiteral("Injected status %1").arg(fault->status)))
                .toJson(QJsonDocument::Compact));
        response.set_content(body.toStdString(), jsonType);
    } else {
        handler(response, fault);
    }
    if (fault && fault->drop == QLatin1StringView("after-handling")) {
        if (fault->hang)
            hold(*fault);
        dropConnection(request);
        return finish(0);
    }
    if (fault && fault->holdAfterReply) {
        const std::lock_guard lock(m_mutex);
        m_chaos.noteHeld();
    }
    if (fault) {
        for (const auto& [name, value] : fault->headers)
            response.set_header(name.toStdString(), value.toStdString());
        if (fault->malformedJson)
            response.body = response.body.substr(0, response.body.size() / 2) + "{\"";
        if (fault->endlessBody || fault->trickleMs > 0)
            serveEndlessBody(response, std::chrono::milliseconds(fault->trickleMs));
    }
    finish(response.status);
}

void StandInServer::serveEndlessBody(Response& response, std::chrono::milliseconds trickle) {
    const auto provide = [this, trickle](size_t, httplib::DataSink& sink) {
        if (trickle.count() <= 0) {
            static const std::string block(64 * 1024, 'x');
            return sink.write(block.data(), block.size());
        }
        pause(trickle);
        {
            const std::lock_guard lock(m_mutex);
            if (m_stopping)
                return false;
        }
        return sink.write("x", 1);
    };
    response.body.clear();
    response.set_chunked_content_provider("application/octet-stream", provide);
}

QJsonObject StandInServer::uploadJson(const Upload& upload) const {
    QJsonObject data{
        {QStringLiteral("id"), upload.id},
        {QStringLiteral("status"), upload.status},
        {QStringLiteral("url"), m_baseUrl + QStringLiteral("/_upload/") + upload.id},
        {QStringLiteral("timeout"), 3600},
        {QStringLiteral("new_asset_settings"), upload.newAssetSettings},
    };
    if (!upload.error.isEmpty())
        data.insert(QStringLiteral("error"), upload.error);
    return data;
}

void StandInServer::addServiceRoutes() {
    m_server->Post("/video/v1/uploads", [this](const Request& request, Response& response) {
        serve(request, response, [&](Response& res, const std::optional<Fault>&) {
            if (!authorized(request, res))
                return;
            bool ok = false;
            const QJsonObject body = parseBody(request, &ok);
            const QJsonObject settings =
                body.value(QLatin1StringView("new_asset_settings")).toObject();
            if (!ok || request.get_header_value("Content-Type") != "application/json" ||
                !settings.value(QLatin1StringView("playback_policy")).isArray() ||
                !settings.value(QLatin1StringView("passthrough")).isString() ||
                !settings.value(QLatin1StringView("max_resolution_tier")).isString())
                return sendJson(res, 400,
                                errorDocument(QStringLiteral("invalid_parameters"),
                                              QStringLiteral("new_asset_settings is required")));
            const std::lock_guard lock(m_mutex);
            Upload upload;
            upload.id = newID("upload");
            upload.newAssetSettings = settings;
            m_uploads.append(upload);
            sendJson(res, 201, QJsonObject{{QStringLiteral("data"), uploadJson(upload)}});
        });
    });

    // Serves a request about the upload the path names, or answers 404.
    const auto withUpload = [this](const Request& request, Response& response,
                                   const std::function<void(Upload&, Response&)>& handler) {
        serve(request, response, [&](Response& res, const std::optional<Fault>&) {
            if (!authorized(request, res))
                return;
            const QString id = QString::fromStdString(request.matches[1]);
            const std::lock_guard lock(m_mutex);
            for (auto& upload : m_uploads)
                if (upload.id == id)
                    return handler(upload, res);
            sendJson(res, 404,
                     errorDocument(QStringLiteral("not_found"),
                                   QStringLiteral("The requested resource either doesn't exist "
                                                  "or you don't have access to it.")));
        });
    };

    m_server->Get(R"(/video/v1/uploads/([^/]+))",
                  [this, withUpload](const Request& request, Response& response) {
                      withUpload(request, response, [this](Upload& upload, Response& res) {
                          QJsonObject data = uploadJson(upload);
                          if (upload.received) {
                              ++upload.pollsSinceReceived;
                              const int needed = m_settings.uploadPollsBeforeAsset;
                              if (needed > 0 && upload.pollsSinceReceived >= needed &&
                                  upload.status == QLatin1StringView("asset_created"))
                                  data.insert(QStringLiteral("asset_id"), upload.assetID);
                              else if (upload.status == QLatin1StringView("asset_created"))
                                  data.insert(QStringLiteral("status"), QStringLiteral("waiting"));
                          }
                          sendJson(res, 200, QJsonObject{{QStringLiteral("data"), data}});
                      });
                  });

    m_server->Put(R"(/video/v1/uploads/([^/]+)/cancel)", [this, withUpload](const Request& request,
                                                                            Response& response) {
        withUpload(request, response, [this](Upload& upload, Response& res) {
            upload.status = QStringLiteral("cancelled");
            sendJson(res, 200, QJsonObject{{QStringLiteral("data"), uploadJson(upload)}});
        });
    });

    m_server->Get("/video/v1/assets", [this](const Request& request, Response& response) {
        serve(request, response, [&](Response& res, const std::optional<Fault>&) {
            if (authorized(request, res))
                listAssets(request, res);
        });
    });

    const auto withAsset = [this](const Request& request, Response& response,
                                  const std::function<void(qsizetype index)>& use) {
        serve(request, response, [&](Response& res, const std::optional<Fault>&) {
            if (!authorized(request, res))
                return;
            const QString id = QString::fromStdString(request.matches[1]);
            const std::lock_guard lock(m_mutex);
            for (qsizetype i = 0; i < m_assets.size(); ++i)
                if (m_assets[i].json.value(QLatin1StringView("id")).toString() == id)
                    return use(i);
            sendJson(res, 404,
                     errorDocument(QStringLiteral("not_found"),
                                   QStringLiteral("The requested resource either doesn't exist "
                                                  "or you don't have access to it.")));
        });
    };

    m_server->Get(R"(/video/v1/assets/([^/]+))", [this, withAsset](const Request& request,
                                                                   Response& response) {
        withAsset(request, response, [&](qsizetype index) {
            Asset& asset = m_assets[index];
            ++asset.polls;
            const int needed = m_settings.assetPollsBeforeReady;
            if (asset.becomesReady && needed > 0 && asset.polls >= needed &&
                asset.json.value(QLatin1StringView("status")) == QLatin1StringView("preparing")) {
                const QJsonArray tracks{
                    QJsonObject{{QStringLiteral("type"), QStringLiteral("video")},
                                {QStringLiteral("max_width"), 1920},
                                {QStringLiteral("max_height"), 1080},
                                {QStringLiteral("max_frame_rate"), 25},
                                {QStringLiteral("duration"), 12.48}},
                    QJsonObject{{QStringLiteral("type"), QStringLiteral("audio")},
                                {QStringLiteral("duration"), 12.48}},
                };
                asset.json.insert(QStringLiteral("status"), QStringLiteral("ready"));
                asset.json.insert(QStringLiteral("duration"), 12.48);
                asset.json.insert(QStringLiteral("aspect_ratio"), QStringLiteral("16:9"));
                asset.json.insert(QStringLiteral("max_stored_resolution"), QStringLiteral("HD"));
                asset.json.insert(QStringLiteral("max_stored_frame_rate"), 25);
                asset.json.insert(QStringLiteral("tracks"), tracks);
                asset.json.insert(QStringLiteral("updated_at"), now());
            }
            sendJson(response, 200, QJsonObject{{QStringLiteral("data"), asset.json}});
        });
    });

    m_server->Patch(R"(/video/v1/assets/([^/]+))", [this, withAsset](const Request& request,
                                                                     Response& response) {
        withAsset(request, response, [&](qsizetype index) {
            bool ok = false;
            const QJsonObject body = parseBody(request, &ok);
            const QJsonValue title =
                body.value(QLatin1StringView("meta")).toObject().value(QLatin1StringView("title"));
            if (!ok || request.get_header_value("Content-Type") != "application/json" ||
                !title.isString())
                return sendJson(response, 400,
                                errorDocument(QStringLiteral("invalid_parameters"),
                                              QStringLiteral("meta.title is required")));
            Asset& asset = m_assets[index];
            asset.json.insert(QStringLiteral("meta"),
                              QJsonObject{{QStringLiteral("title"), title.toString()}});
            asset.json.insert(QStringLiteral("updated_at"), now());
            sendJson(response, 200, QJsonObject{{QStringLiteral("data"), asset.json}});
        });
    });

    m_server->Delete(R"(/video/v1/assets/([^/]+))",
                     [withAsset, this](const Request& request, Response& response) {
                         withAsset(request, response, [&](qsizetype index) {
                             m_assets.removeAt(index);
                             response.status = 204;
                         });
                     });
}

void StandInServer::listAssets(const Request& request, Response& response) {
    const auto invalid = [&](const QString& message) {
        sendJson(response, 400, errorDocument(QStringLiteral("invalid_parameters"), message));
    };
    int limit = 25;
    if (request.has_param("limit")) {
        bool ok = false;
        limit = QString::fromStdString(request.get_param_value("limit")).toInt(&ok);
        if (!ok || limit < 1 || limit > 100)
            return invalid(QStringLiteral("limit must be between 1 and 100"));
    }
    const std::lock_guard lock(m_mutex);
    const int pageSize = std::max(1, std::min(limit, m_settings.maxPageSize));
    const bool byCursor = m_settings.paging == QLatin1StringView("cursor");

    qsizetype offset = 0;
    int page = 1;
    if (byCursor && request.has_param("cursor")) {
        // Cursors hold characters that must be percent-encoded in a query ('/', '+', '=');
        // one that arrives altered is refused as the service refuses unknown cursors.
        const QString cursor = QString::fromStdString(request.get_param_value("cursor"));
        static const QRegularExpression form(QStringLiteral("^o/(\\d+)\\+=$"));
        const auto match = form.match(cursor);
        if (!match.hasMatch())
            return invalid(QStringLiteral("Invalid cursor"));
        offset = match.captured(1).toLongLong();
    } else if (!byCursor && request.has_param("page")) {
        page = std::max(1, QString::fromStdString(request.get_param_value("page")).toInt());
        offset = static_cast<qsizetype>(page - 1) * pageSize;
    }

    QJsonArray data;
    for (qsizetype i = offset; i < m_assets.size() && i < offset + pageSize; ++i)
        data.append(m_assets[i].json);
    const bool more = offset + pageSize < m_assets.size();
    QJsonObject body{{QStringLiteral("data"), data}};
    if (byCursor) {
        body.insert(QStringLiteral("next_cursor"),
                    more ? QJsonValue(QStringLiteral("o/%1+=").arg(offset + pageSize))
                         : QJsonValue(QJsonValue::Null));
    } else {
        QJsonObject links;
        if (more)
            links.insert(
                QStringLiteral("next"),
                m_baseUrl +
                    QStringLiteral("/video/v1/assets?limit=%1&page=%2").arg(limit).arg(page + 1));
        body.insert(QStringLiteral("links"), links);
    }
    sendJson(response, 200, body);
}

namespace {

// A session keeps a cut transfer in whole units of this size, as resumable stores do.
constexpr qint64 sessionUnit = 256 * 1024;

struct ContentRange {
    bool query = false; // "bytes */SIZE": how much is held?
    qint64 first = 0;
    qint64 size = -1;
};

// "bytes */SIZE" or "bytes FIRST-LAST/SIZE"; no header means the whole body from 0.
std::optional<ContentRange> parseContentRange(const std::string& header, qint64 length) {
    if (header.empty())
        return ContentRange{false, 0, length};
    static const QRegularExpression form(QStringLiteral(R"(^bytes (\*|(\d+)-(\d+))/(\d+)$)"));
    const auto match = form.match(QString::fromStdString(header));
    if (!match.hasMatch())
        return std::nullopt;
    ContentRange range;
    range.size = match.captured(4).toLongLong();
    range.query = match.captured(1) == QLatin1StringView("*");
    if (!range.query)
        range.first = match.captured(2).toLongLong();
    return range;
}

} // namespace

void StandInServer::answerSession(Response& response, const Upload& upload) const {
    if (upload.received) {
        response.status = 200;
        return;
    }
    response.status = 308;
    if (upload.held > 0)
        response.set_header("Range", "bytes=0-" + std::to_string(upload.held - 1));
}

void StandInServer::completeUpload(Upload& upload) {
    upload.held = upload.bytesReceived;
    if (upload.received)
        return;
    upload.received = true;
    const auto& chaos = m_chaos.settings();
    if (!m_chaos.isOn() || (chaos.assetDelayMs <= 0 && chaos.assetDelayRequests <= 0))
        return makeAsset(upload);
    upload.assetPending = true;
    upload.assetDueTime =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(chaos.assetDelayMs);
    upload.assetDueRequest = m_chaos.total() + chaos.assetDelayRequests;
}

void StandInServer::makeDueAssets(bool all) {
    const auto steadyNow = std::chrono::steady_clock::now();
    for (auto& upload : m_uploads) {
        if (upload.assetPending && (all || (upload.assetDueTime <= steadyNow &&
                                            upload.assetDueRequest <= m_chaos.total()))) {
            upload.assetPending = false;
            makeAsset(upload);
        }
    }
}

void StandInServer::makeAsset(Upload& upload) {
    Asset asset;
    asset.becomesReady = true;
    asset.json = QJsonObject{
        {QStringLiteral("id"), newID("asset")},
        {QStringLiteral("status"), QStringLiteral("preparing")},
        {QStringLiteral("created_at"), now()},
        {QStringLiteral("updated_at"), now()},
        {QStringLiteral("upload_id"), upload.id},
        {QStringLiteral("playback_ids"),
         QJsonArray{QJsonObject{{QStringLiteral("id"), newID("playback")},
                                {QStringLiteral("policy"), QStringLiteral("public")}}}},
    };
    for (const char* key : {"passthrough", "max_resolution_tier"})
        if (upload.newAssetSettings.contains(QLatin1StringView(key)))
            asset.json.insert(QLatin1StringView(key),
                              upload.newAssetSettings.value(QLatin1StringView(key)));
    upload.assetID = asset.json.value(QLatin1StringView("id")).toString();
    // Newest first, as the service lists.
    m_assets.prepend(asset);
    upload.status = QStringLiteral("asset_created");
}

void StandInServer::addUploadRoute() {
    m_server->Put(R"(/_upload/([^/]+))", [this](const Request& request, Response& response,
                                                const httplib::ContentReader& reader) {
        const auto drain = [&] {
            reader([](const char*, size_t) { return true; });
        };
        serve(
            request, response,
            [&](Response& res, const std::optional<Fault>& fault) {
                const QString id = QString::fromStdString(request.matches[1]);
                const auto length =
                    static_cast<qint64>(request.get_header_value<uint64_t>("Content-Length"));
                const auto range =
                    parseContentRange(request.get_header_value("Content-Range"), length);
                const auto find = [&]() -> Upload* {
                    for (auto& upload : m_uploads)
                        if (upload.id == id && !upload.expired &&
                            upload.status != QLatin1StringView("cancelled"))
                            return &upload;
                    return nullptr;
                };
                qint64 held = 0;
                bool keep = false;
                {
                    const std::lock_guard lock(m_mutex);
                    Upload* upload = find();
                    if (!upload || !range) {
                        drain();
                        return sendJson(res, upload ? 400 : 404,
                                        errorDocument(QStringLiteral("not_found"),
                                                      QStringLiteral("No such upload session")));
                    }
                    // A query, or bytes that would leave a gap: say what is held.
                    if (range->query || range->first > upload->held || upload->received) {
                        drain();
                        return answerSession(res, *upload);
                    }
                    held = upload->held;
                    keep = m_chaos.isOn();
                }
                // Counted, never kept: uploads of gigabytes must not grow the stand-in. The
                // chaos mode's small clips are kept, to tell which file an asset came from.
                qint64 bytes = 0;
                QByteArray body;
                // Takes in what arrived; the session holds it from here on.
                const auto record = [&]() -> Upload* {
                    Upload* upload = find();
                    if (!upload)
                        return nullptr;
                    upload->bytesReceived += bytes;
                    const qint64 end = range->first + bytes;
                    // Every byte is in, even if the connection goes before the answer: the
                    // session is complete, as a store finishes an object once it has it all.
                    if (end == range->size) {
                        completeUpload(*upload);
                        upload->held = end;
                    } else {
                        upload->held = std::max(held, end / sessionUnit * sessionUnit);
                    }
                    if (keep) {
                        upload->content =
                            upload->content.left(range->first) + body + upload->content.mid(end);
                        upload->content.truncate(upload->held);
                    }
                    return upload;
                };
                const qint64 dropAfter = fault ? fault->dropAfterBytes : -1;
                const bool whole = reader([&](const char* data, size_t size) {
                    bytes += static_cast<qint64>(size);
                    m_bodyBytesArrived += static_cast<qint64>(size);
                    if (keep)
                        body.append(data, static_cast<qsizetype>(size));
                    if (dropAfter < 0 || bytes < dropAfter)
                        return true;
                    // What arrived is held before the client can notice the cut, as a
                    // store keeps it: a status query right after it finds it.
                    {
                        const std::lock_guard lock(m_mutex);
                        record();
                    }
                    if (fault->hang)
                        hold(*fault);
                    dropConnection(request);
                    return false;
                });
                if (!whole && dropAfter >= 0 && bytes >= dropAfter)
                    return;
                const std::lock_guard lock(m_mutex);
                if (Upload* upload = record())
                    answerSession(res, *upload);
            },
            drain);
    });
}
