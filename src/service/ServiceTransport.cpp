#include "service/ServiceTransport.h"

#include "service/LoopbackGuard.h"
#include "service/ServiceError.h"
#include "service/StreamedRequest.h"

#include <QBuffer>
#include <QCoro/QCoroNetworkReply>
#include <QCoro/QCoroSignal>
#include <QDateTime>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QSslConfiguration>
#include <QTimeZone>
#include <algorithm>

namespace clipferry {

namespace {

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

bool isRetryableStatus(int status) {
    return status == 429 || status == 502 || status == 503 || status == 504;
}

// Requests that change nothing when repeated, so a lost connection may be retried.
bool isIdempotent(const QByteArray& verb, bool postsToo) {
    return verb == "GET" || verb == "PATCH" || verb == "DELETE" || (postsToo && verb == "POST");
}

// The errors Qt derives from an HTTP status (content and server groups, and 400 as an
// invalid operation), as opposed to failures of the connection itself.
bool isStatusError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= 201 && code < 300) || (code >= 401 && code < 500) ||
           error == QNetworkReply::ProtocolInvalidOperationError;
}

} // namespace

std::optional<std::chrono::milliseconds> parseRetryAfter(const QByteArray& value) {
    const QByteArray trimmed = value.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool isNumber = false;
    const qulonglong seconds = trimmed.toULongLong(&isNumber);
    if (isNumber) {
        // Beyond a day is nonsense for a rate limit; keep the arithmetic below in range.
        constexpr qulonglong oneDay = 86400;
        return std::chrono::seconds(std::min(seconds, oneDay));
    }
    const QString text = QString::fromLatin1(trimmed);
    auto when = QDateTime::fromString(text, Qt::RFC2822Date);
    if (!when.isValid()) {
        // The HTTP date form, "Wed, 21 Oct 2015 07:28:00 GMT".
        when = QLocale::c().toDateTime(text, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));
        when.setTimeZone(QTimeZone::utc());
    }
    if (!when.isValid())
        return std::nullopt;
    const qint64 delta = QDateTime::currentDateTimeUtc().msecsTo(when);
    return std::chrono::milliseconds(std::clamp<qint64>(delta, 0, 86400 * 1000));
}

// An answer is worth asking again when its status says the service is busy or failing;
// it may name the wait itself.
ServiceTransport::Attempt ServiceTransport::attemptOf(Result<HttpReply> outcome) {
    Attempt attempt{std::move(outcome), false, std::nullopt};
    if (attempt.outcome && attempt.outcome->status && isRetryableStatus(*attempt.outcome->status)) {
        attempt.retryable = true;
        attempt.retryAfter = parseRetryAfter(attempt.outcome->header("Retry-After"));
    }
    return attempt;
}

ServiceTransport::ServiceTransport(QNetworkAccessManager& network, RequestPacer& pacer,
                                   RetryPolicy policy, std::chrono::milliseconds transferTimeout,
                                   bool streamBodies, ReplyLimits replyLimits,
                                   std::shared_ptr<BandwidthLimiter> bandwidth)
    : m_network(network)
    , m_pacer(pacer)
    , m_policy(policy)
    , m_transferTimeout(transferTimeout)
    , m_streamBodies(streamBodies)
    , m_replyLimits(replyLimits)
    , m_bandwidth(std::move(bandwidth)) {}

std::chrono::milliseconds ServiceTransport::backoffDelay(int retry) const {
    const double jitter = 0.8 + QRandomGenerator::global()->bounded(0.4);
    const double delay = static_cast<double>(m_policy.baseDelay.count()) *
                         static_cast<double>(1LL << std::clamp(retry, 0, 20)) * jitter;
    return std::chrono::milliseconds(static_cast<qint64>(delay));
}

