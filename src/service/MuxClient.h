#pragma once

#include "MuxRecords.h"
#include "Result.h"

#include <QCoro/QCoroTask>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <chrono>
#include <functional>

class QNetworkAccessManager;

namespace clipferry {

struct CreatedUpload {
    QString id;
    QUrl url;
};

// The client of the video service's REST API. One instance, owned by the view model;
// every request reads the credential pair as it stands when the request is built.
class MuxClient {
public:
    struct Options {
        QUrl apiBase;
        std::chrono::milliseconds assetIdPollInterval{3000};
        int assetIdAttempts = 60;
        std::chrono::milliseconds readyPollInterval{4000};
        int readyAttempts = 120;
    };
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
    QNetworkAccessManager& m_network;
    Options m_options;
    mutable QMutex m_credentialsLock;
    QString m_tokenID;
    QString m_tokenSecret;
};

} // namespace clipferry
