#include "service/ServiceRequests.h"

#include <QRegularExpression>

namespace clipferry::service {

QByteArray basicCredential(const QString& tokenID, const QString& tokenSecret) {
    return QByteArrayLiteral("Basic ") +
           (tokenID + QLatin1Char(':') + tokenSecret).toUtf8().toBase64();
}

QNetworkRequest authorizedRequest(const QUrl& location, const QByteArray& credential,
                                  bool withJsonBody) {
    QNetworkRequest request(location);
    request.setRawHeader("Authorization", credential);
    if (withJsonBody)
        request.setRawHeader("Content-Type", "application/json");
    return request;
}

bool isPathSafeID(const QString& id) {
    // Unreserved and sub-delimiter characters only: no '/', '?', '#' or '%' that would
    // point the request at another resource, and no dot segments.
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9._~!$&'()*+,;=:@-]+$"));
    return id != QLatin1StringView(".") && id != QLatin1StringView("..") &&
           allowed.match(id).hasMatch();
}

} // namespace clipferry::service
