#include "model/CityInfo.h"

#include "model/JsonDecode.h"

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
        auto object = json::toObject(it.value(), json::Path(it.key()));
        if (!object)
            return tl::unexpected(object.error());
        // Members are named on their own, as the file's editor knows them.
        const json::Members city(*object);
        CityInfo info;
        CLIPFERRY_TRY_ASSIGN(info.name, city.required(QLatin1StringView("name"), json::toString));
        CLIPFERRY_TRY_ASSIGN(info.color, city.required(QLatin1StringView("color"), json::toString));
        CLIPFERRY_TRY_ASSIGN(
            info.requiredPerAnimation,
            city.required(QLatin1StringView("requiredPerAnimation"), json::toInt64));
        map.insert(it.key(), info);
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
