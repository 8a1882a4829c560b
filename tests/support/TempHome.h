#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTemporaryDir>

// Points HOME and the XDG folders at a fresh temporary folder for as long as it lives,
// so a test never reads or writes the real user's data.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    [[nodiscard]] QString path() const { return m_dir.path(); }
    // The folder "Clipferry" under the temporary data home.
    [[nodiscard]] QString stateFolder() const;

private:
    QTemporaryDir m_dir;
    QHash<QByteArray, QByteArray> m_saved;
};
