#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {
bool openForWriting(QFile& file) {
    QDir().mkpath(QFileInfo(file.fileName()).absolutePath());
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}
} // namespace

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return openForWriting(file) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeRandomFile(const QString& path, qint64 size) {
    QFile file(path);
    if (!openForWriting(file))
        return false;
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (qint64 written = 0; written < size; written += chunk.size()) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(chunk.data()),
                                              chunk.size() / 4);
        const qint64 part = std::min<qint64>(chunk.size(), size - written);
        if (file.write(chunk.constData(), part) != part)
            return false;
    }
    return true;
}
