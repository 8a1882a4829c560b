#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <functional>
#include <vector>

class QPalette;
class QString;
class QWidget;

namespace clipferry {

// The application's look beyond the desktop style: style sheets that follow the palette.
// One per application, made by the window that owns the widgets and passed to them; a
// widget with a sheet of its own does not hear of a new palette, so this object re-sets
// the sheets when the application's palette changes.
class AppStyle : public QObject {
public:
    AppStyle();
    ~AppStyle() override;

    // Sets the sheet `make` writes for the application's palette, and writes it again whenever
    // that palette changes: Qt reads palette() roles and colours in a sheet only when it is set.
    void setPaletteStyleSheet(QWidget* widget, std::function<QString(const QPalette&)> make);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        QPointer<QWidget> widget;
        std::function<QString(const QPalette&)> make;
    };
    std::vector<Entry> m_entries;
};

} // namespace clipferry

namespace clipferry::style {

// Text styles relative to the application font, so the panel follows the desktop's
// font size instead of fixed point sizes.
enum class TextStyle { largeTitle, title2, headline, subheadlineBold, body, caption, caption2 };
[[nodiscard]] QFont font(TextStyle style, const QFont& base);
void applyFont(QWidget* widget, TextStyle style);

[[nodiscard]] QColor secondaryColor(const QPalette& palette);
[[nodiscard]] QColor accentBlue();
[[nodiscard]] QColor successGreen();
[[nodiscard]] QColor failureRed();

// One of our monochrome symbols ("gear", "tray-arrow-down", "folder-badge-plus"), drawn in
// `color` at `size` logical pixels for a screen of `devicePixelRatio`.
[[nodiscard]] QPixmap symbol(const QString& name, int size, const QColor& color,
                             qreal devicePixelRatio);
// A full-colour picture from the shell's icon set ("header", "clipferry").
[[nodiscard]] QPixmap picture(const QString& name, int size, qreal devicePixelRatio);

} // namespace clipferry::style
