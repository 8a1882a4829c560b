#include "workflow/CityTable.h"

#include "workflow/ActivityLog.h"

namespace clipferry {

CityTable::CityTable(StoredFile file, ActivityLog& log, QObject* parent)
    : QObject(parent)
    , m_file(std::move(file))
    , m_log(log) {
    load();
}

void CityTable::load() {
    auto loaded = m_file.load<CityMap>(decodeCityMap);
    if (loaded.value) {
        m_map = std::move(*loaded.value);
        m_log.append(QStringLiteral("Loaded city map from file."));
        return;
    }
    if (loaded.failed())
        m_log.append(QStringLiteral("Failed to load city map: ") + loaded.reason +
                     QStringLiteral(". Using defaults."));
    m_map = defaultCityMap();
    if (!m_file.isWritable()) {
        if (loaded.outcome == LoadedFile<CityMap>::Outcome::damaged && !m_file.isReadOnly())
            m_log.append(QStringLiteral("Could not keep the damaged city map aside: ") +
                         loaded.keptAside.error().message);
        return;
    }
    if (loaded.outcome == LoadedFile<CityMap>::Outcome::damaged)
        m_log.append(QStringLiteral("Kept the unreadable city map as CityMap.json.bak."));
    save();
    m_log.append(QStringLiteral("City map initialized with defaults."));
}

void CityTable::setMap(CityMap map) {
    m_map = std::move(map);
    Q_EMIT changed();
}

void CityTable::save() {
    if (!m_file.isWritable())
        return;
    auto written = m_file.save(encodeCityMap(m_map));
    if (written)
        m_log.append(QStringLiteral("Saved city map."));
    else
        m_log.append(QStringLiteral("Failed to save city map: ") + written.error().message);
}

} // namespace clipferry
