#include "ui/library/LibraryStyle.h"

#include <QPalette>
#include <algorithm>
#include <numeric>

namespace clipferry::libraryStyle {

int minimumRowWidth() {
    const int cells = std::accumulate(std::begin(cellWidths), std::end(cellWidths), 0);
    const int cellCount = static_cast<int>(std::size(cellWidths));
    return firstCellX + cells + spacing * (cellCount - 1) + spacing + 2 * iconButtonSize + spacing +
           iconButtonTrailingInset + rowInsetX;
}

VideoRowGeometry videoRowGeometry(const QRect& row) {
    VideoRowGeometry g;
    const int top = row.top() + rowInsetY;
    const int height = thumbnailHeight;
    int x = row.left() + rowInsetX;
    g.thumbnail = QRect(x, top, thumbnailWidth, height);
    x += thumbnailWidth + spacing;
    g.cells[0] = QRect(x, top, titleWidth, height);
    x += titleWidth + spacing;
    for (std::size_t i = 0; i < std::size(cellWidths); ++i) {
        g.cells[i + 1] = QRect(x, top, cellWidths[i], height);
        x += cellWidths[i] + spacing;
    }
    const int buttonTop = row.top() + (row.height() - iconButtonSize) / 2;
    const int right = row.right() + 1 - rowInsetX - iconButtonTrailingInset;
    g.deleteButton = QRect(right - iconButtonSize, buttonTop, iconButtonSize, iconButtonSize);
    g.openButton = g.deleteButton.translated(-(iconButtonSize + spacing), 0);
    return g;
}

Fonts fonts(const QFont& base) {
    // The reference sizes are a 13 pt body, 10 pt captions and a 15 pt section title.
    const qreal body = base.pointSizeF() > 0 ? base.pointSizeF() : 10.0;
    Fonts f{base, base, base};
    f.headline.setWeight(QFont::DemiBold);
    f.caption.setPointSizeF(std::max(7.0, body * 10.0 / 13.0 + 0.5));
    f.sectionTitle.setPointSizeF(body * 15.0 / 13.0 + 1.0);
    f.sectionTitle.setWeight(QFont::Bold);
    return f;
}

Colors colors(const QPalette& palette) {
    Colors c;
    c.background = palette.color(QPalette::Base);
    c.windowBackground = palette.color(QPalette::Window);
    c.text = palette.color(QPalette::Text);
    c.dark = c.windowBackground.lightness() < 128;
    c.secondary = c.text;
    c.secondary.setAlphaF(c.dark ? 0.55F : 0.6F);
    // The secondary colour at 0.15 (dark) or 0.08 (light) opacity.
    c.headerFill = c.text;
    c.headerFill.setAlphaF(c.secondary.alphaF() * (c.dark ? 0.15F : 0.08F));
    c.blue = c.dark ? QColor(10, 132, 255) : QColor(0, 122, 255);
    // Deeper green and yellow on light backgrounds: the bright ones are unreadable as
    // caption text on white.
    c.green = c.dark ? QColor(48, 209, 88) : QColor(36, 150, 62);
    c.yellow = c.dark ? QColor(255, 214, 10) : QColor(191, 143, 0);
    c.orange = c.dark ? QColor(255, 159, 10) : QColor(201, 96, 0);
    c.selection = c.blue;
    c.selection.setAlphaF(0.25F);
    c.placeholderBox = QColor(128, 128, 128);
    c.placeholderBox.setAlphaF(0.2F);
    return c;
}

} // namespace clipferry::libraryStyle
