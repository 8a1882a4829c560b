#include "service/MuxClient.h"

#include "service/BandwidthLimiter.h"
#include "service/RequestPacer.h"
#include "service/ServiceAddresses.h"
#include "service/ServiceError.h"
#include "service/ServiceRequests.h"
#include "service/ServiceTransport.h"

#include <QCoro/QCoroTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <algorithm>

namespace clipferry {

namespace {

// Upload states after which the service will never make an asset.
bool isDeadUploadStatus(const QString& status) {
    return status == QLatin1StringView("errored") || status == QLatin1StringView("cancelled") ||
           status == QLatin1StringView("timed_out");
}

// A failed poll that says "not now" rather than "no": the wait polls again.
bool isPassingFailure(const Error& error) {
    if (error.domain == errorDomain::network)
        return true;
    return error.domain.isEmpty() &&
           (error.code == 408 || error.code == 429 || (error.code >= 500 && error.code < 600));
}

QByteArray compactJson(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

MuxClient::MuxClient(QNetworkAccessManager& network, Options options)
    : m_network(network)
    , m_options(std::move(options)) {
    if (!m_options.clock)
        m_options.clock = std::make_shared<SteadyPacerClock>();
    if (!m_options.bandwidth)
        m_options.bandwidth = std::make_shared<BandwidthLimiter>();
    m_pacer = std::make_unique<RequestPacer>(
        RequestPacer::Rates{m_options.postRequestsPerSecond, m_options.otherRequestsPerSecond},
        m_options.clock);
    m_transport = std::make_unique<ServiceTransport>(
        m_network, *m_pacer,
        ServiceTransport::RetryPolicy{m_options.maxRetries, m_options.retryBaseDelay},
        m_options.transferTimeout);
    m_sessionPacer = std::make_unique<RequestPacer>(RequestPacer::Rates{0, 0}, m_options.clock);
    m_sessionTransport = std::make_unique<ServiceTransport>(
        m_network, *m_sessionPacer, ServiceTransport::RetryPolicy{0, m_options.retryBaseDelay},
        m_options.transferTimeout, true, m_options.storageReplyLimits, m_options.bandwidth);
#ifdef CLIPFERRY_TEST_SEAMS
    m_transport->trustTestAuthorities(m_options.testAuthorities);
    m_sessionTransport->trustTestAuthorities(m_options.testAuthorities);
#endif
}

MuxClient::~MuxClient() = default;

void MuxClient::setCredentials(const QString& tokenID, const QString& tokenSecret) {
    const QMutexLocker lock(&m_credentialsLock);
    m_tokenID = tokenID;
    m_tokenSecret = tokenSecret;
}

QByteArray MuxClient::credentialHeader() const {
    QString tokenID;
    QString tokenSecret;
    {
        const QMutexLocker lock(&m_credentialsLock);
        tokenID = m_tokenID;
        tokenSecret = m_tokenSecret;
    }
    return service::basicCredential(tokenID, tokenSecret);
}

Result<QUrl> MuxClient::apiLocation(const QString& path, const QString& id) const {
    if (!id.isNull() && !service::isPathSafeID(id))
        return serviceError(
            invalidLocationCode,
            QStringLiteral("The ID \"%1\" does not form a valid location.").arg(id));
    const QUrl location = service::serviceLocation(m_options.apiBase, path + id);
    if (!location.isValid() || location.isRelative())
        return serviceError(
            invalidLocationCode,
            QStringLiteral("The location \"%1\" is not valid.").arg(location.toString()));
    return location;
}

QCoro::Task<Result<QByteArray>> MuxClient::getChecked(QUrl location,
                                                      std::shared_ptr<StopSource> stop) {
    const auto request = service::authorizedRequest(location, credentialHeader(), false);
    auto reply = co_await m_transport->send(QByteArrayLiteral("GET"), request, QByteArray(),
                                            std::move(stop));
    if (!reply)
        co_return tl::unexpected(reply.error());
    if (auto status = checkHTTPStatus(reply->status, reply->body); !status)
        co_return tl::unexpected(status.error());
    co_return std::move(reply->body);
}

QCoro::Task<Result<CreatedUpload>> MuxClient::createUpload(QString passthrough,
                                                           QString maxResolutionTier,
                                                           std::shared_ptr<StopSource> stop) {
    auto location = apiLocation(QString::fromLatin1(service::uploadsPath));
    if (!location)
        co_return tl::unexpected(location.error());
    const QJsonObject settings{
        {QStringLiteral("playback_policy"), QJsonArray{QStringLiteral("public")}},
        {QStringLiteral("max_resolution_tier"), maxResolutionTier},
        {QStringLiteral("passthrough"), passthrough},
    };
    const QByteArray body =
        compactJson(QJsonObject{{QStringLiteral("new_asset_settings"), settings}});
    const auto request = service::authorizedRequest(*location, credentialHeader(), true);

    auto reply =
        co_await m_transport->send(QByteArrayLiteral("POST"), request, body, std::move(stop));
    if (!reply)
        co_return tl::unexpected(reply.error());
    if (auto status = checkHTTPStatus(reply->status, reply->body); !status)
        co_return tl::unexpected(status.error());
    auto decoded = decodeUploadResponse(reply->body);
    if (!decoded)
        co_return tl::unexpected(decoded.error());

    const QUrl uploadURL(decoded->data.url, QUrl::StrictMode);
    if (!uploadURL.isValid() || uploadURL.isRelative() || uploadURL.host().isEmpty())
        co_return serviceError(invalidLocationCode,
                               QStringLiteral("The upload location \"%1\" is not a valid address.")
                                   .arg(decoded->data.url));
    co_return CreatedUpload{decoded->data.id, uploadURL};
}

QCoro::Task<Result<QString>> MuxClient::poll(QUrl location, PollPlan plan, PollVerdict verdict,
                                             std::shared_ptr<StopSource> stop) {
    const int attempts = std::max(1, plan.attempts);
    const auto alive = m_transport->lifetime();
    const auto stopped = [&] {
        return alive.expired() || (stop && stop->isStopped());
    };
    for (int attempt = 0;; ++attempt) {
        auto body = co_await getChecked(location, stop);
        if (stopped())
            co_return tl::unexpected(ServiceTransport::cancelled());
        if (!body && !isPassingFailure(body.error()))
            co_return tl::unexpected(body.error());
        if (body) {
            if (auto outcome = verdict(*body))
                co_return std::move(*outcome);
        }
        co_await QCoro::sleepFor(plan.interval);
        if (stopped())
            co_return tl::unexpected(ServiceTransport::cancelled());
        // A wait that ends while the service cannot be reached says so: the upload waits
        // for the network instead of failing.
        if (attempt >= attempts - 1)
            co_return !body && isNetworkOutage(body.error())
                ? tl::unexpected(body.error())
                : serviceError(plan.timeoutCode, plan.timeoutMessage);
    }
}

QCoro::Task<Result<QString>> MuxClient::waitForAssetID(QString uploadID,
                                                       std::shared_ptr<StopSource> stop) {
    auto location =
        apiLocation(QString::fromLatin1(service::uploadsPath) + QLatin1Char('/'), uploadID);
    if (!location)
        co_return tl::unexpected(location.error());
    PollPlan plan{m_options.assetIdPollInterval, m_options.assetIdAttempts, assetIdTimeoutCode,
                  QStringLiteral("Timeout waiting for asset_id")};
    PollVerdict verdict = [](const QByteArray& body) -> std::optional<Result<QString>> {
        auto decoded = decodeUploadStatusResponse(body);
        if (!decoded)
            return tl::unexpected(decoded.error());
        if (decoded->data.asset_id)
            return *decoded->data.asset_id;
        if (decoded->data.status && isDeadUploadStatus(*decoded->data.status)) {
            QString message = QStringLiteral("Upload ") + *decoded->data.status;
            if (decoded->data.errorMessage && !decoded->data.errorMessage->isEmpty())
                message += QStringLiteral(": ") + *decoded->data.errorMessage;
            return serviceError(uploadDeadCode, message);
        }
        return std::nullopt;
    };
    co_return co_await poll(*location, std::move(plan), std::move(verdict), std::move(stop));
}

QCoro::Task<Result<void>> MuxClient::updateAssetTitle(QString assetID, QString title) {
    auto location =
        apiLocation(QString::fromLatin1(service::assetsPath) + QLatin1Char('/'), assetID);
    if (!location)
        co_return tl::unexpected(location.error());
    const QByteArray body = compactJson(
        QJsonObject{{QStringLiteral("meta"), QJsonObject{{QStringLiteral("title"), title}}}});
    const auto request = service::authorizedRequest(*location, credentialHeader(), true);
    auto reply = co_await m_transport->send(QByteArrayLiteral("PATCH"), request, body);
    if (!reply)
        co_return tl::unexpected(reply.error());
    co_return checkHTTPStatus(reply->status, reply->body);
}

QCoro::Task<Result<QString>> MuxClient::waitForAssetReady(QString assetID,
                                                          std::shared_ptr<StopSource> stop) {
    auto location =
        apiLocation(QString::fromLatin1(service::assetsPath) + QLatin1Char('/'), assetID);
    if (!location)
        co_return tl::unexpected(location.error());
    PollPlan plan{m_options.readyPollInterval, m_options.readyAttempts, readyTimeoutCode,
                  // The asset exists: the user may find it, or wait for it again.
                  QStringLiteral("Timeout waiting for ready (asset %1)").arg(assetID)};
    PollVerdict verdict = [](const QByteArray& body) -> std::optional<Result<QString>> {
        auto decoded = decodeAssetResponse(body);
        if (!decoded)
            return tl::unexpected(decoded.error());
        const auto& data = decoded->data;
        if (data.status == QLatin1StringView("ready") && data.playback_ids &&
            !data.playback_ids->isEmpty())
            return data.playback_ids->first().id;
        if (data.status == QLatin1StringView("errored")) {
            QString message = QStringLiteral("Asset errored");
            if (!data.errorMessages.isEmpty())
                message += QStringLiteral(": ") + data.errorMessages.join(QStringLiteral("; "));
            return serviceError(assetErroredCode, message);
        }
        return std::nullopt;
    };
    co_return co_await poll(*location, std::move(plan), std::move(verdict), std::move(stop));
}

QCoro::Task<Result<void>> MuxClient::deleteAsset(QString assetID) {
    auto location =
        apiLocation(QString::fromLatin1(service::assetsPath) + QLatin1Char('/'), assetID);
    if (!location)
        co_return tl::unexpected(location.error());
    const auto request = service::authorizedRequest(*location, credentialHeader(), false);
    auto reply = co_await m_transport->send(QByteArrayLiteral("DELETE"), request);
    if (!reply)
        co_return tl::unexpected(reply.error());
    // The lost reply was most likely the deletion's own: the asset is gone as asked.
    if (reply->retried && reply->status == 404)
        co_return Result<void>{};
    // The body is discarded before the test: a refused delete reads "HTTP <status>: ".
    co_return checkHTTPStatus(reply->status, QByteArray());
}

} // namespace clipferry
