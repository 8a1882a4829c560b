#pragma once

#include "model/Result.h"
#include "service/HttpReplyParser.h"
#include "service/RequestPacer.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QNetworkRequest>
#include <QObject>
#ifdef CLIPFERRY_TEST_SEAMS
#include <QSslCertificate>
#endif
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;

namespace clipferry {

class BandwidthLimiter;

// What came back from the service: the status of an HTTP reply (absent when the reply
// was not an HTTP one) and its body.
struct HttpReply {
    std::optional<int> status;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    // An earlier attempt went out and its outcome is unknown: it may have been carried out.
    bool retried = false;

    // The value of a reply header (case-insensitive name), empty when absent.
    [[nodiscard]] QByteArray header(const QByteArray& name) const;
};

// Stops the requests sent with it: a running one is aborted, and each ends as
// `ServiceTransport::cancelled()`. Shared by the caller and the requests of one job.
class StopSource : public QObject {
    Q_OBJECT
public:
    void stop();
    [[nodiscard]] bool isStopped() const { return m_stopped; }
Q_SIGNALS:
    void stopped();

private:
    bool m_stopped = false;
};

// Sends the client's requests through the pacer (which also follows the budget the
// replies announce) and retries the replies that say "not
// now": 429, 502, 503 and 504, and, for GET, PATCH and DELETE only, a connection that
// closed before any reply. Only the last outcome reaches the caller.
class ServiceTransport {
public:
    struct RetryPolicy {
        int maxRetries = 5;
        // Doubles with each retry (1, 2, 4, 8, 16 s), each wait varied by ±20 %.
        std::chrono::milliseconds baseDelay{1000};
        // A Retry-After beyond this is read as this: a misbehaving header must not
        // park an upload for hours.
        std::chrono::seconds maxRetryAfter{300};
        // Whether a POST that lost its connection may be sent again: only when posting
        // twice does no harm.
        bool retryDroppedPosts = false;
    };
    // Opens a fresh body for each attempt (null for none); an error ends the send.
    using BodySource = std::function<Result<std::unique_ptr<QIODevice>>()>;
    using ProgressCallback = std::function<void(qint64 sent, qint64 total)>;

    // With `streamBodies`, a request with a body is sent on a connection of its own
    // (StreamedRequest, its reply held to `replyLimits`) instead of through `network`: for
    // the file transfers to upload sessions on the storage host, which carry no credential,
    // follow no redirect and do not spend the API's announced budget. Their bodies leave
    // within `bandwidth`, when given.
    ServiceTransport(QNetworkAccessManager& network, RequestPacer& pacer, RetryPolicy policy,
                     std::chrono::milliseconds transferTimeout, bool streamBodies = false,
                     ReplyLimits replyLimits = {},
                     std::shared_ptr<BandwidthLimiter> bandwidth = {});

    // A transport failure is an Error of domain "Network" with the network layer's own
    // message; every HTTP reply, whatever its status, is a value.
    [[nodiscard]] QCoro::Task<Result<HttpReply>> send(QByteArray verb, QNetworkRequest request,
                                                      BodySource body,
                                                      ProgressCallback progress = {},
                                                      std::shared_ptr<StopSource> stop = {});
    [[nodiscard]] QCoro::Task<Result<HttpReply>> send(QByteArray verb, QNetworkRequest request,
                                                      QByteArray body = {},
                                                      std::shared_ptr<StopSource> stop = {});

#ifdef CLIPFERRY_TEST_SEAMS
    // Test builds only: every request also trusts these authorities (MuxClientOptions).
    void trustTestAuthorities(QList<QSslCertificate> authorities) {
        m_testAuthorities = std::move(authorities);
    }
#endif

    // The wait before retry number `retry` (0-based) when the reply named none.
    [[nodiscard]] std::chrono::milliseconds backoffDelay(int retry) const;

    // Expires with this transport. A coroutine of the client that wakes up after a sleep
    // or a reply checks it before touching the client: the owner may be gone by then.
    [[nodiscard]] std::weak_ptr<const bool> lifetime() const {
        return m_lifetime;
    }
    [[nodiscard]] static Error cancelled();

private:
    std::shared_ptr<const bool> m_lifetime = std::make_shared<const bool>(true);

    struct Attempt {
        Result<HttpReply> outcome;
        bool retryable = false;
        std::optional<std::chrono::milliseconds> retryAfter;
    };
    [[nodiscard]] static Attempt attemptOf(Result<HttpReply> outcome);
    [[nodiscard]] QCoro::Task<Attempt> sendOnce(QByteArray verb, QNetworkRequest request,
                                                BodySource body, ProgressCallback progress,
                                                std::shared_ptr<StopSource> stop);

    // Hands the budget a reply announces (X-RateLimit-Remaining and -Reset) to the pacer,
    // its window capped like a Retry-After.
    void noteRateBudget(const QNetworkReply& reply);

    QNetworkAccessManager& m_network;
    RequestPacer& m_pacer;
    RetryPolicy m_policy;
    std::chrono::milliseconds m_transferTimeout;
    bool m_streamBodies = false;
    ReplyLimits m_replyLimits;
    std::shared_ptr<BandwidthLimiter> m_bandwidth;
#ifdef CLIPFERRY_TEST_SEAMS
    QList<QSslCertificate> m_testAuthorities;
#endif
};

// Seconds of a Retry-After header (a count of seconds or an HTTP date), if it names any.
[[nodiscard]] std::optional<std::chrono::milliseconds> parseRetryAfter(const QByteArray& value);

} // namespace clipferry
