#pragma once

#include "model/Result.h"
#include "service/HttpReplyParser.h"
#include "service/ServiceTransport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QNetworkRequest>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <memory>

class QIODevice;
class QTcpSocket;

namespace clipferry {

// One HTTP/1.1 request with a large body, on a connection of its own, sent from the
// calling thread.
//
// Qt's network access hands a request body from the caller's thread to its HTTP thread
// 16 KiB at a time, one piece per round trip between the threads; on a gigabyte file
// those round trips, not the network, set the pace, at a third of what one thread
// writing large blocks reaches. Nothing in a request changes the piece size, and its
// synchronous mode holds the whole body in memory. This request writes the body in
// large blocks straight to its socket.
//
// It follows no redirect: a 3xx, 308 included, is the reply. The idle time-out restarts
// with every byte that moves either way, as Qt's transfer time-out does; the reply is
// also held to `ReplyLimits`, so a host that trickles or never ends it cannot keep the
// request (or the memory) for long. Those failures, and a reply that breaks HTTP, are
// `QNetworkReply::ProtocolFailure` with a message for the upload's row.
class BandwidthLimiter;

class StreamedRequest final : public QObject {
    Q_OBJECT
public:
    StreamedRequest(QByteArray verb, QNetworkRequest request, std::unique_ptr<QIODevice> body,
                    std::chrono::milliseconds idleTimeout, ReplyLimits limits = {},
                    std::shared_ptr<BandwidthLimiter> bandwidth = {});
    ~StreamedRequest() override;

    void start();
    // Ends the request now as a cancelled one.
    void abort();

    [[nodiscard]] bool isFinished() const { return m_finished; }
    // A reply whatever its status, or an error of domain "Network".
    [[nodiscard]] const Result<HttpReply>& outcome() const { return m_outcome; }

Q_SIGNALS:
    void finished();
    void uploadProgress(qint64 sent, qint64 total);

private:
    void sendHead();
    void writeBody();
    void readReply();
    // Starts the reply's deadline, once: at the end of the body or its first byte.
    void replyBegins();
    void settle(HttpReplyParser::State state);
    void succeed();
    void stopTimers();
    void failWith(int networkError, const QString& message);
    void failWithFile(const QString& message);
    void end(Result<HttpReply> outcome);
    void onSocketError();

    QByteArray m_verb;
    QNetworkRequest m_request;
    std::unique_ptr<QIODevice> m_body;
    qint64 m_bodyLength = 0;
    qint64 m_bodyRead = 0;
    qint64 m_headLength = 0;
    qint64 m_written = 0;
    QByteArray m_block;
    QElapsedTimer m_progressShown;
    QTcpSocket* m_socket = nullptr;
    QTimer m_idle;
    // The body leaves no faster than this shared budget allows; the timer resumes it.
    std::shared_ptr<BandwidthLimiter> m_bandwidth;
    QTimer m_throttle;

    ReplyLimits m_limits;
    HttpReplyParser m_reply;
    QTimer m_deadline;
    QTimer m_rateCheck;
    qint64 m_bytesThisWindow = 0;

    bool m_finished = false;
    Result<HttpReply> m_outcome = tl::unexpected(ServiceTransport::cancelled());
};

} // namespace clipferry
