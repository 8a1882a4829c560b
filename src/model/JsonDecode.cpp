#include "model/JsonDecode.h"

#include <QCborValue>
#include <QJsonDocument>
#include <QJsonParseError>
#include <cmath>

namespace clipferry::json {
namespace {

tl::unexpected<Error> mistyped(const Path& path, const char* expected) {
    return fail(
        errorDomain::json, wrongType,
        QStringLiteral("The member \"%1\" is not %2.").arg(path.text(), QLatin1String(expected)));
}

} // namespace

QString Path::text() const {
    if (!m_parent)
        return m_root;
    const QString parent = m_parent->text();
    if (m_index >= 0)
        return parent + QLatin1Char('[') + QString::number(m_index) + QLatin1Char(']');
    return parent.isEmpty() ? QString(m_key) : parent + QLatin1Char('.') + m_key;
}

tl::unexpected<Error> missing(const Path& path) {
    return fail(errorDomain::json, missingMember,
                QStringLiteral("The member \"%1\" is missing.").arg(path.text()));
}

Result<QJsonObject> parseObject(const QByteArray& bytes) {
    QJsonParseError parseError;
    const auto document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(errorDomain::json, syntaxError,
                    QStringLiteral("The data is not valid JSON (%1 at offset %2).")
                        .arg(parseError.errorString())
                        .arg(parseError.offset));
    if (!document.isObject())
        return fail(errorDomain::json, wrongType, QStringLiteral("The data is not a JSON object."));
    return document.object();
}

Result<QString> toString(const QJsonValue& value, const Path& path) {
    if (!value.isString())
        return mistyped(path, "a string");
    return value.toString();
}

Result<double> toDouble(const QJsonValue& value, const Path& path) {
    if (!value.isDouble())
        return mistyped(path, "a number");
    return value.toDouble();
}

Result<qint64> toInt64(const QJsonValue& value, const Path& path) {
    if (!value.isDouble())
        return mistyped(path, "an integer");
    // Qt keeps integer literals exact; only look at the double for literals like 10.0.
    const auto cbor = QCborValue::fromJsonValue(value);
    if (cbor.isInteger())
        return cbor.toInteger();
    const double number = value.toDouble();
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!std::isfinite(number) || std::trunc(number) != number || number < -limit ||
        number >= limit)
        return mistyped(path, "an integer");
    return static_cast<qint64>(number);
}

Result<QJsonObject> toObject(const QJsonValue& value, const Path& path) {
    if (!value.isObject())
        return mistyped(path, "an object");
    return value.toObject();
}

Result<QJsonArray> toArray(const QJsonValue& value, const Path& path) {
    if (!value.isArray())
        return mistyped(path, "an array");
    return value.toArray();
}

} // namespace clipferry::json
