// The project's systems (tblSystems): one row per named unit of placed equipment, a name and a
// number within it ("VTR" 1 shows as "VTR-01"). The typed record and the one place that holds
// the statements on the table.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/database.h"
#include "db/records/item_count.h"

namespace tolvane::db {

struct SystemRecord {
    qint64 id = 0;   // SysID
    QString name;    // SysName
    int number = 0;  // SysNum
    QString location;
    QString elevation;
    QString alias;
    QString manufacturer;  // the manufacturer's name
    QString equipmentName;
    qint64 equipId = 0;  // EquipID: the model in the equipment library
    bool operator==(const SystemRecord&) const = default;
};

class SystemTable {
  public:
    explicit SystemTable(Connections& registry) : registry_(registry) {}

    std::optional<SystemRecord> find(qint64 sysId);
    QList<SystemRecord> all();
    bool isEmpty();
    // The rows of a name (compared without regard to case), by number.
    QList<SystemRecord> named(const QString& name);
    // The names in use, distinct and sorted.
    QStringList names();

    // Adds the row; returns its SysID.
    qint64 insert(const SystemRecord& r);
    // Rewrites the row `r.id` with the fields of `r`.
    void update(const SystemRecord& r);
    void remove(const QList<qint64>& sysIds);

    // The units per equipment model (key: EquipID; the maker and model as the units name them).
    QList<ItemCount> countsByModel();

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
