#include "service/ServiceError.h"

#include <QNetworkReply>
#include <QStringDecoder>

namespace clipferry {

namespace {
QString strictUtf8(const QByteArray& bytes) {
    // Stateless: a sequence cut off at the end counts as invalid instead of waiting
    // for more input.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return QString();
    return text;
}
} // namespace

Result<void> checkHTTPStatus(std::optional<int> status, const QByteArray& body) {
    if (!status || (*status >= 200 && *status <= 299))
        return {};
    return serviceError(*status, QStringLiteral("HTTP ") + QString::number(*status) +
                                     QStringLiteral(": ") + strictUtf8(body));
}

bool isNetworkOutage(const Error& error) {
    return error.domain == errorDomain::network &&
           error.code != QNetworkReply::SslHandshakeFailedError &&
           error.code != QNetworkReply::ProxyAuthenticationRequiredError &&
           error.code != QNetworkReply::ProtocolFailure &&
           error.code != QNetworkReply::ProtocolUnknownError;
}

} // namespace clipferry
