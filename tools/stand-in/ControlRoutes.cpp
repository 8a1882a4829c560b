#include "StandInServer.h"

#include "JsonReplies.h"

#include <QCryptographicHash>
#include <QDateTime>

using httplib::Request;
using httplib::Response;

// The sheet web app: a POST to ".../exec" is taken and answered with a redirect to a
// second address that serves the script's reply to a GET only, as Apps Script does.
void StandInServer::addSheetRoutes() {
    m_server->Post(R"(/macros/s/([^/]+)/exec)", [this](const Request& request, Response& response) {
        serve(request, response, [&](Response& res, const std::optional<Fault>&) {
            const QByteArray body = QByteArray::fromStdString(request.body);
            const std::lock_guard lock(m_mutex);
            const QString key = newID("sheet");
            int rows = 0;
            for (const auto& line : body.split('\n'))
                rows += line.isEmpty() ? 0 : 1;
            m_sheetRowsByKey.insert(key, rows);
            m_sheetPosts.append(QJsonObject{
                {QStringLiteral("path"), QString::fromStdString(request.path)},
                {QStringLiteral("contentType"),
                 QString::fromStdString(request.get_header_value("Content-Type"))},
                {QStringLiteral("body"), QString::fromUtf8(body)},
                {QStringLiteral("bodyBase64"), QString::fromLatin1(body.toBase64())},
                {QStringLiteral("key"), key},
            });
            res.status = 302;
            res.set_header(
                "Location",
                (m_baseUrl + QStringLiteral("/macros/echo?user_content_key=") + key).toStdString());
            res.set_content("<HTML><BODY>Moved Temporarily</BODY></HTML>", "text/html");
        });
    });
    m_server->Get("/macros/echo", [this](const Request& request, Response& response) {
        serve(request, response, [&](Response& res, const std::optional<Fault>&) {
            const QString key = QString::fromStdString(request.get_param_value("user_content_key"));
            const std::lock_guard lock(m_mutex);
            if (!m_sheetRowsByKey.contains(key)) {
                res.status = 404;
                return res.set_content("Sorry, unable to open the file at this time.",
                                       "text/plain");
            }
            res.status = 200;
            res.set_content(
                QStringLiteral("OK %1 rows").arg(m_sheetRowsByKey.value(key)).toStdString(),
                "text/plain");
        });
    });
    m_server->Post("/macros/echo", [this](const Request& request, Response& response) {
        serve(request, response, [&](Response& res, const std::optional<Fault>&) {
            res.status = 405;
            res.set_content("Method not allowed", "text/plain");
        });
    });
}

