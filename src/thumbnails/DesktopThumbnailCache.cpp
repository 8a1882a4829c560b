#include "thumbnails/DesktopThumbnailCache.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QtEndian>

namespace clipferry {
namespace {

QString thumbnailRoot() {
    auto cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/thumbnails");
}

// A tEXt value read from the chunks before the pixel data. QImageReader cannot be asked:
// it splits keys at the first colon, and these keys hold two.
std::optional<QByteArray> pngText(const QByteArray& png, QByteArrayView key) {
    constexpr qsizetype signatureSize = 8;
    qsizetype at = signatureSize;
    while (at + 8 <= png.size()) {
        const auto length = qFromBigEndian<quint32>(png.constData() + at);
        const auto type = QByteArrayView(png).sliced(at + 4, 4);
        const qsizetype dataAt = at + 8;
        if (length > static_cast<quint32>(png.size() - dataAt) || type == "IDAT")
            break;
        if (type == "tEXt") {
            const auto data = QByteArrayView(png).sliced(dataAt, length);
            const auto separator = data.indexOf('\0');
            if (separator >= 0 && data.first(separator) == key)
                return data.sliced(separator + 1).toByteArray();
        }
        at = dataAt + length + 4; // data and CRC
    }
    return std::nullopt;
}

} // namespace

QString desktopThumbnailPath(const QString& path, const QString& sizeClass) {
    const auto uri = QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded);
    const auto name = QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex();
    return thumbnailRoot() + QLatin1Char('/') + sizeClass + QLatin1Char('/') +
           QString::fromLatin1(name) + QStringLiteral(".png");
}

std::optional<QImage> desktopThumbnail(const QString& path, QSize maxSize) {
    const QFileInfo file(path);
    const auto modified = file.lastModified();
    if (!modified.isValid())
        return std::nullopt;
    const auto mtime = QByteArray::number(modified.toSecsSinceEpoch());
    // The larger class first: it scales down to a sharper picture.
    for (const auto* sizeClass : {"large", "normal"}) {
        const auto thumbnailPath = desktopThumbnailPath(path, QString::fromLatin1(sizeClass));
        QFile file(thumbnailPath);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const auto png = file.readAll();
        if (!png.startsWith("\x89PNG\r\n\x1A\n") || pngText(png, "Thumb::MTime") != mtime)
            continue;
        QImage image = QImage::fromData(png, "PNG");
        if (image.isNull())
            continue;
        if (image.width() > maxSize.width() || image.height() > maxSize.height())
            image = image.scaled(maxSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return image;
    }
    return std::nullopt;
}

} // namespace clipferry
