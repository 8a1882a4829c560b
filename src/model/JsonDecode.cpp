#include "JsonDecode.h"

#include <QCborValue>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>

namespace clipferry::json {
namespace {

tl::unexpected<Error> missing(const QString& what) {
    return fail(QString::fromLatin1(errorDomain), missingMember,
                QStringLiteral("The member \"%1\" is missing.").arg(what));
}

tl::unexpected<Error> mistyped(const QString& what, const char* expected) {
    return fail(QString::fromLatin1(errorDomain), wrongType,
                QStringLiteral("The member \"%1\" is not %2.").arg(what, QLatin1String(expected)));
}

template <typename T, typename Convert>
Result<T> required(const QJsonObject& object, QLatin1StringView key, Convert convert) {
    const auto value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return missing(key);
    return convert(value, QString(key));
}

template <typename T, typename Convert>
Result<std::optional<T>> optional(const QJsonObject& object, QLatin1StringView key,
                                  Convert convert) {
    const auto value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::optional<T>{};
    auto converted = convert(value, QString(key));
    if (!converted)
        return tl::unexpected(converted.error());
    return std::optional<T>{std::move(*converted)};
}

} // namespace

Result<QJsonObject> parseObject(const QByteArray& bytes) {
    QJsonParseError parseError;
    const auto document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QString::fromLatin1(errorDomain), syntaxError,
                    QStringLiteral("The data is not valid JSON (%1 at offset %2).")
                        .arg(parseError.errorString())
                        .arg(parseError.offset));
    if (!document.isObject())
        return fail(QString::fromLatin1(errorDomain), wrongType,
                    QStringLiteral("The data is not a JSON object."));
    return document.object();
}

Result<QString> toString(const QJsonValue& value, const QString& what) {
    if (!value.isString())
        return mistyped(what, "a string");
    return value.toString();
}

Result<double> toDouble(const QJsonValue& value, const QString& what) {
    if (!value.isDouble())
        return mistyped(what, "a number");
    return value.toDouble();
}

Result<qint64> toInt64(const QJsonValue& value, const QString& what) {
    if (!value.isDouble())
        return mistyped(what, "an integer");
    // Qt keeps integer literals exact; only look at the double for literals like 10.0.
    const auto cbor = QCborValue::fromJsonValue(value);
    if (cbor.isInteger())
        return cbor.toInteger();
    const double number = value.toDouble();
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!std::isfinite(number) || std::trunc(number) != number || number < -limit ||
        number >= limit)
        return mistyped(what, "an integer");
    return static_cast<qint64>(number);
}

Result<QJsonObject> toObject(const QJsonValue& value, const QString& what) {
    if (!value.isObject())
        return mistyped(what, "an object");
    return value.toObject();
}

namespace {
Result<QJsonArray> toArray(const QJsonValue& value, const QString& what) {
    if (!value.isArray())
        return mistyped(what, "an array");
    return value.toArray();
}
} // namespace

Result<QString> requiredString(const QJsonObject& object, QLatin1StringView key) {
    return required<QString>(object, key, toString);
}
Result<std::optional<QString>> optionalString(const QJsonObject& object, QLatin1StringView key) {
    return optional<QString>(object, key, toString);
}
Result<double> requiredDouble(const QJsonObject& object, QLatin1StringView key) {
    return required<double>(object, key, toDouble);
}
Result<std::optional<double>> optionalDouble(const QJsonObject& object, QLatin1StringView key) {
    return optional<double>(object, key, toDouble);
}
Result<qint64> requiredInt64(const QJsonObject& object, QLatin1StringView key) {
    return required<qint64>(object, key, toInt64);
}
Result<std::optional<qint64>> optionalInt64(const QJsonObject& object, QLatin1StringView key) {
    return optional<qint64>(object, key, toInt64);
}
Result<QJsonObject> requiredObject(const QJsonObject& object, QLatin1StringView key) {
    return required<QJsonObject>(object, key, toObject);
}
Result<std::optional<QJsonObject>> optionalObject(const QJsonObject& object,
                                                  QLatin1StringView key) {
    return optional<QJsonObject>(object, key, toObject);
}
Result<QJsonArray> requiredArray(const QJsonObject& object, QLatin1StringView key) {
    return required<QJsonArray>(object, key, toArray);
}
Result<std::optional<QJsonArray>> optionalArray(const QJsonObject& object, QLatin1StringView key) {
    return optional<QJsonArray>(object, key, toArray);
}

} // namespace clipferry::json
