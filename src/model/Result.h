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

[[nodiscard]] inline tl::unexpected<Error> fail(QString domain, int code, QString message) {
    return tl::unexpected<Error>(Error{std::move(domain), code, std::move(message)});
}

} // namespace clipferry