QCoro::Task<Result<HttpReply>> ServiceTransport::send(QByteArray verb, QNetworkRequest request,
                                                      QByteArray body,
                                                      std::shared_ptr<StopSource> stop) {
    BodySource source;
    if (!body.isEmpty())
        source = [body]() -> Result<std::unique_ptr<QIODevice>> {
            auto buffer = std::make_unique<QBuffer>();
            buffer->setData(body);
            buffer->open(QIODevice::ReadOnly);
            return std::unique_ptr<QIODevice>(std::move(buffer));
        };
    co_return co_await send(std::move(verb), std::move(request), std::move(source), {},
                            std::move(stop));
}

QByteArray HttpReply::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

void StopSource::stop() {
    if (m_stopped)
        return;
    m_stopped = true;
    Q_EMIT stopped();
}

Error ServiceTransport::cancelled() {
    return Error{QString(), -1, QStringLiteral("The request was cancelled.")};
}

QCoro::Task<Result<HttpReply>> ServiceTransport::send(QByteArray verb, QNetworkRequest request,
                                                      BodySource body, ProgressCallback progress,
                                                      std::shared_ptr<StopSource> stop) {
    const auto alive = lifetime();
    for (int retry = 0;; ++retry) {
        Attempt attempt = co_await sendOnce(verb, request, body, progress, stop);
        if (alive.expired() || (stop && stop->isStopped()))
            co_return tl::unexpected(cancelled());
        if (!attempt.retryable || retry >= m_policy.maxRetries) {
            if (attempt.outcome)
                attempt.outcome->retried = attempt.outcome->retried || retry > 0;
            co_return std::move(attempt.outcome);
        }
        const auto delay =
            attempt.retryAfter
                ? std::min<std::chrono::milliseconds>(*attempt.retryAfter, m_policy.maxRetryAfter)
                : backoffDelay(retry);
        auto& clock = m_pacer.clock();
        auto sleep = clock.sleepUntil(clock.now() + delay, stop);
        co_await std::move(sleep);
        if (alive.expired() || (stop && stop->isStopped()))
            co_return tl::unexpected(cancelled());
    }
}

void ServiceTransport::noteRateBudget(const QNetworkReply& reply) {
    bool hasRemaining = false;
    bool hasReset = false;
    const int remaining = reply.rawHeader("X-RateLimit-Remaining").trimmed().toInt(&hasRemaining);
    const qint64 reset = reply.rawHeader("X-RateLimit-Reset").trimmed().toLongLong(&hasReset);
    if (!hasRemaining || !hasReset)
        return;
    // Unix seconds; a small number is read as seconds from now, as some services send.
    constexpr qint64 unixTimeFloor = 1000000000;
    const qint64 seconds =
        reset > unixTimeFloor ? reset - QDateTime::currentSecsSinceEpoch() : reset;
    constexpr qint64 longestWindow = 3600;
    if (seconds <= 0 || seconds > longestWindow)
        return;
    // A spent budget holds every request until its reset: no longer than a Retry-After may.
    const auto window =
        std::min<std::chrono::milliseconds>(std::chrono::seconds(seconds), m_policy.maxRetryAfter);
    auto& clock = m_pacer.clock();
    m_pacer.noteBudget(remaining, clock.now() + window);
}

