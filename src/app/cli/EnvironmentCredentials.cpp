#include "app/cli/EnvironmentCredentials.h"

#include <QDir>
#include <QFile>

namespace clipferry::cli {
namespace {

QString credential(const QString& folder, const char* name) {
    QFile file(QDir(folder).filePath(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

} // namespace

std::optional<TokenPair> credentialsFromEnvironment(const QProcessEnvironment& environment) {
    // systemd's credentials of a service come before its environment, which other
    // processes of the user may read.
    if (const auto folder = environment.value(QLatin1String(credentialsFolderVariable));
        !folder.isEmpty()) {
        const auto id = credential(folder, "mux_token_id");
        const auto secret = credential(folder, "mux_token_secret");
        if (!id.isEmpty() && !secret.isEmpty())
            return TokenPair{id, secret};
    }
    const auto id = environment.value(QLatin1String(tokenIDVariable));
    const auto secret = environment.value(QLatin1String(tokenSecretVariable));
    if (id.isEmpty() || secret.isEmpty())
        return std::nullopt;
    return TokenPair{id, secret};
}

} // namespace clipferry::cli
