#include "ui/library/ThumbnailLoader.h"

#include <QPainter>
#include <QPointer>

#include "model/DetachedTask.h"
#include <QTimer>

namespace clipferry {
namespace {
// Kilobytes: a few thousand rows' pictures at a high pixel ratio.
constexpr int memoryBudgetKB = 64 * 1024;
} // namespace

ThumbnailLoader::ThumbnailLoader(Fetch fetch, QSize size, qreal devicePixelRatio, int maxInFlight,
                                 QObject* parent)
    : QObject(parent)
    , m_fetch(std::move(fetch))
    , m_size(size)
    , m_devicePixelRatio(devicePixelRatio)
    , m_maxInFlight(maxInFlight)
    , m_pixmaps(memoryBudgetKB) {}

ThumbnailLoader::~ThumbnailLoader() = default;

ThumbnailLoader::Lookup ThumbnailLoader::lookup(const QString& key) {
    if (m_inFullPaint)
        m_lookedUpInPaint.insert(key);
    if (const QPixmap* pixmap = m_pixmaps.object(key))
        return {State::Ready, *pixmap};
    if (m_failed.contains(key))
        return {State::Failed, {}};
    if (!m_inFlight.contains(key) && !m_queued.contains(key)) {
        // Newest first: what was just painted is what the user looks at.
        m_queue.prepend(key);
        m_queued.insert(key);
        schedulePump();
    }
    return {State::Loading, {}};
}

void ThumbnailLoader::beginFullPaint() {
    m_inFullPaint = true;
    m_lookedUpInPaint.clear();
}

void ThumbnailLoader::endFullPaint() {
    m_inFullPaint = false;
    m_queue.removeIf([this](const QString& key) {
        if (m_lookedUpInPaint.contains(key))
            return false;
        m_queued.remove(key);
        return true;
    });
    m_lookedUpInPaint.clear();
}

void ThumbnailLoader::insert(const QString& key, const QImage& image) {
    const QPixmap pixmap = fill(image);
    const int cost = std::max(1, static_cast<int>(pixmap.width() * pixmap.height() * 4 / 1024));
    m_pixmaps.insert(key, new QPixmap(pixmap), cost);
    m_failed.remove(key);
    m_queue.removeAll(key);
    m_queued.remove(key);
}

void ThumbnailLoader::forgetFailures() {
    m_failed.clear();
}

void ThumbnailLoader::schedulePump() {
    // Lookups come from paint events; requests start after them, from the event loop.
    if (m_pumpScheduled)
        return;
    m_pumpScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_pumpScheduled = false;
        pump();
    });
}

void ThumbnailLoader::pump() {
    while (m_inFlight.size() < m_maxInFlight && !m_queue.isEmpty()) {
        const QString key = m_queue.takeFirst();
        m_queued.remove(key);
        m_inFlight.insert(key);
        runDetached(run(key));
    }
}

QCoro::Task<> ThumbnailLoader::run(QString key) {
    QPointer self(this);
    const std::optional<QImage> image = co_await m_fetch(key);
    if (!self)
        co_return;
    m_inFlight.remove(key);
    if (image && !image->isNull())
        insert(key, *image);
    else
        m_failed.insert(key);
    Q_EMIT thumbnailReady(key);
    pump();
}

QPixmap ThumbnailLoader::fill(const QImage& image) const {
    // Scaled to fill the box with the aspect ratio kept; what overflows is cut off.
    const QSize pixels = (QSizeF(m_size) * m_devicePixelRatio).toSize();
    const QImage scaled =
        image.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect crop((scaled.width() - pixels.width()) / 2, (scaled.height() - pixels.height()) / 2,
                     pixels.width(), pixels.height());
    QPixmap pixmap = QPixmap::fromImage(scaled.copy(crop));
    pixmap.setDevicePixelRatio(m_devicePixelRatio);
    return pixmap;
}

} // namespace clipferry
