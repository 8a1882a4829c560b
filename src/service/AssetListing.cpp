#include "service/AssetListing.h"

#include "service/MuxClient.h"
#include "service/ServiceError.h"
#include "service/ServiceRequests.h"
#include "service/ServiceTransport.h"

#include <QSet>

namespace clipferry {

namespace {
// A library of a million assets at 100 per page; anything longer is a service loop.
constexpr int maxPages = 10000;

int defaultPort(const QUrl& url) {
    return url.scheme() == QLatin1StringView("https") ? 443 : 80;
}
} // namespace

Result<std::optional<QUrl>> nextAssetPageLocation(const QUrl& firstPage, const QUrl& current,
                                                  const MuxAssetPaging& page) {
    if (page.links && page.links->next) {
        const QString& text = *page.links->next;
        if (text.isEmpty())
            return std::nullopt;
        QUrl next(text, QUrl::StrictMode);
        if (!next.isValid())
            return serviceError(invalidLocationCode,
                                QStringLiteral("The next page address is not valid: %1").arg(text));
        if (next.isRelative())
            next = current.resolved(next);
        if (next.scheme() != firstPage.scheme() || next.host() != firstPage.host() ||
            next.port(defaultPort(next)) != firstPage.port(defaultPort(firstPage))) {
            const QString place =
                next.port() < 0 ? next.host()
                                : next.host() + QLatin1Char(':') + QString::number(next.port());
            return serviceError(foreignPageCode,
                                QStringLiteral("The next page is on another host: %1").arg(place));
        }
        return next;
    }
    if (page.next_cursor && !page.next_cursor->isEmpty()) {
        const QString cursor = QString::fromLatin1(QUrl::toPercentEncoding(*page.next_cursor));
        return QUrl(firstPage.toString(QUrl::FullyEncoded) + QStringLiteral("&cursor=") + cursor,
                    QUrl::StrictMode);
    }
    return std::nullopt;
}

QCoro::Task<Result<QList<MuxAsset>>> MuxClient::listAllAssets(QString tokenID,
                                                              QString tokenSecret) {
    const QByteArray credential = service::basicCredential(tokenID, tokenSecret);
    auto first = apiLocation(QString::fromLatin1(service::firstAssetPagePath));
    if (!first)
        co_return tl::unexpected(first.error());

    const auto alive = m_transport->lifetime();
    QList<MuxAsset> assets;
    QSet<QString> visited;
    QUrl current = *first;
    visited.insert(current.toString(QUrl::FullyEncoded));
    // Each page is asked for as soon as the one before names it, and travels while that
    // one's assets are read; a listing that ends early stops it.
    auto stop = std::make_shared<StopSource>();
    auto pending = m_transport->send(QByteArrayLiteral("GET"),
                                     service::authorizedRequest(current, credential, false),
                                     QByteArray(), stop);
    for (int pages = 1;; ++pages) {
        auto reply = co_await pending;
        if (alive.expired())
            co_return tl::unexpected(ServiceTransport::cancelled());
        if (!reply)
            co_return tl::unexpected(reply.error());
        if (auto status = checkHTTPStatus(reply->status, reply->body); !status)
            co_return tl::unexpected(status.error());
        const auto page = decodeMuxAssetListPage(reply->body);
        if (!page)
            co_return tl::unexpected(page.error());

        const auto found = nextAssetPageLocation(*first, current, *page);
        if (!found)
            co_return tl::unexpected(found.error());
        const auto& next = *found;
        if (next) {
            const QString location = next->toString(QUrl::FullyEncoded);
            if (visited.contains(location))
                co_return serviceError(
                    pagingLoopCode,
                    QStringLiteral("The asset list repeats the page at %1.").arg(next->toString()));
            if (pages >= maxPages)
                co_return serviceError(
                    tooManyPagesCode,
                    QStringLiteral("The asset list has more than %1 pages.").arg(maxPages));
            visited.insert(location);
            current = *next;
            stop = std::make_shared<StopSource>();
            pending = m_transport->send(QByteArrayLiteral("GET"),
                                        service::authorizedRequest(current, credential, false),
                                        QByteArray(), stop);
        }

        auto decoded = decodeMuxAssets(page->data);
        if (!decoded) {
            stop->stop();
            co_return tl::unexpected(decoded.error());
        }
        assets.append(std::move(*decoded));
        if (!next)
            co_return assets;
    }
}

} // namespace clipferry
