#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

// One injected misbehaviour, matched against each request by method and path. Set
// over the control API as a JSON object:
//   method        "GET", "POST", ... or absent for any
//   path          exact request path, or a prefix when it ends in "*"
//   skip          let this many matching requests through untouched first
//   times         how many matching requests it affects (absent: all)
//   delayMs       wait this long before answering (a slow reply)
//   hang          never answer (until the stand-in stops or "/_control/release"); with
//                 dropAfterBytes, stall the upload body there, then close; with drop
//                 "after-handling", do the work first
//   drop          "before-reply": close the connection without answering;
//                 "after-handling": do the work, then close without answering
//   dropAfterBytes  for an upload PUT: close after reading this many bytes
//   status        answer with this status instead of the service's own reply
//   body / bodyBase64  the body of that answer (default: an error document)
//   headers       extra reply headers, e.g. {"Retry-After": "2"}
//   malformedJson serve the service's own reply cut short, so it no longer parses
//   endlessBody   the reply's body never ends: blocks as fast as the client reads
//   trickleMs     the reply's body never ends: one byte each this many milliseconds
struct Fault {
    QString method;
    QString path;
    int skip = 0;
    std::optional<int> remaining;
    int delayMs = 0;
    bool hang = false;
    QString drop;
    qint64 dropAfterBytes = -1;
    int status = 0;
    std::optional<QByteArray> body;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool malformedJson = false;
    bool endlessBody = false;
    int trickleMs = 0;
    // Set by the stand-in, not over the control API. The chaos mode's hold point: when its
    // hang begins (or once answered, with `holdAfterReply`) the client may be killed.
    bool holdPoint = false;
    bool holdAfterReply = false;
    // The release generation when the request came in: a release since then ends its hang.
    quint64 releaseGeneration = 0;

    [[nodiscard]] bool matches(const QString& requestMethod, const QString& requestPath) const;

    // Reads a fault from its JSON form; a message on a malformed one.
    [[nodiscard]] static std::optional<Fault> fromJson(const QJsonObject& object, QString* error);
};
