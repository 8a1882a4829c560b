#include "model/StoredFile.h"

namespace clipferry {

StoredFile::StoredFile(QString path, Access access)
    : m_path(std::move(path))
    , m_readOnly(access == Access::readOnly) {}

Result<void> StoredFile::save(const QByteArray& bytes) const {
    if (!isWritable())
        return {};
    if (auto folder = makePrivateFolder(QFileInfo(m_path).path()); !folder)
        return folder;
    return writeFileAtomically(m_path, bytes);
}

QString stateFilePath(const QString& fileName) {
    return stateFolderPath() + QLatin1Char('/') + fileName;
}

} // namespace clipferry
