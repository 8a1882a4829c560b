#include "MuxClient.h"

// Placeholder bodies; the real requests come with the service client.
namespace clipferry {

MuxClient::MuxClient(QNetworkAccessManager& network, Options options)
    : m_network(network)
    , m_options(std::move(options)) {}

MuxClient::~MuxClient() = default;

void MuxClient::setCredentials(const QString& tokenID, const QString& tokenSecret) {
    const QMutexLocker lock(&m_credentialsLock);
    m_tokenID = tokenID;
    m_tokenSecret = tokenSecret;
}

namespace {
Error notYet() {
    return Error{QString(), -1, QStringLiteral("Not implemented")};
}
} // namespace

QCoro::Task<Result<CreatedUpload>> MuxClient::createUpload(QString, QString) {
    co_return tl::unexpected(notYet());
}
QCoro::Task<Result<void>> MuxClient::uploadFile(QString, QUrl, ProgressCallback) {
    co_return tl::unexpected(notYet());
}
QCoro::Task<Result<QString>> MuxClient::waitForAssetID(QString) {
    co_return tl::unexpected(notYet());
}
QCoro::Task<Result<void>> MuxClient::updateAssetTitle(QString, QString) {
    co_return tl::unexpected(notYet());
}
QCoro::Task<Result<QString>> MuxClient::waitForAssetReady(QString) {
    co_return tl::unexpected(notYet());
}
QCoro::Task<Result<void>> MuxClient::deleteAsset(QString) {
    co_return tl::unexpected(notYet());
}
QCoro::Task<Result<QList<MuxAsset>>> MuxClient::listAllAssets(QString, QString) {
    co_return tl::unexpected(notYet());
}

} // namespace clipferry
