#pragma once

#include <QString>
#include <tl/expected.hpp>

namespace clipferry {

// The failure value every fallible operation returns. `message` is the localized
// description that log lines show after their fixed text.
struct Error {
    QString domain;
    int code = 0;
    QString message;
};

template <typename T>
using Result = tl::expected<T, Error>;

// The domains of `Error`. A domain's codes are its own: File errors carry QFileDevice's
// codes or those of a folder listing below, Keychain errors QKeychain's, Network errors
// QNetworkReply's; the client's own failures have the empty domain (ServiceError.h).
namespace errorDomain {
inline const QString file = QStringLiteral("File");
inline const QString json = QStringLiteral("JSON");
inline const QString keychain = QStringLiteral("Keychain");
inline const QString network = QStringLiteral("Network");
inline const QString sheet = QStringLiteral("GoogleSheet");
} // namespace errorDomain

// Codes of a folder listing that failed, as the platform's file manager numbers them.
enum FolderErrorCode { folderMissingCode = 4, notAFolderCode = 256, folderNotReadableCode = 257 };
// Codes of a sheet export that failed before or at the web app.
enum SheetErrorCode {
    sheetRefusedCode = 1,
    libraryNotListedCode = 2,
    noSheetAddressCode = 3,
    sheetUnconfirmedCode = 4, // answered, but not with the web app's own confirmation
    badSheetAddressCode = 5   // an address that is not a plain https one
};
// A secret store that did not answer in time (QKeychain's own codes are 0 and up).
inline constexpr int keychainTimeoutCode = -1;

[[nodiscard]] inline tl::unexpected<Error> fail(QString domain, int code, QString message) {
    return tl::unexpected<Error>(Error{std::move(domain), code, std::move(message)});
}

} // namespace clipferry
