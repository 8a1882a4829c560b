#pragma once

#include "model/Result.h"

#include <QByteArray>
#include <optional>

namespace clipferry {

// Codes of the client's own failures. An HTTP status refused by `checkHTTPStatus` is
// its own code (100 and up), so these never collide with one.
enum ServiceErrorCode {
    uploadFailedCode = 1,
    assetIdTimeoutCode = 2,
    readyTimeoutCode = 3,
    uploadDeadCode = 4,
    assetErroredCode = 5,
    invalidLocationCode = 6,
    pagingLoopCode = 7,
    tooManyPagesCode = 8,
    uploadExpiredCode = 9,
    foreignPageCode = 10,
};

// The client's own failure value: empty domain, a code and the message callers log.
[[nodiscard]] inline tl::unexpected<Error> serviceError(int code, QString message) {
    return fail(QString(), code, std::move(message));
}

// A transport failure that says the service cannot be reached now (no connection, a
// connection lost, a time-out), as opposed to one no later attempt mends: a certificate
// not trusted, a proxy that wants credentials, a host that breaks HTTP or the reply limits.
[[nodiscard]] bool isNetworkOutage(const Error& error);

// The shared status test. `status` is absent for a reply that is not an HTTP reply,
// which passes; a status outside 200–299 fails with "HTTP <status>: <body as UTF-8>",
// where a body that is not valid UTF-8 reads as the empty text.
[[nodiscard]] Result<void> checkHTTPStatus(std::optional<int> status, const QByteArray& body);

} // namespace clipferry
