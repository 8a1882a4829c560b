#include "StandInService.h"

#include <QFile>
#include <QJsonDocument>
#include <QSslCertificate>
#include <httplib.h>

namespace {

QString standInPath() {
    const QByteArray overridden = qgetenv("CLIPFERRY_STAND_IN");
    return overridden.isEmpty() ? QStringLiteral(CLIPFERRY_STAND_IN_PATH)
                                : QString::fromLocal8Bit(overridden);
}

QJsonObject faultJson(const StandInService::Fault& fault) {
    QJsonObject object{{QStringLiteral("path"), fault.path}};
    if (!fault.method.isEmpty())
        object.insert(QStringLiteral("method"), fault.method);
    if (fault.skip > 0)
        object.insert(QStringLiteral("skip"), fault.skip);
    if (fault.times)
        object.insert(QStringLiteral("times"), *fault.times);
    if (fault.status != 0)
        object.insert(QStringLiteral("status"), fault.status);
    if (fault.body)
        object.insert(QStringLiteral("bodyBase64"), QString::fromLatin1(fault.body->toBase64()));
    if (!fault.headers.isEmpty()) {
        QJsonObject headers;
        for (const auto& [name, value] : fault.headers)
            headers.insert(QString::fromUtf8(name), QString::fromUtf8(value));
        object.insert(QStringLiteral("headers"), headers);
    }
    if (fault.delayMs > 0)
        object.insert(QStringLiteral("delayMs"), fault.delayMs);
    if (fault.hang)
        object.insert(QStringLiteral("hang"), true);
    if (fault.dropBeforeReply)
        object.insert(QStringLiteral("drop"), QStringLiteral("before-reply"));
    if (fault.dropAfterHandling)
        object.insert(QStringLiteral("drop"), QStringLiteral("after-handling"));
    if (fault.dropAfterBytes >= 0)
        object.insert(QStringLiteral("dropAfterBytes"), static_cast<double>(fault.dropAfterBytes));
    if (fault.malformedJson)
        object.insert(QStringLiteral("malformedJson"), true);
    if (fault.endlessBody)
        object.insert(QStringLiteral("endlessBody"), true);
    if (fault.trickleMs > 0)
        object.insert(QStringLiteral("trickleMs"), fault.trickleMs);
    return object;
}

// The openssl tool's settings for the two certificates: an authority that signs, and the
// stand-in's own, good for 127.0.0.1 and localhost only.
constexpr auto certificateSettings = R"([req]
distinguished_name = name
prompt = no
[name]
CN = Clipferry stand-in
[authority]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1,DNS:localhost
)";

// Makes "authority.pem", "server.pem" and "server.key" in `folder`; the error, or empty.
QString makeCertificates(const QString& folder) {
    QFile settings(folder + QStringLiteral("/openssl.cnf"));
    if (!settings.open(QIODevice::WriteOnly) || settings.write(certificateSettings) < 0)
        return settings.errorString();
    settings.close();
    const auto make = [&](const QString& name, const QString& subject,
                          const QStringList& signer) -> QString {
        QProcess openssl;
        openssl.setWorkingDirectory(folder);
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"),
                      QStringList{"req", "-x509", "-config", "openssl.cnf", "-extensions", name,
                                  "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                  "-noenc", "-days", "2", "-subj", subject, "-keyout",
                                  name + ".key", "-out", name + ".pem"} +
                          signer);
        if (!openssl.waitForFinished() || openssl.exitCode() != 0)
            return QStringLiteral("openssl: %1 %2")
                .arg(openssl.errorString(), QString::fromLocal8Bit(openssl.readAll()));
        return {};
    };
    QString error =
        make(QStringLiteral("authority"), QStringLiteral("/CN=Clipferry test authority"), {});
    if (error.isEmpty())
        error = make(QStringLiteral("server"), QStringLiteral("/CN=127.0.0.1"),
                     {"-CA", "authority.pem", "-CAkey", "authority.key"});
    return error;
}

QJsonArray arrayOf(const std::optional<QByteArray>& bytes) {
    return bytes ? QJsonDocument::fromJson(*bytes).array() : QJsonArray();
}

} // namespace

StandInService::StandInService()
    : StandInService(Scheme::http) {}

StandInService::StandInService(Scheme scheme)
    : m_scheme(scheme) {
    // The stand-in stops by itself when this process dies and its stdin closes.
    QStringList arguments{QStringLiteral("--exit-on-stdin-eof")};
    if (m_scheme == Scheme::https) {
        m_error = makeCertificates(m_certificates.path());
        if (!m_error.isEmpty())
            return;
        arguments << QStringLiteral("--tls")
                  << m_certificates.filePath(QStringLiteral("server.pem"))
                  << m_certificates.filePath(QStringLiteral("server.key"));
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(standInPath(), arguments);
    if (!m_process.waitForStarted()) {
        m_error = QStringLiteral("cannot start %1: %2").arg(standInPath(), m_process.errorString());
        return;
    }
    // Its first line is the port it listens on; nothing is served before it.
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(10000)) {
            m_error = QStringLiteral("the stand-in printed no port");
            return;
        }
    }
    bool ok = false;
    m_port = m_process.readLine().trimmed().toInt(&ok);
    if (!ok || m_port <= 0) {
        m_port = 0;
        m_error = QStringLiteral("the stand-in printed no valid port");
    }
}

