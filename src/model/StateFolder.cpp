#include "model/StateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace clipferry {

QString stateFolderPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Clipferry");
}

QString stateFileURL(const QString& fileName) {
    const auto folder = stateFolderPath();
    if (!QFileInfo::exists(folder))
        (void)QDir().mkpath(folder);
    return folder + QLatin1Char('/') + fileName;
}

Result<void> writeFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    // Unbuffered, so a short write shows here: a buffered one can lose its tail in the
    // flush at commit and still report success.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(errorDomain::file, static_cast<int>(file.error()), file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const auto message =
            file.error() == QFileDevice::NoError
                ? QStringLiteral("%1: the file could not be written completely.").arg(path)
                : file.errorString();
        file.cancelWriting();
        return fail(errorDomain::file, static_cast<int>(file.error()), message);
    }
    if (!file.commit())
        return fail(errorDomain::file, static_cast<int>(file.error()), file.errorString());
    return {};
}

Result<QByteArray> readWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(errorDomain::file, static_cast<int>(file.error()),
                    QStringLiteral("%1: %2").arg(path, file.errorString()));
    QByteArray bytes = file.readAll();
    // An I/O error part-way must not pass for a short file.
    if (file.error() != QFileDevice::NoError)
        return fail(errorDomain::file, static_cast<int>(file.error()),
                    QStringLiteral("%1: %2").arg(path, file.errorString()));
    return bytes;
}

} // namespace clipferry
