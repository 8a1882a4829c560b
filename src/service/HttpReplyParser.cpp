#include "service/HttpReplyParser.h"

#include <algorithm>
#include <optional>

namespace clipferry {

namespace {

QString sizeText(qsizetype bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
    if (bytes >= 1024 && bytes % 1024 == 0)
        return QStringLiteral("%1 KiB").arg(bytes / 1024);
    return QStringLiteral("%1 bytes").arg(bytes);
}

bool allOf(QByteArrayView text, bool (*test)(char)) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), test);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Beyond this many digits a count no longer fits in 63 bits, and no reply we read is
// anywhere near as large.
constexpr qsizetype maxDecimalDigits = 18;
constexpr qsizetype maxHexDigits = 15;

} // namespace

HttpReplyParser::HttpReplyParser(bool replyToHead, ReplyLimits limits)
    : m_replyToHead(replyToHead)
    , m_limits(limits) {}

HttpReplyParser::State HttpReplyParser::feed(QByteArrayView bytes) {
    if (m_state != State::incomplete)
        return m_state;
    m_incoming.append(bytes);
    return m_state = parse();
}

HttpReplyParser::State HttpReplyParser::closed() {
    if (m_state == State::incomplete && m_headDone && m_framing == Framing::untilClose)
        m_state = State::complete;
    return m_state;
}

HttpReplyParser::State HttpReplyParser::fail(QString message) {
    m_error = std::move(message);
    m_incoming.clear();
    return State::failed;
}

HttpReplyParser::State HttpReplyParser::bodyTooLarge() {
    return fail(QStringLiteral("The storage host's reply is larger than %1.")
                    .arg(sizeText(m_limits.maxBodyBytes)));
}

HttpReplyParser::State HttpReplyParser::headTooLarge() {
    return fail(QStringLiteral("The storage host's reply head is larger than %1.")
                    .arg(sizeText(m_limits.maxHeadBytes)));
}

HttpReplyParser::State HttpReplyParser::parse() {
    for (;;) {
        if (!m_headDone) {
            const qsizetype end = m_incoming.indexOf("\r\n\r\n");
            if (m_headBytes + (end < 0 ? m_incoming.size() : end + 4) > m_limits.maxHeadBytes)
                return headTooLarge();
            if (end < 0)
                return State::incomplete;
            m_headBytes += end + 4;
            if (!readHead())
                return State::failed;
            continue;
        }
        switch (m_framing) {
        case Framing::untilClose:
            if (m_incoming.size() > m_limits.maxBodyBytes - m_body.size())
                return bodyTooLarge();
            m_body += m_incoming;
            m_incoming.clear();
            return State::incomplete;
        case Framing::length:
            takeBody();
            return m_remaining == 0 ? State::complete : State::incomplete;
        case Framing::chunked: {
            if (m_remaining > 0 && !takeBody())
                return State::incomplete;
            // A chunk line or trailer line longer than a head is no line: the same verdict
            // however the bytes arrive (a '\r' at the end may yet start the line break).
            const qsizetype lineEnd = m_incoming.indexOf("\r\n");
            if ((lineEnd < 0 ? m_incoming.size() - 1 : lineEnd) > m_limits.maxHeadBytes)
                return fail(QStringLiteral("The storage host sent a malformed chunk."));
            if (lineEnd < 0)
                return State::incomplete;
            const QByteArray line = m_incoming.left(lineEnd).trimmed();
            m_incoming.remove(0, lineEnd + 2);
            if (m_inTrailer) {
                m_headBytes += lineEnd + 2;
                if (m_headBytes > m_limits.maxHeadBytes)
                    return headTooLarge();
                if (line.isEmpty())
                    return State::complete;
                continue;
            }
            if (m_remaining < 0) {
                // The line break that closes a chunk's data.
                if (!line.isEmpty())
                    return fail(QStringLiteral("The storage host sent a malformed chunk."));
                m_remaining = 0;
                continue;
            }
            const QByteArray digits = line.split(';').first().trimmed();
            bool ok = digits.size() <= maxHexDigits && allOf(digits, isHexDigit);
            const qint64 size = ok ? digits.toLongLong(&ok, 16) : 0;
            if (!ok)
                return fail(QStringLiteral("The storage host sent a malformed chunk size."));
            if (size == 0) {
                m_inTrailer = true;
            } else if (size > m_limits.maxBodyBytes - m_body.size()) {
                return bodyTooLarge();
            } else {
                m_remaining = size;
            }
            continue;
        }
        }
    }
}

bool HttpReplyParser::takeBody() {
    const qint64 take = std::min<qint64>(m_remaining, m_incoming.size());
    m_body.append(m_incoming.constData(), static_cast<qsizetype>(take));
    m_incoming.remove(0, static_cast<qsizetype>(take));
    m_remaining -= take;
    if (m_remaining > 0)
        return false;
    if (m_framing == Framing::chunked)
        m_remaining = -1; // the line break after the chunk comes next
    return true;
}

bool HttpReplyParser::readHead() {
    const qsizetype end = m_incoming.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = m_incoming.left(end).split('\n');
    m_incoming.remove(0, end + 4);

    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    const QByteArray code = statusLine.size() > 1 ? statusLine.at(1) : QByteArray();
    if (!statusLine.first().startsWith("HTTP/") || code.size() != 3 || !allOf(code, isDigit) ||
        code.toInt() < 100 || code.toInt() > 599) {
        fail(QStringLiteral("The storage host sent a malformed status line."));
        return false;
    }
    m_status = code.toInt();
    if (m_status < 200)
        return true; // an interim reply; the final one follows

    m_headers.clear();
    m_framing = Framing::untilClose;
    std::optional<qint64> length;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        m_headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            const qint64 stated =
                value.size() <= maxDecimalDigits && allOf(value, isDigit) ? value.toLongLong() : -1;
            if (stated < 0 || (length && *length != stated)) {
                fail(QStringLiteral("The storage host sent an invalid Content-Length."));
                return false;
            }
            length = stated;
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0 &&
                   value.toLower().contains("chunked")) {
            m_framing = Framing::chunked;
        }
    }
    if (m_status == 204 || m_status == 304 || m_replyToHead) {
        m_framing = Framing::length;
        m_remaining = 0;
    } else if (m_framing == Framing::chunked) {
        m_remaining = 0;
    } else if (length) {
        if (*length > m_limits.maxBodyBytes) {
            bodyTooLarge();
            return false;
        }
        m_framing = Framing::length;
        m_remaining = *length;
    }
    m_headDone = true;
    return true;
}

} // namespace clipferry
