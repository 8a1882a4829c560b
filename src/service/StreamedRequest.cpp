#include "service/StreamedRequest.h"

#include "service/BandwidthLimiter.h"
#include "service/LoopbackGuard.h"
#include "service/ServiceError.h"

#include <QIODevice>
#include <QNetworkReply>
#include <QSslSocket>
#include <QTcpSocket>

namespace clipferry {

namespace {

// The body is read and handed to the socket in blocks of this size, and the socket is
// kept at most this far ahead of the connection.
constexpr qint64 blockSize = 256 * 1024;
constexpr qint64 aheadOfConnection = 4 * blockSize;

QNetworkReply::NetworkError networkErrorOf(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QNetworkReply::ConnectionRefusedError;
    case QAbstractSocket::RemoteHostClosedError:
        return QNetworkReply::RemoteHostClosedError;
    case QAbstractSocket::HostNotFoundError:
        return QNetworkReply::HostNotFoundError;
    case QAbstractSocket::SocketTimeoutError:
        return QNetworkReply::TimeoutError;
    case QAbstractSocket::SslHandshakeFailedError:
        return QNetworkReply::SslHandshakeFailedError;
    case QAbstractSocket::ProxyConnectionRefusedError:
        return QNetworkReply::ProxyConnectionRefusedError;
    case QAbstractSocket::ProxyConnectionClosedError:
        return QNetworkReply::ProxyConnectionClosedError;
    case QAbstractSocket::ProxyNotFoundError:
        return QNetworkReply::ProxyNotFoundError;
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return QNetworkReply::ProxyAuthenticationRequiredError;
    default:
        return QNetworkReply::UnknownNetworkError;
    }
}

bool isDefaultPort(const QUrl& url) {
    return url.port() < 0 || url.port() == (url.scheme() == QLatin1StringView("https") ? 443 : 80);
}

} // namespace

StreamedRequest::StreamedRequest(QByteArray verb, QNetworkRequest request,
                                 std::unique_ptr<QIODevice> body,
                                 std::chrono::milliseconds idleTimeout, ReplyLimits limits,
                                 std::shared_ptr<BandwidthLimiter> bandwidth)
    : m_verb(std::move(verb))
    , m_request(std::move(request))
    , m_body(std::move(body))
    , m_bandwidth(std::move(bandwidth))
    , m_limits(limits)
    , m_reply(m_verb == "HEAD", limits) {
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleTimeout);
    m_throttle.setSingleShot(true);
    connect(&m_throttle, &QTimer::timeout, this, [this] {
        // Held back by the limit, not by the host: the idle time-out is not the host's.
        m_idle.start();
        writeBody();
    });
    connect(&m_idle, &QTimer::timeout, this, [this] {
        failWith(QNetworkReply::OperationCanceledError, QStringLiteral("Operation canceled"));
    });
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(m_limits.deadline);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        failWith(QNetworkReply::ProtocolFailure,
                 QStringLiteral("The storage host did not finish its reply in time."));
    });
    m_rateCheck.setInterval(m_limits.rateWindow);
    connect(&m_rateCheck, &QTimer::timeout, this, [this] {
        if (m_bytesThisWindow < m_limits.minBytesPerWindow)
            return failWith(QNetworkReply::ProtocolFailure,
                            QStringLiteral("The storage host's reply arrived too slowly."));
        m_bytesThisWindow = 0;
    });
    const QVariant length = m_request.header(QNetworkRequest::ContentLengthHeader);
    m_bodyLength = length.isValid() ? length.toLongLong() : m_body->size() - m_body->pos();
}

StreamedRequest::~StreamedRequest() {
    if (m_socket)
        m_socket->abort();
}

void StreamedRequest::start() {
    const QUrl url = m_request.url();
    service::requireLoopback(url);
    const bool secure = url.scheme() == QLatin1StringView("https");
    if (!secure && url.scheme() != QLatin1StringView("http"))
        return failWith(QNetworkReply::ProtocolUnknownError,
                        QStringLiteral("Protocol \"%1\" is unknown").arg(url.scheme()));
    if (secure) {
        auto* socket = new QSslSocket(this);
        socket->setSslConfiguration(m_request.sslConfiguration());
        m_socket = socket;
        connect(socket, &QSslSocket::encrypted, this, &StreamedRequest::sendHead);
        socket->connectToHostEncrypted(url.host(), static_cast<quint16>(url.port(443)));
    } else {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QTcpSocket::connected, this, &StreamedRequest::sendHead);
        m_socket->connectToHost(url.host(), static_cast<quint16>(url.port(80)));
    }
    connect(m_socket, &QTcpSocket::readyRead, this, &StreamedRequest::readReply);
    connect(m_socket, &QTcpSocket::bytesWritten, this, [this](qint64 bytes) {
        m_idle.start();
        m_written += bytes;
        const qint64 sent = std::clamp<qint64>(m_written - m_headLength, 0, m_bodyLength);
        // A few reports a second, as Qt's replies give them: each one may redraw.
        constexpr qint64 progressInterval = 100; // ms
        if (sent > 0 && (sent == m_bodyLength || !m_progressShown.isValid() ||
                         m_progressShown.elapsed() >= progressInterval)) {
            m_progressShown.start();
            Q_EMIT uploadProgress(sent, m_bodyLength);
        }
        if (m_written >= m_headLength + m_bodyLength)
            replyBegins();
        writeBody();
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, &StreamedRequest::onSocketError);
    m_idle.start();
}

