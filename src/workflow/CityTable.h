#pragma once

#include "model/CityInfo.h"
#include "model/StoredFile.h"

#include <QObject>

namespace clipferry {

class ActivityLog;

// The table of city codes the library groups by, kept in "CityMap.json" in the state
// folder. A table that cannot be read is replaced by the defaults only once a copy of it
// is kept: a hand-edited table must not be lost to one typo.
class CityTable : public QObject {
    Q_OBJECT

public:
    // Reads the table from `file`; a missing one is made from the defaults.
    CityTable(StoredFile file, ActivityLog& log, QObject* parent = nullptr);

    [[nodiscard]] const CityMap& map() const { return m_map; }
    // Takes the table in memory; `save` keeps it.
    void setMap(CityMap map);
    void save();

Q_SIGNALS:
    void changed();

private:
    void load();

    StoredFile m_file;
    ActivityLog& m_log;
    CityMap m_map;
};

} // namespace clipferry
