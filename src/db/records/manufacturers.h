// The manufacturers of the library (tblManufacturers): the key every other library table
// quotes (ManufacturerID, at most eight characters) and the tabs each is listed in. The typed
// record and the one place that holds the statements on the table.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "db/database.h"

namespace tolvane::db {

struct ManufacturerRecord {
    QString id{};            // ManufacturerID
    QString name{};          // ManufacturerName
    bool equipment = false;  // DisplayInEquipment
    bool jackFields = false;
    bool routers = false;
    bool jboxes = false;
    bool cableTypes = false;
    bool operator==(const ManufacturerRecord&) const = default;
};

// The tab whose list a manufacturer appears in, by its display flag.
enum class ShownIn { Equipment, JackFields, Routers, Jboxes, CableTypes, Any };

class ManufacturerTable {
  public:
    explicit ManufacturerTable(Connections& registry) : registry_(registry) {}

    std::optional<ManufacturerRecord> find(const QString& id);
    // By ManufacturerID.
    QList<ManufacturerRecord> all();
    // The manufacturers whose name begins with `find` (letter case aside) and that are shown
    // in the tab, by name.
    QList<ManufacturerRecord> beginningWith(const QString& find, ShownIn tab = ShownIn::Any);
    // The names, sorted; rows without one are left out.
    QStringList names();
    // The first ID (in ID order) of the manufacturer of this name.
    std::optional<QString> idNamed(const QString& name);
    // Whether models, jackfields, routers, rack units or cable types of the library name the
    // manufacturer.
    bool hasLibraryRows(const QString& id);

    void insert(const ManufacturerRecord& r);
    void remove(const QString& id);

  private:
    Connections& registry_;
};

}  // namespace tolvane::db
