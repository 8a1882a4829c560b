#include "service/LoopbackGuard.h"

#include <QHostAddress>
#include <QNetworkReply>
#include <QUrl>

namespace clipferry::service {

#ifdef CLIPFERRY_TEST_SEAMS
namespace {
bool isLoopback(const QUrl& address) {
    const QString host = address.host();
    return host == QLatin1StringView("localhost") || QHostAddress(host).isLoopback();
}
} // namespace

bool allowsPlainHttp(const QUrl& address) {
    return isLoopback(address);
}

void requireLoopback(const QUrl& address) {
    if (isLoopback(address))
        return;
    qFatal("A test build sends requests to loopback only; refused %s",
           qPrintable(address.toString(QUrl::RemoveUserInfo | QUrl::RemoveQuery)));
}

void requireLoopbackRedirects(QNetworkReply& reply) {
    QObject::connect(&reply, &QNetworkReply::redirected, &reply, &requireLoopback);
}
#else
bool allowsPlainHttp(const QUrl&) {
    return false;
}
void requireLoopback(const QUrl&) {}
void requireLoopbackRedirects(QNetworkReply&) {}
#endif

} // namespace clipferry::service
