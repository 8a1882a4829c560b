#include "ui/sidebar/DashedFrame.h"

#include "ui/common/AppStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace clipferry {
namespace {
constexpr qreal lineWidth = 2.0;
constexpr qreal cornerRadius = 12.0;
// Dash and gap of 6 px; QPen measures dashes in line widths.
constexpr qreal dashInLineWidths = 6.0 / lineWidth;
} // namespace

DashedFrame::DashedFrame(QWidget* parent)
    : QWidget(parent) {
    setMinimumHeight(160);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void DashedFrame::setHighlighted(bool highlighted) {
    if (m_highlighted == highlighted)
        return;
    m_highlighted = highlighted;
    update();
}

void DashedFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(m_highlighted ? style::accentBlue() : style::secondaryColor(palette()), lineWidth);
    pen.setDashPattern({dashInLineWidths, dashInLineWidths});
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const qreal inset = lineWidth / 2;
    painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), cornerRadius,
                            cornerRadius);
}

} // namespace clipferry
