#pragma once

#include "MuxClientOptions.h"
#include "MuxRecords.h"
#include "PacerClock.h"
#include "Result.h"

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

class RequestPacer;
class ServiceTransport;

struct CreatedUpload {
    QString id;
    QUrl url;
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

    [[nodiscard]] QCoro::Task<Result<CreatedUpload>> createUpload(QString passthrough,
                                                                  QString maxResolutionTier);
    [[nodiscard]] QCoro::Task<Result<void>> uploadFile(QString filePath, QUrl uploadURL,
                                                       ProgressCallback progress = {});
    [[nodiscard]] QCoro::Task<Result<QString>> waitForAssetID(QString uploadID);
    [[nodiscard]] QCoro::Task<Result<void>> updateAssetTitle(QString assetID, QString title);
    [[nodiscard]] QCoro::Task<Result<QString>> waitForAssetReady(QString assetID);
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
    [[nodiscard]] QCoro::Task<Result<QByteArray>> getChecked(QUrl location);

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
    [[nodiscard]] QCoro::Task<Result<QString>> poll(QUrl location, PollPlan plan,
                                                    PollVerdict verdict);

    QNetworkAccessManager& m_network;
    Options m_options;
    std::unique_ptr<RequestPacer> m_pacer;
    std::unique_ptr<ServiceTransport> m_transport;
    mutable QMutex m_credentialsLock;
    QString m_tokenID;
    QString m_tokenSecret;
};

} // namespace clipferry
