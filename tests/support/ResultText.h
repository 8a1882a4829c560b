#pragma once

#include <QByteArray>

// The error message of a failed Result for a QVERIFY2 text, empty on success (an
// expected's error() must not be read when it holds a value).
template <typename R>
[[nodiscard]] QByteArray errorText(const R& result) {
    return result ? QByteArray() : result.error().message.toUtf8();
}
