#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

namespace clipferry::libraryIcons {

// Loads the column's icons from its resource file; call once before the first icon.
void initResources();

// The SVG icon `name` (a file of resources/icons/library.qrc without ".svg") drawn in
// one colour at `size` logical pixels. Rendered pixmaps are cached.
[[nodiscard]] QPixmap icon(const QString& name, int size, const QColor& color, qreal dpr);

} // namespace clipferry::libraryIcons
