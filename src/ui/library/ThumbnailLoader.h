#pragma once

#include "thumbnails/ThumbnailSources.h"

#include <QCache>
#include <QCoro/QCoroTask>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QSize>
#include <QStringList>
#include <functional>
#include <optional>

namespace clipferry {

// Pictures for the rows the view paints, fetched on demand: at most `maxInFlight` at
// once, only for keys looked up during the latest full repaint (rows scrolled away or
// collapsed before their turn are dropped), kept in memory in a bounded cache.
//   loader.lookup(key) from paint; repaint on thumbnailReady.
class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    enum class State { Loading, Ready, Failed };
    struct Lookup {
        State state = State::Loading;
        QPixmap pixmap;
    };
    using Fetch = ThumbnailFetch;

    // Pictures are scaled to fill `size` (logical pixels) at `devicePixelRatio`.
    ThumbnailLoader(Fetch fetch, QSize size, qreal devicePixelRatio, int maxInFlight = 6,
                    QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    // What is known of `key` now; an unknown key is queued.
    [[nodiscard]] Lookup lookup(const QString& key);

    // Brackets a repaint of the whole viewport: queued keys not looked up in between are
    // no longer on screen. Partial repaints say nothing about the rows they skip.
    void beginFullPaint();
    void endFullPaint();

    // Puts a picture in place without fetching (restored state, fixtures).
    void insert(const QString& key, const QImage& image);
    // Lets failed keys be tried again at their next lookup.
    void forgetFailures();

    [[nodiscard]] int inFlightCount() const { return static_cast<int>(m_inFlight.size()); }
    [[nodiscard]] int queuedCount() const { return static_cast<int>(m_queue.size()); }

Q_SIGNALS:
    void thumbnailReady(const QString& key);

private:
    void schedulePump();
    void pump();
    QCoro::Task<> run(QString key);
    [[nodiscard]] QPixmap fill(const QImage& image) const;

    Fetch m_fetch;
    QSize m_size;
    qreal m_devicePixelRatio;
    int m_maxInFlight;
    QCache<QString, QPixmap> m_pixmaps;
    QSet<QString> m_failed;
    QSet<QString> m_inFlight;
    QStringList m_queue;
    QSet<QString> m_queued;
    QSet<QString> m_lookedUpInPaint;
    bool m_inFullPaint = false;
    bool m_pumpScheduled = false;
};

} // namespace clipferry
