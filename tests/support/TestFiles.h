#pragma once

#include <QByteArray>
#include <QString>

// Whole-file reads and writes for test set-up; folders on the way are created.
[[nodiscard]] bool writeFile(const QString& path, const QByteArray& bytes);
[[nodiscard]] QByteArray readFile(const QString& path); // empty when unreadable
// `size` random bytes, so no two files (or compressions of them) look alike.
[[nodiscard]] bool writeRandomFile(const QString& path, qint64 size);
