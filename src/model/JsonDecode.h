#pragma once

#include "Result.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLatin1StringView>
#include <optional>

class QByteArray;

// Strict readers over Qt JSON. A required member must be present, non-null and of
// the stated type; an optional one may be absent or null. Unknown members are ignored.
// Failures carry a message naming the member, for the log line of whoever reads.
namespace clipferry::json {

inline constexpr auto errorDomain = "JSON";
enum ErrorCode { syntaxError = 1, missingMember = 2, wrongType = 3 };

[[nodiscard]] Result<QJsonObject> parseObject(const QByteArray& bytes);

[[nodiscard]] Result<QString> requiredString(const QJsonObject& object, QLatin1StringView key);
[[nodiscard]] Result<std::optional<QString>> optionalString(const QJsonObject& object,
                                                            QLatin1StringView key);
[[nodiscard]] Result<double> requiredDouble(const QJsonObject& object, QLatin1StringView key);
[[nodiscard]] Result<std::optional<double>> optionalDouble(const QJsonObject& object,
                                                           QLatin1StringView key);
[[nodiscard]] Result<qint64> requiredInt64(const QJsonObject& object, QLatin1StringView key);
[[nodiscard]] Result<std::optional<qint64>> optionalInt64(const QJsonObject& object,
                                                          QLatin1StringView key);
[[nodiscard]] Result<QJsonObject> requiredObject(const QJsonObject& object, QLatin1StringView key);
[[nodiscard]] Result<std::optional<QJsonObject>> optionalObject(const QJsonObject& object,
                                                                QLatin1StringView key);
[[nodiscard]] Result<QJsonArray> requiredArray(const QJsonObject& object, QLatin1StringView key);
[[nodiscard]] Result<std::optional<QJsonArray>> optionalArray(const QJsonObject& object,
                                                              QLatin1StringView key);

// Reads a JSON value (an array element or a map value) as a number or an object.
[[nodiscard]] Result<double> toDouble(const QJsonValue& value, const QString& what);
[[nodiscard]] Result<qint64> toInt64(const QJsonValue& value, const QString& what);
[[nodiscard]] Result<QJsonObject> toObject(const QJsonValue& value, const QString& what);
[[nodiscard]] Result<QString> toString(const QJsonValue& value, const QString& what);

} // namespace clipferry::json
