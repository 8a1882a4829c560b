#include "ui/common/AppStyle.h"

#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <QSvgRenderer>
#include <QWidget>
#include <vector>

// Resources of a static library are not registered unless something asks for them.
static void initShellResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(shell);
        return true;
    }();
    Q_UNUSED(done);
}

namespace clipferry {

AppStyle::AppStyle() {
    qApp->installEventFilter(this);
}

AppStyle::~AppStyle() = default;

void AppStyle::setPaletteStyleSheet(QWidget* widget, std::function<QString(const QPalette&)> make) {
    widget->setStyleSheet(make(QApplication::palette()));
    m_entries.push_back({widget, std::move(make)});
}

bool AppStyle::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        std::erase_if(m_entries, [](const Entry& entry) { return entry.widget.isNull(); });
        for (const Entry& entry : m_entries)
            entry.widget->setStyleSheet(entry.make(QApplication::palette()));
    }
    return false;
}

} // namespace clipferry

namespace clipferry::style {
namespace {

QImage render(const QString& name, int size, qreal devicePixelRatio) {
    initShellResources();
    const int pixels = qMax(1, qRound(size * devicePixelRatio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/icons/shell/%1.svg").arg(name));
    QPainter painter(&image);
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    renderer.render(&painter);
    painter.end();
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

} // namespace

QFont font(TextStyle style, const QFont& base) {
    QFont result = base;
    const qreal size = base.pointSizeF() > 0 ? base.pointSizeF() : 10.0;
    auto scaled = [&](qreal factor, bool bold) {
        result.setPointSizeF(size * factor);
        result.setBold(bold);
        return result;
    };
    switch (style) {
    case TextStyle::largeTitle:
        return scaled(1.75, true);
    case TextStyle::title2:
        return scaled(1.35, true);
    case TextStyle::headline:
        return scaled(1.0, true);
    case TextStyle::subheadlineBold:
        return scaled(0.93, true);
    case TextStyle::body:
        return scaled(1.0, false);
    case TextStyle::caption:
        return scaled(0.85, false);
    case TextStyle::caption2:
        return scaled(0.78, false);
    }
    return result;
}

void applyFont(QWidget* widget, TextStyle style) {
    widget->setFont(font(style, QApplication::font()));
}

QColor secondaryColor(const QPalette& palette) {
    return palette.color(QPalette::PlaceholderText);
}

QColor accentBlue() {
    return QColor(0x1E, 0x6F, 0xE8);
}

QColor successGreen() {
    return QColor(0x1F, 0x9D, 0x45);
}

QColor failureRed() {
    return QColor(0xE0, 0x34, 0x2C);
}

QPixmap symbol(const QString& name, int size, const QColor& color, qreal devicePixelRatio) {
    QImage image = render(name, size, devicePixelRatio);
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(0, 0, size, size), color);
    painter.end();
    return QPixmap::fromImage(image);
}

QPixmap picture(const QString& name, int size, qreal devicePixelRatio) {
    return QPixmap::fromImage(render(name, size, devicePixelRatio));
}

} // namespace clipferry::style
