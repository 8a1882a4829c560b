#include "thumbnails/ThumbnailProvider.h"

#include "media/FrameGrabber.h"
#include "model/StateFolder.h"
#include "thumbnails/DesktopThumbnailCache.h"

#include <QBuffer>
#include <QCoro/QCoroFuture>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <charconv>
#include <cmath>

namespace clipferry {
namespace {

struct Rendered {
    QByteArray jpeg;
    // Set when the bytes are new and belong in the cache.
    bool store = false;
};

std::optional<QByteArray> jpegData(const QImage& image) {
    if (image.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "JPG", 80))
        return std::nullopt;
    return bytes;
}

// Half-written or damaged files must not be served: the picture has to decode and end
// with the end-of-image marker (a cut-off JPEG still decodes, padded with grey).
bool isWholeJpeg(const QByteArray& bytes) {
    if (!bytes.startsWith("\xFF\xD8") || !bytes.endsWith("\xFF\xD9"))
        return false;
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "jpeg");
    return !reader.read().isNull();
}

std::optional<QByteArray> readCache(const QString& cachePath) {
    QFile file(cachePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    auto bytes = file.readAll();
    if (!isWholeJpeg(bytes))
        return std::nullopt;
    return bytes;
}

QSize pixels(QSizeF size) {
    const auto side = [](qreal value) {
        return std::isfinite(value) ? std::max(1, static_cast<int>(value)) : 1;
    };
    return QSize(side(size.width()), side(size.height()));
}

std::optional<Rendered> render(const QString& path, const QString& cachePath, QSizeF size,
                               qreal screenScale) {
    if (auto cached = readCache(cachePath))
        return Rendered{std::move(*cached), false};
    std::optional<QImage> picture = desktopThumbnail(path, pixels(size * screenScale));
    if (!picture)
        picture = grabFrame(path, pixels(size));
    if (!picture)
        return std::nullopt;
    auto jpeg = jpegData(*picture);
    if (!jpeg)
        return std::nullopt;
    return Rendered{std::move(*jpeg), true};
}

// Read on the calling (user-interface) thread: screens belong to it.
qreal mainScreenScale() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ||
        QThread::currentThread() != QCoreApplication::instance()->thread())
        return 1.0;
    const auto* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

} // namespace

ThumbnailProvider& ThumbnailProvider::shared() {
    static QThreadPool renderPool;
    static ThumbnailProvider provider = [] {
        renderPool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        renderPool.setThreadPriority(QThread::LowPriority);
        return ThumbnailProvider(stateFolderPath() + QStringLiteral("/thumbnails"), renderPool);
    }();
    return provider;
}

ThumbnailProvider::ThumbnailProvider(QString cacheFolder, QThreadPool& renderPool)
    : m_cacheFolder(std::move(cacheFolder))
    , m_renderPool(renderPool) {
    m_ioQueue.setMaxThreadCount(1);
    m_ioQueue.setThreadPriority(QThread::LowPriority);
    m_ioQueue.setObjectName(QStringLiteral("com.clipferry.thumbnail.io"));
    // A failure shows as failed (ignored) cache writes later.
    if (!QFileInfo::exists(m_cacheFolder))
        (void)QDir().mkpath(m_cacheFolder);
}

ThumbnailProvider::~ThumbnailProvider() {
    m_ioQueue.waitForDone();
}

QString ThumbnailProvider::timeText(double seconds) {
    char text[64];
    const auto [end, error] =
        std::to_chars(std::begin(text), std::end(text), seconds, std::chars_format::fixed);
    if (error != std::errc())
        return QString();
    auto result = QString::fromLatin1(text, end - text);
    if (!result.contains(QLatin1Char('.')))
        result += QStringLiteral(".0");
    return result;
}

QString ThumbnailProvider::cacheKey(const QString& path) {
    QString time;
    const QFileInfo info(path);
    if (info.exists()) {
        const auto modified = info.lastModified();
        if (modified.isValid())
            time = timeText(static_cast<double>(modified.toMSecsSinceEpoch()) / 1000.0);
    }
    const auto text = path + QLatin1Char('|') + time;
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QCoro::Task<std::optional<QByteArray>> ThumbnailProvider::thumbnail(QUrl file, QSizeF size) {
    const auto path = file.toLocalFile();
    const auto cachePath =
        m_cacheFolder + QLatin1Char('/') + cacheKey(path) + QStringLiteral(".jpg");
    const qreal scale = mainScreenScale();
    // g++ 12 destroys a lambda written inside a co_await expression twice: name it.
    auto job = [path, cachePath, size, scale] {
        return render(path, cachePath, size, scale);
    };
    auto rendering = QtConcurrent::run(&m_renderPool, std::move(job));
    auto rendered = co_await rendering;
    if (!rendered)
        co_return std::nullopt;
    if (rendered->store) {
        m_ioQueue.start(
            [cachePath, bytes = rendered->jpeg] { (void)writeFileAtomically(cachePath, bytes); });
    }
    co_return std::move(rendered->jpeg);
}

void ThumbnailProvider::waitForCacheWrites() {
    m_ioQueue.waitForDone();
}

} // namespace clipferry
