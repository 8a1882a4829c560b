#pragma once

#include "service/HttpReplyParser.h"

#include <QUrl>
#ifdef CLIPFERRY_TEST_SEAMS
#include <QList>
#include <QSslCertificate>
#endif
#include <chrono>
#include <memory>

namespace clipferry {

class BandwidthLimiter;
class PacerClock;

// How the service client paces, polls and retries; its own header so that holders of
// the options need not see the client.
struct MuxClientOptions {
    QUrl apiBase;
    std::chrono::milliseconds assetIdPollInterval{3000};
    int assetIdAttempts = 60;
    std::chrono::milliseconds readyPollInterval{4000};
    int readyAttempts = 120;
    // The service answers 429 above about 1 POST and 5 other requests a second.
    // A rate of 0 turns pacing off for that kind.
    double postRequestsPerSecond = 1.0;
    double otherRequestsPerSecond = 5.0;
    // First wait before retrying a refused or dropped request; doubles each time.
    std::chrono::milliseconds retryBaseDelay{1000};
    int maxRetries = 5;
    // Resumptions of one file transfer without progress before it fails; the waits
    // between them double from `retryBaseDelay` up to `maxResumeDelay`.
    int maxResumptions = 8;
    std::chrono::milliseconds maxResumeDelay{30000};
    // Requests of one file transfer in all, resumptions with progress included: a host
    // that moves its held offset a little each time cannot keep an upload going forever.
    int maxTransferRequests = 100;
    // What the storage host's replies to the transfer may cost.
    ReplyLimits storageReplyLimits{};
    // Idle time-out of every request: the time allowed without progress.
    std::chrono::milliseconds transferTimeout{60000};
    // The cap on all file transfers together; null: the client makes one without a limit.
    std::shared_ptr<BandwidthLimiter> bandwidth{};
    // Time source of pacing and retry waits; null means the steady clock.
    std::shared_ptr<PacerClock> clock{};
#ifdef CLIPFERRY_TEST_SEAMS
    // Test builds only: authorities trusted besides the system's, those of a test's own
    // TLS stand-in. A release build has no such member: nothing can widen what it trusts,
    // and no option turns a certificate check off in any build.
    QList<QSslCertificate> testAuthorities{};
#endif
};

} // namespace clipferry
