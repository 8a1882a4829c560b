#include "CityInfo.h"

#include "JsonDecode.h"

#include <QJsonDocument>

namespace clipferry {

const CityMap& defaultCityMap() {
    static const CityMap defaults{
        {QStringLiteral("ATL"), {QStringLiteral("ATLANTA"), QStringLiteral("#C8102E"), 10}},
        {QStringLiteral("NYNJ"), {QStringLiteral("NEW YORK"), QStringLiteral("#003A70"), 10}},
        {QStringLiteral("PHIL"), {QStringLiteral("PHILADELPHIA"), QStringLiteral("#004D9D"), 10}},
        {QStringLiteral("MIAS"), {QStringLiteral("MIAMI"), QStringLiteral("#00A3E0"), 10}},
    };
    return defaults;
}

Result<CityMap> decodeCityMap(const QByteArray& bytes) {
    auto root = json::parseObject(bytes);
    if (!root)
        return tl::unexpected(root.error());
    CityMap map;
    for (auto it = root->begin(); it != root->end(); ++it) {
        auto city = json::toObject(it.value(), it.key());
        if (!city)
            return tl::unexpected(city.error());
        auto name = json::requiredString(*city, QLatin1StringView("name"));
        if (!name)
            return tl::unexpected(name.error());
        auto color = json::requiredString(*city, QLatin1StringView("color"));
        if (!color)
            return tl::unexpected(color.error());
        auto required = json::requiredInt64(*city, QLatin1StringView("requiredPerAnimation"));
        if (!required)
            return tl::unexpected(required.error());
        map.insert(it.key(), CityInfo{*name, *color, *required});
    }
    return map;
}

QByteArray encodeCityMap(const CityMap& map) {
    QJsonObject root;
    for (auto it = map.begin(); it != map.end(); ++it) {
        root.insert(it.key(),
                    QJsonObject{
                        {QStringLiteral("name"), it->name},
                        {QStringLiteral("color"), it->color},
                        {QStringLiteral("requiredPerAnimation"), it->requiredPerAnimation},
                    });
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

} // namespace clipferry
