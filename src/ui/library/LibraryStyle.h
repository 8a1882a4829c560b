#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

class QPalette;
class QWidget;

// Measures, fonts and colours of the library column. Measures are logical pixels; the
// columns of the rows and the headings of the animation headers come from the same
// numbers so that each heading stands above its column.
namespace clipferry::libraryStyle {

inline constexpr int rowInsetX = 8;
inline constexpr int rowInsetY = 6;
inline constexpr int thumbnailWidth = 80;
inline constexpr int thumbnailHeight = 45;
inline constexpr int spacing = 8;
inline constexpr int titleWidth = 120;
// Filename, Element, Match, Resolution, Duration, Format.
inline constexpr int cellWidths[] = {260, 65, 60, 85, 55, 50};
inline constexpr int iconButtonSize = 32;
inline constexpr int iconButtonTrailingInset = 8;
inline constexpr int badgeSize = 12;
inline constexpr int badgeDotSize = 8;
inline constexpr int badgeOverhang = 6;

inline constexpr int headerOuterInsetX = 8;
inline constexpr int headerOuterInsetY = 4;
inline constexpr int headerInnerInsetX = 10;
inline constexpr int headerInnerInsetY = 6;
inline constexpr int headerNameWidth = 150;
inline constexpr int headerSpacerWidth = 40;
inline constexpr int chevronLeadingInset = 6;

// Where the Filename column begins in a row and under a header (the same place).
inline constexpr int firstCellX = rowInsetX + thumbnailWidth + spacing + titleWidth + spacing;
static_assert(firstCellX == headerOuterInsetX + headerInnerInsetX + headerNameWidth + spacing +
                                headerSpacerWidth + spacing);

// The narrowest row that shows every cell and both buttons without overlap.
[[nodiscard]] int minimumRowWidth();

// Cell rectangles of a video row, in the order title, Filename … Format.
struct VideoRowGeometry {
    QRect thumbnail;
    QRect cells[7];
    QRect openButton;
    QRect deleteButton;
};
[[nodiscard]] VideoRowGeometry videoRowGeometry(const QRect& row);

struct Fonts {
    QFont headline;
    QFont caption;
    QFont sectionTitle;
};
[[nodiscard]] Fonts fonts(const QFont& base);

struct Colors {
    bool dark = false;
    QColor text;
    QColor secondary;
    QColor background;
    QColor windowBackground;
    QColor headerFill;
    QColor blue;
    QColor green;
    QColor yellow;
    QColor orange;
    QColor selection;
    QColor placeholderBox;
};
// Light or dark, following the palette the system gives the widget.
[[nodiscard]] Colors colors(const QPalette& palette);

} // namespace clipferry::libraryStyle
