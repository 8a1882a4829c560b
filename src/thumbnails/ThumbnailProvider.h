#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QSizeF>
#include <QString>
#include <QThreadPool>
#include <QUrl>
#include <optional>

namespace clipferry {

// Still pictures (JPEG bytes) of local video files, kept in a disk cache with one file
// per path and modification time, so a clip is rendered once until it changes:
//     auto jpeg = co_await ThumbnailProvider::shared().thumbnail(url, QSizeF(160, 90));
// Safe to call for many files at once; the caller resumes on its own thread.
class ThumbnailProvider {
public:
    // The application's instance, caching in the state folder's "thumbnails".
    [[nodiscard]] static ThumbnailProvider& shared();

    // Caches in `cacheFolder` (created when missing) and renders on `renderPool`, which
    // must outlive this object.
    ThumbnailProvider(QString cacheFolder, QThreadPool& renderPool);
    ~ThumbnailProvider();
    ThumbnailProvider(const ThumbnailProvider&) = delete;
    ThumbnailProvider& operator=(const ThumbnailProvider&) = delete;

    // The picture of `file` fitted into `size` points: from the cache, else from the
    // desktop's thumbnail cache, else a frame of the video; nothing when none can be made.
    // The first size asked for a file decides its cached picture.
    [[nodiscard]] QCoro::Task<std::optional<QByteArray>> thumbnail(QUrl file, QSizeF size);

    [[nodiscard]] const QString& cacheFolder() const { return m_cacheFolder; }
    // 64 lower-case hex digits: SHA-256 of the path, "|" and the modification time.
    [[nodiscard]] static QString cacheKey(const QString& path);
    // Seconds in the shortest text that reads back to the same double, always with a
    // fractional part: 12 -> "12.0", 12.25 -> "12.25".
    [[nodiscard]] static QString timeText(double seconds);

    // Blocks until the queued cache writes are on disk; for tests.
    void waitForCacheWrites();

private:
    QString m_cacheFolder;
    QThreadPool& m_renderPool;
    // One thread: cache writes land one after another, off the caller's path.
    QThreadPool m_ioQueue;
};

} // namespace clipferry