void StreamedRequest::abort() {
    failWith(-1, QString());
}

void StreamedRequest::sendHead() {
    m_idle.start();
    const QUrl url = m_request.url();
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (!isDefaultPort(url))
        host += ':' + QByteArray::number(url.port());

    QByteArray head = m_verb + ' ' + target + " HTTP/1.1\r\nHost: " + host +
                      "\r\nContent-Length: " + QByteArray::number(m_bodyLength) +
                      "\r\nConnection: close\r\n";
    for (const QByteArray& name : m_request.rawHeaderList()) {
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0 ||
            name.compare("Host", Qt::CaseInsensitive) == 0 ||
            name.compare("Connection", Qt::CaseInsensitive) == 0)
            continue;
        head += name + ": " + m_request.rawHeader(name) + "\r\n";
    }
    head += "\r\n";
    m_headLength = head.size();
    m_socket->write(head);
    writeBody();
}

void StreamedRequest::writeBody() {
    if (m_finished || m_headLength == 0)
        return;
    while (m_bodyRead < m_bodyLength && m_socket->bytesToWrite() < aheadOfConnection) {
        qint64 wanted = std::min(blockSize, m_bodyLength - m_bodyRead);
        if (m_bandwidth) {
            if (m_throttle.isActive())
                return;
            const qint64 granted = m_bandwidth->grant(wanted);
            if (granted == 0) {
                m_throttle.start(static_cast<int>(m_bandwidth->waitMs(wanted)));
                return;
            }
            wanted = granted;
        }
        m_block.resize(static_cast<qsizetype>(wanted));
        const qint64 got = m_body->read(m_block.data(), m_block.size());
        // The file's own failure is no network fault: nothing is gained by sending again.
        if (got < 0)
            return failWithFile(m_body->errorString());
        if (got == 0)
            return failWith(QNetworkReply::UnknownNetworkError,
                            QStringLiteral("The request body ended early."));
        m_bodyRead += got;
        m_socket->write(m_block.constData(), got);
    }
}

void StreamedRequest::readReply() {
    m_idle.start();
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    replyBegins();
    if (!m_rateCheck.isActive() && m_limits.minBytesPerWindow > 0)
        m_rateCheck.start();
    m_bytesThisWindow += bytes.size();
    settle(m_reply.feed(bytes));
}

void StreamedRequest::replyBegins() {
    if (!m_finished && !m_deadline.isActive())
        m_deadline.start();
}

void StreamedRequest::settle(HttpReplyParser::State state) {
    if (state == HttpReplyParser::State::complete)
        succeed();
    else if (state == HttpReplyParser::State::failed)
        failWith(QNetworkReply::ProtocolFailure, m_reply.error());
}

void StreamedRequest::onSocketError() {
    if (m_finished)
        return;
    // The server may answer and close before it has read the whole body; a reply that
    // runs until the connection closes is whole once it has.
    auto state = m_reply.feed(m_socket->readAll());
    if (state == HttpReplyParser::State::incomplete &&
        m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        state = m_reply.closed();
    if (state != HttpReplyParser::State::incomplete)
        return settle(state);
    failWith(networkErrorOf(m_socket->error()), m_socket->errorString());
}

void StreamedRequest::succeed() {
    if (m_finished)
        return;
    m_outcome = HttpReply{m_reply.status(), m_reply.body(), m_reply.headers()};
    m_finished = true;
    stopTimers();
    m_socket->abort();
    Q_EMIT finished();
}

void StreamedRequest::stopTimers() {
    m_idle.stop();
    m_throttle.stop();
    m_deadline.stop();
    m_rateCheck.stop();
}

void StreamedRequest::failWithFile(const QString& message) {
    end(fail(errorDomain::file, 0, message));
}

void StreamedRequest::failWith(int networkError, const QString& message) {
    end(networkError < 0 ? tl::unexpected(ServiceTransport::cancelled())
                         : fail(errorDomain::network, networkError, message));
}

void StreamedRequest::end(Result<HttpReply> outcome) {
    if (m_finished)
        return;
    m_outcome = std::move(outcome);
    m_finished = true;
    stopTimers();
    if (m_socket)
        m_socket->abort();
    Q_EMIT finished();
}

} // namespace clipferry
