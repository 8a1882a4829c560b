#pragma once

#include "model/Result.h"

#include <QByteArray>
#include <QMap>
#include <QString>

namespace clipferry {

struct CityInfo {
    QString name;
    QString color;
    qint64 requiredPerAnimation = 0;

    friend bool operator==(const CityInfo&, const CityInfo&) = default;
};

// City code -> row of the city table. The table has no order of its own; QMap just
// makes iteration (and so the written file) deterministic.
using CityMap = QMap<QString, CityInfo>;

[[nodiscard]] const CityMap& defaultCityMap();

// The whole table fails to decode when any one city lacks a member or has it mistyped.
[[nodiscard]] Result<CityMap> decodeCityMap(const QByteArray& bytes);
[[nodiscard]] QByteArray encodeCityMap(const CityMap& map);

} // namespace clipferry
