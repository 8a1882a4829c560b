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
    (void)makePrivateFolder(folder);
    return folder + QLatin1Char('/') + fileName;
}

Result<void> makePrivateFolder(const QString& path) {
    constexpr auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    const QFileInfo info(path);
    // Created private, so that no other user can open it in the moment before a chmod.
    if (!info.exists() && !QDir().mkdir(path, owner) &&
        !(QDir().mkpath(info.absolutePath()) && QDir().mkdir(path, owner)))
        return fail(errorDomain::file, static_cast<int>(QFileDevice::OpenError),
                    QStringLiteral("%1: the folder could not be created.").arg(path));
    // A folder from an earlier version may be open to others.
    constexpr auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    if ((QFile::permissions(path) & others) && !QFile::setPermissions(path, owner))
        return fail(errorDomain::file, static_cast<int>(QFileDevice::PermissionsError),
                    QStringLiteral("%1: the folder could not be made private.").arg(path));
    return {};
}

Result<void> makePrivateFile(const QString& path) {
    if (!QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return fail(errorDomain::file, static_cast<int>(QFileDevice::PermissionsError),
                    QStringLiteral("%1: the file could not be made private.").arg(path));
    return {};
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
    // The temporary file is made private before it takes the name, so the file is never
    // readable by others, not even for a moment.
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        file.cancelWriting();
        return fail(errorDomain::file, static_cast<int>(QFileDevice::PermissionsError),
                    QStringLiteral("%1: the file could not be made private.").arg(path));
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
