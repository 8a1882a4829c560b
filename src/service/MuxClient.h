#pragma once

#include "model/Result.h"
#include "service/MuxClientOptions.h"
#include "service/MuxRecords.h"
#include "service/PacerClock.h"

#include <QCoro/QCoroTask>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkRequest;

namespace clipferry {

class BandwidthLimiter;
class NetworkReachability;
class RequestPacer;
class ServiceTransport;
class StopSource;

struct CreatedUpload {
    QString id;
    QUrl url;
};

// How `MuxClient::uploadFile` sends a file.
struct FileTransfer {
    // Ask the session what it holds before sending: the transfer ran before, in this
    // process or an earlier one.
    bool resume = false;
    std::shared_ptr<StopSource> stop;
    // Bytes the session has or is being sent, and the file's size.
    std::function<void(qint64 sent, qint64 total)> progress;
    // The transfer goes on from what the session holds: the sent count starts over there.
    std::function<void(qint64 held, qint64 total)> resumedAt;
    // The file as it was when its session began (size 0: unchecked). Checked again just
    // before the last block leaves: a file that changed is never completed.
    qint64 expectedSize = 0;
    qint64 expectedModifiedMs = 0;
    // The storage host cannot be reached (true) and the transfer waits, asking again now
    // and then; or it answers again (false).
    std::function<void(bool unreachable)> unreachable;
    // Ends those waits early when the network comes back; it outlives the transfer.
    NetworkReachability* reachability = nullptr;
};

// The client of the video service's REST API. One instance, owned by the view model;
// every request reads the credential pair as it stands when the request is built.
class MuxClient {
public:
    using Options = MuxClientOptions;
    // Bytes sent so far and the total, for a progress bar.
    using ProgressCallback = std::function<void(qint64 sent, qint64 total)>;

    MuxClient(QNetworkAccessManager& network, Options options);
    ~MuxClient();

    void setCredentials(const QString& tokenID, const QString& tokenSecret);
    // The rate cap of the file transfers; a change applies to those in flight too.
    [[nodiscard]] BandwidthLimiter& bandwidth() const { return *m_options.bandwidth; }

    // A stop ends any of these early; each then fails with `ServiceTransport::cancelled()`.
    [[nodiscard]] QCoro::Task<Result<CreatedUpload>>
    createUpload(QString passthrough, QString maxResolutionTier,
                 std::shared_ptr<StopSource> stop = {});
    // Sends the file to the upload session. A dropped or timed-out transfer, 408, 429
    // and 5xx are resumed from what the session holds; a session that is gone ends it
    // with `uploadExpiredCode`. While the host cannot be reached at all the transfer
    // waits, asking at most every `maxResumeDelay`, for as long as it takes.
    [[nodiscard]] QCoro::Task<Result<void>> uploadFile(QString filePath, QUrl uploadURL,
                                                       FileTransfer transfer);
    [[nodiscard]] QCoro::Task<Result<void>> uploadFile(QString filePath, QUrl uploadURL,
                                                       ProgressCallback progress = {});
    // Ends a direct upload that has no asset yet, so the service takes no more bytes.
    [[nodiscard]] QCoro::Task<Result<void>> cancelUpload(QString uploadID);
    // The waits take a dropped connection, a time-out, 408, 429 and 5xx for one more
    // poll; only a refusal or the service's own verdict ends them early.
    [[nodiscard]] QCoro::Task<Result<QString>>
    waitForAssetID(QString uploadID, std::shared_ptr<StopSource> stop = {});
    [[nodiscard]] QCoro::Task<Result<void>> updateAssetTitle(QString assetID, QString title);
    [[nodiscard]] QCoro::Task<Result<QString>>
    waitForAssetReady(QString assetID, std::shared_ptr<StopSource> stop = {});
    [[nodiscard]] QCoro::Task<Result<void>> deleteAsset(QString assetID);

    // Every asset of the library in the service's order, or the first error. Uses the
    // given tokens, not the client's pair: the library sync lists with the view model's
    // current fields.
    [[nodiscard]] QCoro::Task<Result<QList<MuxAsset>>> listAllAssets(QString tokenID,
                                                                     QString tokenSecret);

private:
    // "Basic " + Base64 of the pair as it stands now.
    [[nodiscard]] QByteArray credentialHeader() const;
    // API base + `path`; `id`, when given, is appended as the service wrote it and must
    // not change which resource the location names.
    [[nodiscard]] Result<QUrl> apiLocation(const QString& path, const QString& id = {}) const;
    // A GET of `location` with the credential header, through pacing and retries.
    [[nodiscard]] QCoro::Task<Result<QByteArray>> getChecked(QUrl location,
                                                             std::shared_ptr<StopSource> stop = {});

    // Reads a reply body and says how the wait ends, or nothing to poll again.
    using PollVerdict = std::function<std::optional<Result<QString>>(const QByteArray& body)>;
    struct PollPlan {
        std::chrono::milliseconds interval;
        int attempts = 1;
        int timeoutCode = 0;
        QString timeoutMessage;
    };
    // GETs `location` until `verdict` ends the wait, sleeping between polls; the first
    // failing request ends it too, and so does the last attempt's sleep.
    [[nodiscard]] QCoro::Task<Result<QString>>
    poll(QUrl location, PollPlan plan, PollVerdict verdict, std::shared_ptr<StopSource> stop);

    QNetworkAccessManager& m_network;
    Options m_options;
    std::unique_ptr<RequestPacer> m_pacer;
    std::unique_ptr<ServiceTransport> m_transport;
    // The storage host is not the API: its requests wait for no API rate or budget.
    std::unique_ptr<RequestPacer> m_sessionPacer;
    // Upload session requests: every answer reaches the transfer, which resumes by itself.
    std::unique_ptr<ServiceTransport> m_sessionTransport;
    mutable QMutex m_credentialsLock;
    QString m_tokenID;
    QString m_tokenSecret;
};

} // namespace clipferry
