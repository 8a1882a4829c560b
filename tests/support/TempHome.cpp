#include "TempHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

namespace {
const QByteArray variables[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"};
}

TempHome::TempHome() {
    for (const auto& name : variables)
        m_saved.insert(name, qgetenv(name.constData()));
    const auto root = m_dir.path();
    qputenv("HOME", root.toUtf8());
    for (const auto* folder : {"data", "config", "cache"}) {
        QDir(root).mkpath(QString::fromLatin1(folder));
        qputenv("XDG_" + QByteArray(folder).toUpper() + "_HOME",
                (root + QLatin1Char('/') + QLatin1StringView(folder)).toUtf8());
    }
    // Qt keeps the settings file it found first for the whole process: without this an
    // earlier home's source, folder and transfer settings would reach this one.
    if (QCoreApplication::instance())
        QSettings().clear();
}

TempHome::~TempHome() {
    for (auto it = m_saved.begin(); it != m_saved.end(); ++it) {
        if (it.value().isEmpty())
            qunsetenv(it.key().constData());
        else
            qputenv(it.key().constData(), it.value());
    }
}

QString TempHome::stateFolder() const {
    return m_dir.path() + QStringLiteral("/data/Clipferry");
}
