#include "app/cli/EnvironmentCredentials.h"

namespace clipferry::cli {

std::optional<TokenPair> credentialsFromEnvironment(const QProcessEnvironment& environment) {
    const auto id = environment.value(QLatin1String(tokenIDVariable));
    const auto secret = environment.value(QLatin1String(tokenSecretVariable));
    if (id.isEmpty() || secret.isEmpty())
        return std::nullopt;
    return TokenPair{id, secret};
}

} // namespace clipferry::cli
