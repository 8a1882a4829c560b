#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <httplib.h>

// The media type of every JSON reply, with its charset as the service sends it. httplib
// compresses a reply whose type is exactly "application/json" for any client that
// accepts brotli (Qt does, curl does not), at brotli's slowest setting: on loopback that
// only costs the stand-in time, several times the client's own per page.
inline constexpr const char* jsonType = "application/json; charset=utf-8";

// Replies in the service's own shapes.
inline void sendJson(httplib::Response& response, int status, const QJsonValue& value) {
    response.status = status;
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    response.set_content(document.toJson(QJsonDocument::Compact).toStdString(), jsonType);
}

// {"error": {"type": ..., "messages": [...]}}, as the service reports failures.
inline QJsonObject errorDocument(const QString& type, const QString& message) {
    return QJsonObject{
        {QStringLiteral("error"), QJsonObject{{QStringLiteral("type"), type},
                                              {QStringLiteral("messages"), QJsonArray{message}}}}};
}

inline QJsonObject parseBody(const httplib::Request& request, bool* ok) {
    QJsonParseError error;
    const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(request.body), &error);
    *ok = error.error == QJsonParseError::NoError && document.isObject();
    return document.object();
}