QCoro::Task<ServiceTransport::Attempt>
ServiceTransport::sendOnce(QByteArray verb, QNetworkRequest request, BodySource body,
                           ProgressCallback progress, std::shared_ptr<StopSource> stop) {
    if (stop && stop->isStopped())
        co_return Attempt{tl::unexpected(cancelled()), false, std::nullopt};
    std::unique_ptr<QIODevice> device;
    if (body) {
        auto opened = body();
        if (!opened)
            co_return Attempt{tl::unexpected(opened.error()), false, std::nullopt};
        device = std::move(*opened);
    }

#ifdef CLIPFERRY_TEST_SEAMS
    if (!m_testAuthorities.isEmpty()) {
        QSslConfiguration tls = request.sslConfiguration();
        tls.addCaCertificates(m_testAuthorities);
        request.setSslConfiguration(tls);
    }
#endif

    const auto alive = lifetime();
    auto slot = m_pacer.acquire(
        verb == "POST" ? RequestPacer::Kind::post : RequestPacer::Kind::other, stop);
    co_await std::move(slot);
    if (alive.expired() || (stop && stop->isStopped()))
        co_return Attempt{tl::unexpected(cancelled()), false, std::nullopt};

    if (device && m_streamBodies) {
        std::unique_ptr<StreamedRequest, DeleteLater> streamed(new StreamedRequest(
            verb, request, std::move(device), m_transferTimeout, m_replyLimits, m_bandwidth));
        StreamedRequest* const call = streamed.get();
        if (progress)
            QObject::connect(call, &StreamedRequest::uploadProgress, call, progress);
        if (stop)
            QObject::connect(stop.get(), &StopSource::stopped, call, &StreamedRequest::abort);
        call->start();
        if (!call->isFinished()) {
            auto done = qCoro(call, &StreamedRequest::finished);
            co_await done;
        }
        if (alive.expired() || (stop && stop->isStopped()))
            co_return Attempt{tl::unexpected(cancelled()), false, std::nullopt};
        co_return attemptOf(call->outcome());
    }

    request.setTransferTimeout(static_cast<int>(m_transferTimeout.count()));
    // Qt forwards every header, the credential too, to wherever a redirect points; a
    // caller that follows none keeps its choice.
    const QVariant chosen = request.attribute(QNetworkRequest::RedirectPolicyAttribute);
    if (request.hasRawHeader("Authorization") &&
        !(chosen.isValid() && chosen.toInt() == QNetworkRequest::ManualRedirectPolicy))
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::SameOriginRedirectPolicy);
    service::requireLoopback(request.url());
    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        m_network.sendCustomRequest(request, verb, device.get()));
    service::requireLoopbackRedirects(*reply);
    // The reply reads the body until it is done with it; it owns the device from here.
    if (device)
        device.release()->setParent(reply.get());
    if (progress)
        QObject::connect(reply.get(), &QNetworkReply::uploadProgress, reply.get(),
                         [progress](qint64 sent, qint64 total) {
                             // Qt closes with (0, 0) once the body is gone; only real
                             // counts are progress.
                             if (total > 0)
                                 progress(sent, total);
                         });

    if (stop)
        QObject::connect(stop.get(), &StopSource::stopped, reply.get(), &QNetworkReply::abort);
    // The network layer itself sends an idempotent request again when its connection
    // closes before any reply: that resend, too, means an earlier one may have been done.
    auto sends = std::make_shared<int>(0);
    QObject::connect(reply.get(), &QNetworkReply::requestSent, reply.get(), [sends] { ++*sends; });
    QObject::connect(reply.get(), &QNetworkReply::redirected, reply.get(), [sends] { --*sends; });

    co_await reply.get();
    if (alive.expired() || (stop && stop->isStopped()))
        co_return Attempt{tl::unexpected(cancelled()), false, std::nullopt};

    const auto error = reply->error();
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    std::optional<int> status;
    if (statusAttribute.isValid())
        status = statusAttribute.toInt();

    // With a status, a connection lost mid-body or an idle time-out is still a failure of
    // the transport: the body is incomplete.
    if (error != QNetworkReply::NoError && !(status && isStatusError(error))) {
        Attempt attempt{fail(errorDomain::network, static_cast<int>(error), reply->errorString()),
                        false, std::nullopt};
        attempt.retryable = !status && error == QNetworkReply::RemoteHostClosedError &&
                            isIdempotent(verb, m_policy.retryDroppedPosts);
        co_return attempt;
    }

    // The storage host's replies say nothing of the API's budget.
    if (status && !m_streamBodies)
        noteRateBudget(*reply);
    co_return attemptOf(HttpReply{status, reply->readAll(), reply->rawHeaderPairs(), *sends > 1});
}

} // namespace clipferry
