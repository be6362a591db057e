#include "db/records/manufacturers.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

const char* flagColumn(ShownIn tab) {
    switch (tab) {
        case ShownIn::Equipment:
            return "DisplayInEquipment";
        case ShownIn::JackFields:
            return "DisplayInJackFields";
        case ShownIn::Routers:
            return "DisplayInRouters";
        case ShownIn::Jboxes:
            return "DisplayInJboxes";
        case ShownIn::CableTypes:
            return "DisplayInCableTypes";
        case ShownIn::Any:
            break;
    }
    return nullptr;
}

ManufacturerRecord readManufacturer(const RowReader& r) {
    ManufacturerRecord m;
    m.id = r.text("ManufacturerID");
    m.name = r.text("ManufacturerName");
    m.equipment = r.flag("DisplayInEquipment");
    m.jackFields = r.flag("DisplayInJackFields");
    m.routers = r.flag("DisplayInRouters");
    m.jboxes = r.flag("DisplayInJboxes");
    m.cableTypes = r.flag("DisplayInCableTypes");
    return m;
}

QList<ManufacturerRecord> manufacturers(Query& q) {
    return readAll(q, readManufacturer);
}

}  // namespace

std::optional<ManufacturerRecord> ManufacturerTable::find(const QString& id) {
    Query q(DbId::Equipment,
            QStringLiteral("select * from tblManufacturers where ManufacturerID = ?"), registry_);
    q.bind(id);
    const QList<ManufacturerRecord> found = manufacturers(q);
    if (found.isEmpty()) return std::nullopt;
    return found.first();
}

QList<ManufacturerRecord> ManufacturerTable::all() {
    Query q(DbId::Equipment,
            QStringLiteral("select * from tblManufacturers order by ManufacturerID"), registry_);
    return manufacturers(q);
}

QList<ManufacturerRecord> ManufacturerTable::beginningWith(const QString& find, ShownIn tab) {
    QString sql = QStringLiteral("select * from tblManufacturers where %1")
                      .arg(beginsWithSql(registry_.engine(DbId::Equipment),
                                         QStringLiteral("ManufacturerName")));
    if (const char* flag = flagColumn(tab))
        sql += QStringLiteral(" and %1 = TRUE").arg(QLatin1String(flag));
    sql += QStringLiteral(" order by ManufacturerName, ManufacturerID");
    Query q(DbId::Equipment, sql, registry_);
    q.bind(beginsWithValue(find));
    return manufacturers(q);
}

QStringList ManufacturerTable::names() {
    Query q(DbId::Equipment,
            QStringLiteral("select ManufacturerName from tblManufacturers where ManufacturerName "
                           "is not null order by ManufacturerName"),
            registry_);
    QStringList out;
    for (const QString& name :
         readAll(q, [](const RowReader& r) { return r.text("ManufacturerName"); }))
        out << name;
    return out;
}

std::optional<QString> ManufacturerTable::idNamed(const QString& name) {
    Query q(DbId::Equipment,
            QStringLiteral("select ManufacturerID from tblManufacturers where ManufacturerName = ? "
                           "order by ManufacturerID"),
            registry_);
    const QVariant id = q.bind(name).scalar();
    if (!id.isValid() || id.isNull()) return std::nullopt;
    return id.toString();
}

bool ManufacturerTable::hasLibraryRows(const QString& id) {
    for (const char* table :
         {"tblEquipment", "tblJackFields", "tblRTR", "tblRackUnits", "tblCableTypes"}) {
        Query used(DbId::Equipment,
                   QStringLiteral("select 1 from %1 where ManufacturerID = ? limit 1")
                       .arg(QLatin1String(table)),
                   registry_);
        if (used.bind(id).scalar().isValid()) return true;
    }
    return false;
}

void ManufacturerTable::insert(const ManufacturerRecord& r) {
    Query(DbId::Equipment,
          QStringLiteral("insert into tblManufacturers (ManufacturerID, ManufacturerName, "
                         "DisplayInEquipment, DisplayInJackFields, DisplayInRouters, "
                         "DisplayInJboxes, DisplayInCableTypes) values (?, ?, ?, ?, ?, ?, ?)"),
          registry_)
        .bind(r.id)
        .bind(r.name)
        .bind(r.equipment)
        .bind(r.jackFields)
        .bind(r.routers)
        .bind(r.jboxes)
        .bind(r.cableTypes)
        .exec();
}

void ManufacturerTable::remove(const QString& id) {
    Query(DbId::Equipment, QStringLiteral("delete from tblManufacturers where ManufacturerID = ?"),
          registry_)
        .bind(id)
        .exec();
}

}  // namespace tolvane::db