// The control API the tests use; its requests are not logged.
void StandInServer::addControlRoutes() {
    const auto withJson = [](const Request& request, Response& response,
                             const std::function<void(const QJsonObject&)>& use) {
        bool ok = false;
        const QJsonObject body = parseBody(request, &ok);
        if (!ok)
            return sendJson(
                response, 400,
                errorDocument(QStringLiteral("control"), QStringLiteral("expected a JSON object")));
        use(body);
    };

    m_server->Get("/_control/health", [](const Request&, Response& response) {
        sendJson(response, 200, QJsonObject{{QStringLiteral("ok"), true}});
    });

    m_server->Post("/_control/reset", [this](const Request&, Response& response) {
        {
            const std::lock_guard lock(m_mutex);
            m_settings = Settings{};
            m_rateWindow = RateWindow{};
            m_uploads.clear();
            m_assets.clear();
            m_faults.clear();
            m_chaos = Chaos{};
            m_requestLog = QJsonArray();
            ++m_logGeneration;
            m_sheetPosts = QJsonArray();
            m_sheetRowsByKey.clear();
            ++m_releaseGeneration;
        }
        m_wake.notify_all();
        sendJson(response, 200, QJsonObject{});
    });

    m_server->Post("/_control/settings", [this, withJson](const Request& request,
                                                          Response& response) {
        withJson(request, response, [&](const QJsonObject& body) {
            const std::lock_guard lock(m_mutex);
            Settings& settings = m_settings;
            settings.tokenID = body.value(QLatin1StringView("tokenID")).toString(settings.tokenID);
            settings.tokenSecret =
                body.value(QLatin1StringView("tokenSecret")).toString(settings.tokenSecret);
            settings.uploadPollsBeforeAsset =
                body.value(QLatin1StringView("uploadPollsBeforeAsset"))
                    .toInt(settings.uploadPollsBeforeAsset);
            settings.assetPollsBeforeReady = body.value(QLatin1StringView("assetPollsBeforeReady"))
                                                 .toInt(settings.assetPollsBeforeReady);
            settings.maxPageSize =
                body.value(QLatin1StringView("maxPageSize")).toInt(settings.maxPageSize);
            settings.paging = body.value(QLatin1StringView("paging")).toString(settings.paging);
            settings.rateLimitPerMinute = body.value(QLatin1StringView("rateLimitPerMinute"))
                                              .toInt(settings.rateLimitPerMinute);
            m_rateWindow = RateWindow{};
            sendJson(response, 200, QJsonObject{});
        });
    });

    m_server->Post(
        "/_control/faults", [this, withJson](const Request& request, Response& response) {
            withJson(request, response, [&](const QJsonObject& body) {
                QString error;
                auto fault = Fault::fromJson(body, &error);
                if (!fault)
                    return sendJson(response, 400, errorDocument(QStringLiteral("control"), error));
                const std::lock_guard lock(m_mutex);
                m_faults.append(*fault);
                sendJson(response, 200, QJsonObject{});
            });
        });
    m_server->Delete("/_control/faults", [this](const Request&, Response& response) {
        const std::lock_guard lock(m_mutex);
        m_faults.clear();
        sendJson(response, 200, QJsonObject{});
    });

    // {"assets": [ ...asset objects as the service lists them... ]} appends them as
    // given; {"generate": {"count": N, "idPrefix": "...", "createdAt": "...",
    // "updatedAt": "...", "status": "ready"}} appends N ready assets with those times.
    m_server->Post("/_control/assets", [this, withJson](const Request& request,
                                                        Response& response) {
        withJson(request, response, [&](const QJsonObject& body) {
            const std::lock_guard lock(m_mutex);
            for (const auto& value : body.value(QLatin1StringView("assets")).toArray())
                m_assets.append(Asset{value.toObject(), 0, false});
            const QJsonObject generate = body.value(QLatin1StringView("generate")).toObject();
            const int count = generate.value(QLatin1StringView("count")).toInt();
            const QString prefix =
                generate.value(QLatin1StringView("idPrefix")).toString(QStringLiteral("seeded"));
            for (int i = 0; i < count; ++i) {
                const QString id =
                    QStringLiteral("%1%2").arg(prefix).arg(i + 1, 4, 10, QLatin1Char('0'));
                QJsonObject asset{
                    {QStringLiteral("id"), id},
                    {QStringLiteral("status"),
                     generate.value(QLatin1StringView("status")).toString(QStringLiteral("ready"))},
                    {QStringLiteral("passthrough"), id + QStringLiteral(".mov")},
                    {QStringLiteral("playback_ids"),
                     QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("pb-") + id},
                                            {QStringLiteral("policy"), QStringLiteral("public")}}}},
                    {QStringLiteral("duration"), 10.0},
                };
                for (const auto& [key, member] :
                     {std::pair{"createdAt", "created_at"}, std::pair{"updatedAt", "updated_at"}})
                    if (generate.contains(QLatin1StringView(key)))
                        asset.insert(QLatin1StringView(member),
                                     generate.value(QLatin1StringView(key)));
                m_assets.append(Asset{asset, 0, false});
            }
            sendJson(response, 200, QJsonObject{{QStringLiteral("count"), m_assets.size()}});
        });
    });
    m_server->Get("/_control/assets", [this](const Request&, Response& response) {
        const std::lock_guard lock(m_mutex);
        makeDueAssets(false);
        QJsonArray data;
        for (const auto& asset : m_assets)
            data.append(asset.json);
        sendJson(response, 200, data);
    });
    m_server->Get("/_control/arrived", [this](const Request&, Response& response) {
        sendJson(
            response, 200,
            QJsonObject{{QStringLiteral("bytes"), static_cast<double>(m_bodyBytesArrived.load())}});
    });
    m_server->Get("/_control/uploads", [this](const Request&, Response& response) {
        const std::lock_guard lock(m_mutex);
        makeDueAssets(false);
        QJsonArray uploads;
        for (const auto& upload : m_uploads) {
            QJsonObject object = uploadJson(upload);
            object.insert(QStringLiteral("bytes_received"),
                          static_cast<double>(upload.bytesReceived));
            object.insert(QStringLiteral("bytes_held"), static_cast<double>(upload.held));
            object.insert(QStringLiteral("received"), upload.received);
            object.insert(QStringLiteral("asset_id"), upload.assetID);
            object.insert(QStringLiteral("asset_pending"), upload.assetPending);
            if (upload.held > 0 && upload.content.size() == upload.held)
                object.insert(QStringLiteral("sha256"),
                              QString::fromLatin1(QCryptographicHash::hash(
                                                      upload.content, QCryptographicHash::Sha256)
                                                      .toHex()));
            uploads.append(object);
        }
        sendJson(response, 200, uploads);
    });
    // Sets an upload's "status" and "error" ({"message": ...}), e.g. to "errored";
    // "expired": true ends its session, whose PUTs then answer 404.
    m_server->Patch(R"(/_control/uploads/([^/]+))", [this, withJson](const Request& request,
                                                                     Response& response) {
        withJson(request, response, [&](const QJsonObject& body) {
            const QString id = QString::fromStdString(request.matches[1]);
            const std::lock_guard lock(m_mutex);
            for (auto& upload : m_uploads) {
                if (upload.id != id)
                    continue;
                upload.status = body.value(QLatin1StringView("status")).toString(upload.status);
                upload.error = body.value(QLatin1StringView("error")).toObject(upload.error);
                upload.expired = body.value(QLatin1StringView("expired")).toBool(upload.expired);
                return sendJson(response, 200, uploadJson(upload));
            }
            sendJson(response, 404, errorDocument(QStringLiteral("control"), id));
        });
    });

    // Seeded misbehaviour, a new client run each time it is set (see Chaos.h); it also
    // ends the holds of the run before.
    m_server->Post("/_control/chaos", [this, withJson](const Request& request, Response& response) {
        withJson(request, response, [&](const QJsonObject& body) {
            QString error;
            const auto settings = Chaos::fromJson(body, &error);
            if (!settings)
                return sendJson(response, 400, errorDocument(QStringLiteral("control"), error));
            {
                const std::lock_guard lock(m_mutex);
                m_chaos.start(*settings);
                ++m_releaseGeneration;
            }
            m_wake.notify_all();
            sendJson(response, 200, QJsonObject{});
        });
    });
    m_server->Get("/_control/chaos", [this](const Request&, Response& response) {
        const std::lock_guard lock(m_mutex);
        sendJson(response, 200, m_chaos.state());
    });
    m_server->Delete("/_control/chaos", [this](const Request&, Response& response) {
        {
            const std::lock_guard lock(m_mutex);
            m_chaos.stop();
            ++m_releaseGeneration;
        }
        m_wake.notify_all();
        sendJson(response, 200, QJsonObject{});
    });
    // Makes every asset still waiting for its delay now: the library as it will be.
    m_server->Post("/_control/assets/pending", [this](const Request&, Response& response) {
        const std::lock_guard lock(m_mutex);
        makeDueAssets(true);
        sendJson(response, 200, QJsonObject{});
    });

    m_server->Get("/_control/requests", [this](const Request&, Response& response) {
        const std::lock_guard lock(m_mutex);
        sendJson(response, 200, m_requestLog);
    });
    m_server->Delete("/_control/requests", [this](const Request&, Response& response) {
        const std::lock_guard lock(m_mutex);
        m_requestLog = QJsonArray();
        ++m_logGeneration;
        sendJson(response, 200, QJsonObject{});
    });
    m_server->Get("/_control/sheet-posts", [this](const Request&, Response& response) {
        const std::lock_guard lock(m_mutex);
        sendJson(response, 200, m_sheetPosts);
    });
    // Lets every hanging or delayed reply go on at once.
    m_server->Post("/_control/release", [this](const Request&, Response& response) {
        {
            const std::lock_guard lock(m_mutex);
            ++m_releaseGeneration;
        }
        m_wake.notify_all();
        sendJson(response, 200, QJsonObject{});
    });
}
