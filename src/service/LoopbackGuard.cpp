#include "service/LoopbackGuard.h"

#include <QHostAddress>
#include <QNetworkReply>
#include <QUrl>

namespace clipferry::service {

#ifdef CLIPFERRY_TEST_SEAMS
void requireLoopback(const QUrl& address) {
    const QString host = address.host();
    if (host == QLatin1StringView("localhost") || QHostAddress(host).isLoopback())
        return;
    qFatal("A test build sends requests to loopback only; refused %s",
           qPrintable(address.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery)));
}

void requireLoopbackRedirects(QNetworkReply& reply) {
    QObject::connect(&reply, &QNetworkReply::redirected, &reply, &requireLoopback);
}
#else
void requireLoopback(const QUrl&) {}
void requireLoopbackRedirects(QNetworkReply&) {}
#endif

} // namespace clipferry::service
