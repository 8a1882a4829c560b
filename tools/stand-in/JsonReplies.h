#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <httplib.h>

// Replies in the service's own shapes.
inline void sendJson(httplib::Response& response, int status, const QJsonValue& value) {
    response.status = status;
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    response.set_content(document.toJson(QJsonDocument::Compact).toStdString(), "application/json");
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
