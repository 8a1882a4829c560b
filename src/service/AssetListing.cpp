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
                                                  const MuxAssetListResponse& page) {
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
    for (int pages = 1;; ++pages) {
        visited.insert(current.toString(QUrl::FullyEncoded));
        const auto request = service::authorizedRequest(current, credential, false);
        auto reply = co_await m_transport->send(QByteArrayLiteral("GET"), request);
        if (alive.expired())
            co_return tl::unexpected(ServiceTransport::cancelled());
        if (!reply)
            co_return tl::unexpected(reply.error());
        if (auto status = checkHTTPStatus(reply->status, reply->body); !status)
            co_return tl::unexpected(status.error());
        auto page = decodeMuxAssetListResponse(reply->body);
        if (!page)
            co_return tl::unexpected(page.error());
        assets.append(std::move(page->data));

        const auto found = nextAssetPageLocation(*first, current, *page);
        if (!found)
            co_return tl::unexpected(found.error());
        const auto& next = *found;
        if (!next)
            co_return assets;
        if (visited.contains(next->toString(QUrl::FullyEncoded)))
            co_return serviceError(
                pagingLoopCode,
                QStringLiteral("The asset list repeats the page at %1.").arg(next->toString()));
        if (pages >= maxPages)
            co_return serviceError(
                tooManyPagesCode,
                QStringLiteral("The asset list has more than %1 pages.").arg(maxPages));
        current = *next;
    }
}

} // namespace clipferry
