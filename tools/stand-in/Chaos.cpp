#include "Chaos.h"

#include <QCryptographicHash>
#include <QJsonValue>

namespace {

// A draw in [0, 1) and a second independent number from the same request.
struct Draw {
    double share = 0;
    quint64 bits = 0;
};

Draw drawFor(quint64 seed, const QString& key, int occurrence) {
    const QByteArray input =
        QByteArray::number(seed) + '\n' + key.toUtf8() + '\n' + QByteArray::number(occurrence);
    const QByteArray hash = QCryptographicHash::hash(input, QCryptographicHash::Sha256);
    quint64 first = 0;
    quint64 second = 0;
    for (int i = 0; i < 8; ++i) {
        first = first << 8 | static_cast<quint8>(hash[i]);
        second = second << 8 | static_cast<quint8>(hash[8 + i]);
    }
    return {static_cast<double>(first >> 11) / static_cast<double>(quint64{1} << 53), second};
}

// A cut somewhere inside the body: at least one byte arrives and one is missing.
qint64 cutOffset(quint64 bits, qint64 bodyLength) {
    return bodyLength > 1 ? 1 + static_cast<qint64>(bits % static_cast<quint64>(bodyLength - 1))
                          : 1;
}

} // namespace

std::optional<Chaos::Settings> Chaos::fromJson(const QJsonObject& object, QString* error) {
    Settings settings;
    // A seed beyond 2^53 would not survive JSON's doubles; the text form keeps it exact.
    const QJsonValue seed = object.value(QLatin1StringView("seed"));
    settings.seed =
        seed.isString() ? seed.toString().toULongLong() : static_cast<quint64>(seed.toDouble());
    settings.refuseShare = object.value(QLatin1StringView("refuseShare")).toDouble();
    settings.retryAfter = object.value(QLatin1StringView("retryAfter")).toInt(1);
    settings.loseReplyShare = object.value(QLatin1StringView("loseReplyShare")).toDouble();
    settings.cutShare = object.value(QLatin1StringView("cutShare")).toDouble();
    settings.assetDelayMs = object.value(QLatin1StringView("assetDelayMs")).toInt();
    settings.assetDelayRequests = object.value(QLatin1StringView("assetDelayRequests")).toInt();
    settings.holdAt = object.value(QLatin1StringView("holdAt")).toInt();
    settings.holdPhase =
        object.value(QLatin1StringView("holdPhase")).toString(QStringLiteral("before"));
    static const QStringList phases{QStringLiteral("before"), QStringLiteral("acted"),
                                    QStringLiteral("body"), QStringLiteral("replied")};
    if (!phases.contains(settings.holdPhase)) {
        *error = QStringLiteral("\"holdPhase\" is one of ") + phases.join(QStringLiteral(", "));
        return std::nullopt;
    }
    if (settings.refuseShare + settings.loseReplyShare > 1 || settings.refuseShare < 0 ||
        settings.loseReplyShare < 0 || settings.cutShare < 0 || settings.cutShare > 1) {
        *error = QStringLiteral("shares are between 0 and 1, refused and lost together too");
        return std::nullopt;
    }
    return settings;
}

void Chaos::start(const Settings& settings) {
    m_on = true;
    m_settings = settings;
    m_requests = 0;
    m_held = false;
}

QJsonObject Chaos::state() const {
    return {{QStringLiteral("held"), m_held}, {QStringLiteral("requests"), m_requests}};
}

Fault Chaos::holdFault(const QString& method, qint64 bodyLength) const {
    Fault fault;
    fault.hang = true;
    const QString& phase = m_settings.holdPhase;
    if (phase == QLatin1StringView("acted")) {
        fault.drop = QStringLiteral("after-handling");
    } else if (phase == QLatin1StringView("replied")) {
        fault.hang = false;
        fault.holdAfterReply = true;
    } else if (phase == QLatin1StringView("body") && method == QLatin1StringView("PUT") &&
               bodyLength > 0) {
        const Draw draw = drawFor(m_settings.seed, QStringLiteral("hold"), m_requests);
        fault.dropAfterBytes = cutOffset(draw.bits, bodyLength);
    }
    return fault;
}

std::optional<Fault> Chaos::faultFor(const QString& method, const QString& key, qint64 bodyLength,
                                     bool service) {
    if (!m_on)
        return std::nullopt;
    ++m_requests;
    ++m_total;
    if (m_held) {
        Fault held;
        held.hang = true;
        return held;
    }
    if (m_requests == m_settings.holdAt) {
        Fault hold = holdFault(method, bodyLength);
        hold.holdPoint = true;
        return hold;
    }
    if (!service)
        return std::nullopt;
    const QString fullKey = method + QLatin1Char(' ') + key;
    const Draw draw = drawFor(m_settings.seed, fullKey, m_seen[fullKey]++);
    Fault fault;
    if (draw.share < m_settings.refuseShare) {
        if (draw.bits % 2 == 0) {
            fault.status = 503;
        } else {
            fault.status = 429;
            fault.headers.append(
                {QByteArrayLiteral("Retry-After"), QByteArray::number(m_settings.retryAfter)});
        }
        return fault;
    }
    if (draw.share < m_settings.refuseShare + m_settings.loseReplyShare) {
        fault.drop = QStringLiteral("after-handling");
        return fault;
    }
    // A third independent share from the high bits: whether the body is cut.
    const double cutDraw =
        static_cast<double>(draw.bits >> 11) / static_cast<double>(quint64{1} << 53);
    if (method == QLatin1StringView("PUT") && bodyLength > 1 && cutDraw < m_settings.cutShare) {
        fault.dropAfterBytes = cutOffset(draw.bits, bodyLength);
        return fault;
    }
    return std::nullopt;
}
