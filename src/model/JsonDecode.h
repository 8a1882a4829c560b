#pragma once

#include "model/Result.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QList>
#include <optional>

class QByteArray;

// Strict readers over Qt JSON for the service's replies and the stored files. A required
// member must be present, non-null and of the stated type; an optional one may be absent
// or null. Unknown members are ignored. A failure names the member by its path
// ("data[3].tracks[0].type"), for the log line of whoever reads.
namespace clipferry::json {

// Codes of the errorDomain::json domain.
enum ErrorCode { syntaxError = 1, missingMember = 2, wrongType = 3 };

[[nodiscard]] Result<QJsonObject> parseObject(const QByteArray& bytes);

// Where a value sits in a document, spelled out only when a failure names it: a listing
// reads tens of thousands of members that never fail. A path refers to its parent, which
// must outlive it, as the caller's frame outlives the callee's.
class Path {
public:
    Path() = default;
    explicit Path(QString root)
        : m_root(std::move(root)) {}
    Path(const Path& parent, QLatin1StringView key)
        : m_parent(&parent)
        , m_key(key) {}
    Path(const Path& parent, qsizetype index)
        : m_parent(&parent)
        , m_index(index) {}

    [[nodiscard]] QString text() const;

private:
    const Path* m_parent = nullptr;
    QString m_root;
    QLatin1StringView m_key;
    qsizetype m_index = -1;
};

// Reads one value; `path` names it in the failure.
[[nodiscard]] Result<QString> toString(const QJsonValue& value, const Path& path);
[[nodiscard]] Result<double> toDouble(const QJsonValue& value, const Path& path);
[[nodiscard]] Result<qint64> toInt64(const QJsonValue& value, const Path& path);
[[nodiscard]] Result<QJsonObject> toObject(const QJsonValue& value, const Path& path);
[[nodiscard]] Result<QJsonArray> toArray(const QJsonValue& value, const Path& path);

[[nodiscard]] tl::unexpected<Error> missing(const Path& path);

// The members of one object found at `path` (the root when none is given).
class Members {
public:
    explicit Members(QJsonObject object, Path path = Path())
        : m_object(std::move(object))
        , m_path(std::move(path)) {}

    [[nodiscard]] Path pathOf(QLatin1StringView key) const { return Path(m_path, key); }

    template <typename Convert>
    [[nodiscard]] auto required(QLatin1StringView key, Convert convert) const
        -> decltype(convert(QJsonValue(), Path())) {
        const auto value = m_object.value(key);
        if (value.isUndefined() || value.isNull())
            return missing(pathOf(key));
        return convert(value, pathOf(key));
    }

    template <typename Convert, typename T = typename decltype(std::declval<Convert>()(
                                    QJsonValue(), Path()))::value_type>
    [[nodiscard]] Result<std::optional<T>> optional(QLatin1StringView key, Convert convert) const {
        const auto value = m_object.value(key);
        if (value.isUndefined() || value.isNull())
            return std::optional<T>{};
        auto converted = convert(value, pathOf(key));
        if (!converted)
            return tl::unexpected(converted.error());
        return std::optional<T>{std::move(*converted)};
    }

    // For members that only add detail: no failure whatever they hold.
    [[nodiscard]] QJsonValue lenient(QLatin1StringView key) const { return m_object.value(key); }

private:
    QJsonObject m_object;
    Path m_path;
};

// Decodes every element of an array, an object each, with `element(Members)`.
template <typename T, typename Element>
[[nodiscard]] Result<QList<T>> decodeList(const QJsonArray& array, const Path& path,
                                          Element element) {
    QList<T> list;
    list.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const Path elementPath(path, i);
        auto object = toObject(array.at(i), elementPath);
        if (!object)
            return tl::unexpected(object.error());
        auto decoded = element(Members(*object, elementPath));
        if (!decoded)
            return tl::unexpected(decoded.error());
        list.append(std::move(*decoded));
    }
    return list;
}

template <typename T, typename Element>
[[nodiscard]] Result<std::optional<QList<T>>> optionalList(const Members& members,
                                                           QLatin1StringView key, Element element) {
    auto array = members.optional(key, toArray);
    if (!array)
        return tl::unexpected(array.error());
    if (!*array)
        return std::optional<QList<T>>{};
    const Path path = members.pathOf(key);
    auto list = decodeList<T>(**array, path, element);
    if (!list)
        return tl::unexpected(list.error());
    return std::optional<QList<T>>{std::move(*list)};
}

} // namespace clipferry::json

// Assigns the value of `result` to `target`, or returns its error from the caller.
#define CLIPFERRY_TRY_ASSIGN(target, result)                                                       \
    do {                                                                                           \
        auto try_value_ = (result);                                                                \
        if (!try_value_)                                                                           \
            return tl::unexpected(try_value_.error());                                             \
        (target) = std::move(*try_value_);                                                         \
    } while (false)
