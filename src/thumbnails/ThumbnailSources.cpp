#include "thumbnails/ThumbnailSources.h"

#include "service/LoopbackGuard.h"
#include "thumbnails/ThumbnailProvider.h"

#include <QCoro/QCoroNetworkReply>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QPointer>
#include <QStandardPaths>
#include <memory>

namespace clipferry {
namespace {

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

std::optional<QImage> decode(const QByteArray& bytes) {
    QImage image;
    if (bytes.isEmpty() || !image.loadFromData(bytes))
        return std::nullopt;
    return image;
}

std::optional<QImage> readCached(QNetworkDiskCache* cache, const QUrl& url) {
    if (!cache)
        return std::nullopt;
    std::unique_ptr<QIODevice> device(cache->data(url));
    if (!device)
        return std::nullopt;
    auto image = decode(device->readAll());
    // A damaged entry is fetched again rather than failing forever.
    if (!image)
        cache->remove(url);
    return image;
}

void writeCached(QNetworkDiskCache* cache, const QUrl& url, const QByteArray& bytes) {
    if (!cache)
        return;
    QNetworkCacheMetaData meta;
    meta.setUrl(url);
    meta.setSaveToDisk(true);
    meta.setLastModified(QDateTime::currentDateTimeUtc());
    // A playback ID's still does not change; keep it until the cache's size limit evicts it.
    meta.setExpirationDate(QDateTime::currentDateTimeUtc().addYears(1));
    if (QIODevice* device = cache->prepare(meta)) {
        device->write(bytes);
        cache->insert(device);
    }
}

QCoro::Task<std::optional<QImage>> fetchRemote(QNetworkAccessManager* network,
                                               QPointer<QNetworkDiskCache> cache, QUrl url) {
    if (auto cached = readCached(cache.data(), url))
        co_return cached;
    QNetworkRequest request(url);
    service::requireLoopback(url);
    std::unique_ptr<QNetworkReply, DeleteLater> reply(network->get(request));
    service::requireLoopbackRedirects(*reply);
    co_await qCoro(reply.get()).waitForFinished();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299)
        co_return std::nullopt;
    const QByteArray bytes = reply->readAll();
    auto image = decode(bytes);
    if (image)
        writeCached(cache.data(), url, bytes);
    co_return image;
}

// JPEG bytes from the process-wide provider, which caches them on disk per file version.
QCoro::Task<std::optional<QByteArray>> requestLocalThumbnail(QUrl file, QSizeF size) {
    return ThumbnailProvider::shared().thumbnail(std::move(file), size);
}

QCoro::Task<std::optional<QImage>> fetchLocal(QUrl file, QSizeF size) {
    const auto bytes = co_await requestLocalThumbnail(std::move(file), size);
    if (!bytes)
        co_return std::nullopt;
    co_return decode(*bytes);
}

} // namespace

ThumbnailFetch remoteThumbnailFetch(QNetworkAccessManager& network, QNetworkDiskCache* cache) {
    QPointer<QNetworkDiskCache> guarded(cache);
    return [network = &network, guarded](QString key) {
        return fetchRemote(network, guarded, QUrl(key));
    };
}

QString remoteThumbnailCacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/remote-thumbnails");
}

ThumbnailFetch localThumbnailFetch(QSizeF size) {
    return [size](QString key) {
        return fetchLocal(QUrl(key), size);
    };
}

} // namespace clipferry
