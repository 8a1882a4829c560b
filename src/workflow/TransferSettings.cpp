#include "workflow/TransferSettings.h"

#include "service/BandwidthLimiter.h"
#include "workflow/UploadQueue.h"

#include <QSettings>
#include <algorithm>

namespace clipferry {

namespace {
constexpr auto uploadsAtOnceKey = "uploadsAtOnce";
constexpr auto uploadLimitKey = "uploadLimitMBps";

qint64 bytesPerSecond(double megabytesPerSecond) {
    return static_cast<qint64>(megabytesPerSecond * 1e6);
}
} // namespace

TransferSettings::TransferSettings(UploadQueue& queue, BandwidthLimiter& limiter,
                                   int defaultUploadsAtOnce)
    : m_queue(queue)
    , m_limiter(limiter) {
    const QSettings settings;
    m_queue.setMaxConcurrent(
        settings.value(QLatin1String(uploadsAtOnceKey), defaultUploadsAtOnce).toInt());
    m_limitMBps = std::max(0.0, settings.value(QLatin1String(uploadLimitKey), 0.0).toDouble());
    m_limiter.setRate(bytesPerSecond(m_limitMBps));
}

int TransferSettings::uploadsAtOnce() const {
    return m_queue.maxConcurrent();
}

void TransferSettings::setUploadsAtOnce(int count) {
    m_queue.setMaxConcurrent(count);
    QSettings().setValue(QLatin1String(uploadsAtOnceKey), m_queue.maxConcurrent());
}

void TransferSettings::setLimitMBps(double megabytesPerSecond) {
    m_limitMBps = std::max(0.0, megabytesPerSecond);
    m_limiter.setRate(bytesPerSecond(m_limitMBps));
    QSettings().setValue(QLatin1String(uploadLimitKey), m_limitMBps);
}

} // namespace clipferry
