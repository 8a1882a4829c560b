#include "ui/library/LibraryIcons.h"

#include <QCache>
#include <QPainter>
#include <QSvgRenderer>

// Outside any namespace: the resource initialiser is a global function.
static void initLibraryResources() {
    Q_INIT_RESOURCE(library);
}

namespace clipferry::libraryIcons {

void initResources() {
    static const bool done = (initLibraryResources(), true);
    Q_UNUSED(done);
}

QPixmap icon(const QString& name, int size, const QColor& color, qreal dpr) {
    static QCache<QString, QPixmap> cache(256);
    const QString key = name + QLatin1Char('|') + QString::number(size) + QLatin1Char('|') +
                        color.name(QColor::HexArgb) + QLatin1Char('|') + QString::number(dpr);
    if (const QPixmap* cached = cache.object(key))
        return *cached;
    initResources();
    const int pixels = qRound(size * dpr);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        QSvgRenderer renderer(QStringLiteral(":/icons/library/") + name + QStringLiteral(".svg"));
        renderer.render(&painter);
        // Keep the icon's shape, take the colour.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), color);
    }
    pixmap.setDevicePixelRatio(dpr);
    cache.insert(key, new QPixmap(pixmap));
    return pixmap;
}

} // namespace clipferry::libraryIcons
