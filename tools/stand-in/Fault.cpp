#include "Fault.h"

#include <QJsonValue>

bool Fault::matches(const QString& requestMethod, const QString& requestPath) const {
    if (remaining && *remaining <= 0)
        return false;
    if (!method.isEmpty() && method.compare(requestMethod, Qt::CaseInsensitive) != 0)
        return false;
    if (path.endsWith(QLatin1Char('*')))
        return requestPath.startsWith(path.chopped(1));
    return requestPath == path;
}

std::optional<Fault> Fault::fromJson(const QJsonObject& object, QString* error) {
    Fault fault;
    fault.method = object.value(QLatin1StringView("method")).toString();
    fault.path = object.value(QLatin1StringView("path")).toString();
    if (fault.path.isEmpty()) {
        *error = QStringLiteral("a fault needs a \"path\"");
        return std::nullopt;
    }
    fault.skip = object.value(QLatin1StringView("skip")).toInt();
    if (object.contains(QLatin1StringView("times")))
        fault.remaining = object.value(QLatin1StringView("times")).toInt();
    fault.delayMs = object.value(QLatin1StringView("delayMs")).toInt();
    fault.hang = object.value(QLatin1StringView("hang")).toBool();
    fault.drop = object.value(QLatin1StringView("drop")).toString();
    if (!fault.drop.isEmpty() && fault.drop != QLatin1StringView("before-reply") &&
        fault.drop != QLatin1StringView("after-handling")) {
        *error = QStringLiteral("\"drop\" is \"before-reply\" or \"after-handling\"");
        return std::nullopt;
    }
    fault.dropAfterBytes =
        static_cast<qint64>(object.value(QLatin1StringView("dropAfterBytes")).toDouble(-1));
    fault.status = object.value(QLatin1StringView("status")).toInt();
    if (object.contains(QLatin1StringView("body")))
        fault.body = object.value(QLatin1StringView("body")).toString().toUtf8();
    if (object.contains(QLatin1StringView("bodyBase64")))
        fault.body = QByteArray::fromBase64(
            object.value(QLatin1StringView("bodyBase64")).toString().toLatin1());
    const QJsonObject headers = object.value(QLatin1StringView("headers")).toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        fault.headers.append({it.key().toUtf8(), it.value().toString().toUtf8()});
    fault.malformedJson = object.value(QLatin1StringView("malformedJson")).toBool();
    fault.endlessBody = object.value(QLatin1StringView("endlessBody")).toBool();
    fault.trickleMs = object.value(QLatin1StringView("trickleMs")).toInt();
    return fault;
}