StandInService::~StandInService() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

bool StandInService::isRunning() const {
    return m_port > 0 && m_process.state() == QProcess::Running;
}

QUrl StandInService::baseUrl() const {
    return QUrl(QStringLiteral("%1://127.0.0.1:%2")
                    .arg(m_scheme == Scheme::https ? "https" : "http")
                    .arg(m_port));
}

clipferry::MuxClient::Options StandInService::clientOptions() const {
    clipferry::MuxClient::Options options;
    options.apiBase = baseUrl();
    options.assetIdPollInterval = std::chrono::milliseconds(1);
    options.readyPollInterval = std::chrono::milliseconds(1);
    options.postRequestsPerSecond = 0;
    options.otherRequestsPerSecond = 0;
    options.retryBaseDelay = std::chrono::milliseconds(1);
    if (m_scheme == Scheme::https)
        options.testAuthorities =
            QSslCertificate::fromPath(m_certificates.filePath(QStringLiteral("authority.pem")));
    return options;
}

QUrl StandInService::sheetWebAppUrl() const {
    return QUrl(baseUrl().toString() + QStringLiteral("/macros/s/stand-in/exec"));
}

bool StandInService::control(const char* method, const QString& path,
                             const QJsonObject& body) const {
    if (m_port <= 0)
        return false;
    const auto client = controlClient();
    const std::string target = path.toStdString();
    const std::string payload = QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString();
    httplib::Result result =
        std::string_view(method) == "POST"    ? client->Post(target, payload, "application/json")
        : std::string_view(method) == "PATCH" ? client->Patch(target, payload, "application/json")
                                              : client->Delete(target);
    if (!result || result->status != 200) {
        qWarning("stand-in control %s %s failed: %s", method, qPrintable(path),
                 result ? std::to_string(result->status).c_str()
                        : httplib::to_string(result.error()).c_str());
        return false;
    }
    return true;
}

std::optional<QByteArray> StandInService::fetch(const QString& path) const {
    if (m_port <= 0)
        return std::nullopt;
    auto result = controlClient()->Get(path.toStdString());
    if (!result || result->status != 200)
        return std::nullopt;
    return QByteArray::fromStdString(result->body);
}

std::unique_ptr<httplib::Client> StandInService::controlClient() const {
    auto client = std::make_unique<httplib::Client>(baseUrl().toString().toStdString());
    if (m_scheme == Scheme::https)
        client->set_ca_cert_path(
            m_certificates.filePath(QStringLiteral("authority.pem")).toStdString());
    return client;
}

bool StandInService::setCredentials(const QString& tokenID, const QString& tokenSecret) {
    if (!control(
            "POST", QStringLiteral("/_control/settings"),
            {{QStringLiteral("tokenID"), tokenID}, {QStringLiteral("tokenSecret"), tokenSecret}}))
        return false;
    m_tokenID = tokenID;
    m_tokenSecret = tokenSecret;
    return true;
}

bool StandInService::setUploadPollsBeforeAsset(int polls) {
    return control("POST", QStringLiteral("/_control/settings"),
                   {{QStringLiteral("uploadPollsBeforeAsset"), polls}});
}

bool StandInService::setAssetPollsBeforeReady(int polls) {
    return control("POST", QStringLiteral("/_control/settings"),
                   {{QStringLiteral("assetPollsBeforeReady"), polls}});
}

bool StandInService::setPaging(Paging paging, int maxPageSize) {
    return control("POST", QStringLiteral("/_control/settings"),
                   {{QStringLiteral("paging"),
                     paging == Paging::cursor ? QStringLiteral("cursor") : QStringLiteral("links")},
                    {QStringLiteral("maxPageSize"), maxPageSize}});
}

bool StandInService::setRateLimit(int perMinute) {
    return control("POST", QStringLiteral("/_control/settings"),
                   {{QStringLiteral("rateLimitPerMinute"), perMinute}});
}

bool StandInService::setChaos(const ChaosSettings& chaos) {
    return control("POST", QStringLiteral("/_control/chaos"),
                   {{QStringLiteral("seed"), QString::number(chaos.seed)},
                    {QStringLiteral("refuseShare"), chaos.refuseShare},
                    {QStringLiteral("retryAfter"), chaos.retryAfterSeconds},
                    {QStringLiteral("loseReplyShare"), chaos.loseReplyShare},
                    {QStringLiteral("cutShare"), chaos.cutShare},
                    {QStringLiteral("assetDelayMs"), chaos.assetDelayMs},
                    {QStringLiteral("assetDelayRequests"), chaos.assetDelayRequests},
                    {QStringLiteral("holdAt"), chaos.holdAt},
                    {QStringLiteral("holdPhase"), chaos.holdPhase}});
}

