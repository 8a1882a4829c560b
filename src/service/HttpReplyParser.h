#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>
#include <chrono>

namespace clipferry {

// What a storage host's reply may cost the app: its size, and how long and how slowly it
// may take to arrive. A host that breaks one ends the request with a protocol error.
struct ReplyLimits {
    qsizetype maxHeadBytes = 64 * 1024; // the heads, interim ones and trailers included
    qsizetype maxBodyBytes = 1024 * 1024;
    // From the end of the request body (or the reply's first byte, if earlier) to the
    // whole reply.
    std::chrono::milliseconds deadline{120000};
    // Once begun, the reply must bring at least this many bytes in each `rateWindow`;
    // 0 turns the check off.
    qint64 minBytesPerWindow = 1024;
    std::chrono::milliseconds rateWindow{10000};
};

// Reads one HTTP/1.1 reply as its bytes arrive, within `ReplyLimits`' sizes: feed it what
// came off the socket, and `closed()` when the connection ends.
//
//     HttpReplyParser parser(false, limits);
//     if (parser.feed(socket.readAll()) == HttpReplyParser::State::complete) ...
class HttpReplyParser {
public:
    enum class State { incomplete, complete, failed };

    explicit HttpReplyParser(bool replyToHead = false, ReplyLimits limits = {});

    State feed(QByteArrayView bytes);
    // The connection ended: a reply that runs until the close is whole now, any other
    // is whole only if it already was.
    State closed();

    [[nodiscard]] State state() const { return m_state; }
    // Whether the final head has been read (its status and headers are known).
    [[nodiscard]] bool headDone() const { return m_headDone; }
    [[nodiscard]] int status() const { return m_status; }
    [[nodiscard]] const QList<QPair<QByteArray, QByteArray>>& headers() const { return m_headers; }
    [[nodiscard]] const QByteArray& body() const { return m_body; }
    // Why the reply failed, in words for the upload's row.
    [[nodiscard]] const QString& error() const { return m_error; }

private:
    State parse();
    bool readHead();
    State fail(QString message);
    State bodyTooLarge();
    State headTooLarge();
    // Moves up to `m_remaining` bytes of the input into the body.
    bool takeBody();

    bool m_replyToHead = false;
    ReplyLimits m_limits;
    State m_state = State::incomplete;
    QByteArray m_incoming;
    qsizetype m_headBytes = 0;
    bool m_headDone = false;
    int m_status = 0;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    enum class Framing { length, chunked, untilClose } m_framing = Framing::untilClose;
    qint64 m_remaining = 0; // of the body, or of the current chunk
    bool m_inTrailer = false;
    QByteArray m_body;
    QString m_error;
};

} // namespace clipferry
