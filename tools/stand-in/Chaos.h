#pragma once

#include "Fault.h"

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <optional>

// Seeded misbehaviour of the whole service, for tests that kill and restart a client:
// a share of requests refused (503, or 429 with Retry-After), acted on with the reply
// lost, upload bodies cut at a random offset; and one hold point per client run, where
// the stand-in stops answering so the test can kill the client at a known place.
// Each request draws from the seed, its method, a key that names it by clip rather than
// by ID (IDs follow arrival order) and how often that key came before, so a clip meets
// the same faults on every run of a seed whatever the other clips do.
// Set over the control API ("/_control/chaos") as a JSON object:
//   seed              any unsigned number
//   refuseShare       of service requests refused, half 503, half 429
//   retryAfter        seconds the 429 names (default 1)
//   loseReplyShare    of requests acted on whose reply is lost
//   cutShare          of upload bodies cut at a random offset
//   assetDelayMs      how long after its upload completed an asset appears; until then
//                     the upload is "waiting" and the library does not list it
//   assetDelayRequests  and how many requests must reach the service in between: a delay
//                     that a client's restart, which sends none, does not shorten
//   holdAt            hold the client's request number N (from this setting on), 0: none
//   holdPhase         "before" (unanswered, not acted on), "acted" (acted on, unanswered),
//                     "body" (an upload body stalled midway; other requests as "before"),
//                     "replied" (answered; the requests after it are held)
// From the hold point on every request is held unanswered; the next setting (or a
// release) closes them all without acting on them.
class Chaos {
public:
    struct Settings {
        quint64 seed = 0;
        double refuseShare = 0;
        int retryAfter = 1;
        double loseReplyShare = 0;
        double cutShare = 0;
        int assetDelayMs = 0;
        int assetDelayRequests = 0;
        int holdAt = 0;
        QString holdPhase = QStringLiteral("before");
    };

    [[nodiscard]] static std::optional<Settings> fromJson(const QJsonObject& object,
                                                          QString* error);

    [[nodiscard]] bool isOn() const { return m_on; }
    [[nodiscard]] const Settings& settings() const { return m_settings; }
    // A new run: counts the client's requests from 0 again and lifts the hold.
    void start(const Settings& settings);
    void stop() { m_on = false; }

    // The fault for this request, if any. `key` names the request with each ID replaced by
    // its clip; `bodyLength` is the size of an upload body (0 for others). Only requests
    // to the video service (`service`) meet random faults; every request counts to the hold.
    [[nodiscard]] std::optional<Fault> faultFor(const QString& method, const QString& key,
                                                qint64 bodyLength, bool service);
    // The hold point's request reached its hold; from now on every request is held.
    void noteHeld() { m_held = true; }
    // Requests that reached the stand-in in chaos mode, all runs together.
    [[nodiscard]] qint64 total() const { return m_total; }
    // {"held": bool, "requests": N}: whether the client can be killed now.
    [[nodiscard]] QJsonObject state() const;

private:
    [[nodiscard]] Fault holdFault(const QString& method, qint64 bodyLength) const;

    bool m_on = false;
    Settings m_settings;
    int m_requests = 0;
    qint64 m_total = 0;
    bool m_held = false;
    QHash<QString, int> m_seen; // per key, kept across runs: the schedule goes on
};
