#include "TempHome.h"

#include <QDir>

namespace {
const QByteArray variables[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"};
}

TempHome::TempHome() {
    for (const auto& name : variables)
        m_saved.insert(name, qgetenv(name.constData()));
    const auto root = m_dir.path();
    QDir(root).mkpath(QStringLiteral("data"));
    QDir(root).mkpath(QStringLiteral("config"));
    QDir(root).mkpath(QStringLiteral("cache"));
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/cache")).toUtf8());
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
