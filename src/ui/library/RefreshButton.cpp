#include "ui/library/RefreshButton.h"

#include "ui/library/LibraryIcons.h"
#include "ui/library/LibraryStyle.h"

#include <QPainter>

namespace clipferry {
namespace {
constexpr int arrowSize = 18;
}

RefreshButton::RefreshButton(QWidget* parent)
    : QToolButton(parent) {
    setObjectName(QStringLiteral("refreshButton"));
    setAutoRaise(true);
    setToolTip(QStringLiteral("Refresh videos"));
    setAccessibleName(QStringLiteral("Refresh videos"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);

    m_spin.setStartValue(0.0);
    m_spin.setEndValue(360.0);
    m_spin.setDuration(900);
    m_spin.setLoopCount(-1);
    m_spin.setEasingCurve(QEasingCurve::Linear);
    m_settle.setEndValue(0.0);
    m_settle.setDuration(350);
    m_settle.setEasingCurve(QEasingCurve::InOutQuad);
    const auto turn = [this](const QVariant& value) {
        m_angle = value.toReal();
        update();
    };
    connect(&m_spin, &QVariantAnimation::valueChanged, this, turn);
    connect(&m_settle, &QVariantAnimation::valueChanged, this, turn);
}

void RefreshButton::setBusy(bool busy) {
    if (m_busy == busy)
        return;
    m_busy = busy;
    setEnabled(!busy);
    if (busy) {
        m_settle.stop();
        m_spin.start();
    } else {
        m_spin.stop();
        m_settle.setStartValue(m_angle);
        m_settle.start();
    }
}

QSize RefreshButton::sizeHint() const {
    return {28, 28};
}

void RefreshButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const auto colors = libraryStyle::colors(palette());
    if (underMouse() && isEnabled()) {
        QColor hover = colors.text;
        hover.setAlphaF(0.08F);
        painter.setPen(Qt::NoPen);
        painter.setBrush(hover);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }
    if (hasFocus()) {
        painter.setPen(QPen(colors.blue, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
    }
    // The busy look is the turning arrow, so it keeps the secondary colour while disabled.
    const QPixmap icon = libraryIcons::icon(QStringLiteral("arrow-clockwise"), arrowSize,
                                            colors.secondary, devicePixelRatioF());
    painter.translate(QRectF(rect()).center());
    painter.rotate(m_angle);
    painter.drawPixmap(QPointF(-arrowSize / 2.0, -arrowSize / 2.0), icon);
}

} // namespace clipferry
