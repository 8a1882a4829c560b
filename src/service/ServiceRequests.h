#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

// Building blocks of the requests to the service's API, shared by the client and the
// asset listing.
namespace clipferry::service {

inline constexpr auto uploadsPath = "/video/v1/uploads";
inline constexpr auto assetsPath = "/video/v1/assets";
inline constexpr auto firstAssetPagePath = "/video/v1/assets?limit=100";

// "Basic " + the standard Base64 (with padding) of the UTF-8 bytes of id ":" secret.
[[nodiscard]] QByteArray basicCredential(const QString& tokenID, const QString& tokenSecret);

// A request to `location` carrying the credential, and the JSON body type when asked.
[[nodiscard]] QNetworkRequest authorizedRequest(const QUrl& location, const QByteArray& credential,
                                                bool withJsonBody);

// Whether `id` can be appended to a path unescaped and still name exactly one resource.
[[nodiscard]] bool isPathSafeID(const QString& id);

} // namespace clipferry::service