bool StandInService::stopChaos() {
    return control("DELETE", QStringLiteral("/_control/chaos"));
}

bool StandInService::chaosHeld() const {
    const auto state = fetch(QStringLiteral("/_control/chaos"));
    return state &&
           QJsonDocument::fromJson(*state).object().value(QLatin1StringView("held")).toBool();
}

bool StandInService::makePendingAssets() {
    return control("POST", QStringLiteral("/_control/assets/pending"));
}

bool StandInService::addFault(const Fault& fault) {
    return control("POST", QStringLiteral("/_control/faults"), faultJson(fault));
}

bool StandInService::clearFaults() {
    return control("DELETE", QStringLiteral("/_control/faults"));
}

bool StandInService::releaseHangingReplies() {
    return control("POST", QStringLiteral("/_control/release"));
}

bool StandInService::seedAssets(const QJsonArray& assets) {
    return control("POST", QStringLiteral("/_control/assets"),
                   {{QStringLiteral("assets"), assets}});
}

bool StandInService::seedGeneratedAssets(int count, const QString& createdAt,
                                         const QString& updatedAt, const QString& idPrefix) {
    QJsonObject generate{{QStringLiteral("count"), count}, {QStringLiteral("idPrefix"), idPrefix}};
    if (!createdAt.isEmpty())
        generate.insert(QStringLiteral("createdAt"), createdAt);
    if (!updatedAt.isEmpty())
        generate.insert(QStringLiteral("updatedAt"), updatedAt);
    return control("POST", QStringLiteral("/_control/assets"),
                   {{QStringLiteral("generate"), generate}});
}

bool StandInService::updateUpload(const QString& uploadID, const QJsonObject& members) {
    return control("PATCH", QStringLiteral("/_control/uploads/") + uploadID, members);
}

QJsonArray StandInService::assets() const {
    return arrayOf(fetch(QStringLiteral("/_control/assets")));
}

QJsonArray StandInService::uploads() const {
    return arrayOf(fetch(QStringLiteral("/_control/uploads")));
}

qint64 StandInService::bodyBytesArrived() const {
    const auto body = fetch(QStringLiteral("/_control/arrived"));
    return body ? QJsonDocument::fromJson(*body)
                      .object()
                      .value(QLatin1StringView("bytes"))
                      .toInteger()
                : -1;
}

QList<StandInService::LoggedRequest> StandInService::requests() const {
    QList<LoggedRequest> list;
    for (const auto& value : arrayOf(fetch(QStringLiteral("/_control/requests")))) {
        const QJsonObject entry = value.toObject();
        LoggedRequest request;
        request.method = entry.value(QLatin1StringView("method")).toString();
        request.path = entry.value(QLatin1StringView("path")).toString();
        request.target = entry.value(QLatin1StringView("target")).toString();
        const QJsonObject headers = entry.value(QLatin1StringView("headers")).toObject();
        for (auto it = headers.begin(); it != headers.end(); ++it)
            request.headers.insert(it.key(), it.value().toString());
        request.body = entry.value(QLatin1StringView("body")).toString().toUtf8();
        request.status = entry.value(QLatin1StringView("status")).toInt();
        list.append(request);
    }
    return list;
}

int StandInService::countRequests(const QString& method, const QString& path) const {
    int count = 0;
    for (const auto& request : requests()) {
        const bool pathMatches = path.endsWith(QLatin1Char('*'))
                                     ? request.path.startsWith(path.chopped(1))
                                     : request.path == path;
        count += request.method == method && pathMatches ? 1 : 0;
    }
    return count;
}

bool StandInService::clearRequests() {
    return control("DELETE", QStringLiteral("/_control/requests"));
}

QList<StandInService::SheetPost> StandInService::sheetPosts() const {
    QList<SheetPost> posts;
    for (const auto& value : arrayOf(fetch(QStringLiteral("/_control/sheet-posts")))) {
        const QJsonObject entry = value.toObject();
        posts.append(SheetPost{
            entry.value(QLatin1StringView("path")).toString(),
            entry.value(QLatin1StringView("contentType")).toString(),
            QByteArray::fromBase64(
                entry.value(QLatin1StringView("bodyBase64")).toString().toLatin1()),
        });
    }
    return posts;
}

bool StandInService::reset() {
    if (!control("POST", QStringLiteral("/_control/reset")))
        return false;
    m_tokenID = QStringLiteral("stand-in-id");
    m_tokenSecret = QStringLiteral("stand-in-secret");
    return true;
}
