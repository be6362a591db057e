#include "db/records/systems.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

SystemRecord readSystem(const RowReader& r) {
    SystemRecord s;
    s.id = r.integer("SysID");
    s.name = r.text("SysName");
    s.number = int(r.integer("SysNum"));
    s.location = r.text("Location");
    s.elevation = r.text("Elevation");
    s.alias = r.text("Alias");
    s.manufacturer = r.text("Manufacturer");
    s.equipmentName = r.text("equipmentname");
    s.equipId = r.integer("EquipID");
    return s;
}

QList<SystemRecord> systems(Query& q) {
    return readAll(q, readSystem);
}

// Binds the fields in the order the statements below name them.
Query& bindFields(Query& q, const SystemRecord& r) {
    return q.bind(r.name)
        .bind(r.number)
        .bind(r.location)
        .bind(r.elevation)
        .bind(r.equipId)
        .bind(r.alias)
        .bind(r.manufacturer)
        .bind(r.equipmentName);
}

}  // namespace

std::optional<SystemRecord> SystemTable::find(qint64 sysId) {
    Query q(DbId::Project, QStringLiteral("select * from tblSystems where SysID = ?"), registry_);
    q.bind(sysId);
    const QList<SystemRecord> found = systems(q);
    if (found.isEmpty()) return std::nullopt;
    return found.first();
}

QList<SystemRecord> SystemTable::all() {
    Query q(DbId::Project, QStringLiteral("select * from tblSystems order by SysID"), registry_);
    return systems(q);
}

bool SystemTable::isEmpty() {
    Query q(DbId::Project, QStringLiteral("select 1 from tblSystems limit 1"), registry_);
    q.exec();
    return !q.next();
}

QList<SystemRecord> SystemTable::named(const QString& name) {
    Query q(DbId::Project,
            QStringLiteral("select * from tblSystems where lower(SysName) = lower(?) order by "
                           "SysNum, SysID"),
            registry_);
    q.bind(name);
    return systems(q);
}

QStringList SystemTable::names() {
    Query q(DbId::Project,
            QStringLiteral("select distinct SysName from tblSystems where SysName is not null "
                           "order by SysName"),
            registry_);
    q.exec();
    RowReader r(q);
    QStringList out;
    while (q.next()) out << r.text("SysName");
    return out;
}

qint64 SystemTable::insert(const SystemRecord& r) {
    Query q(DbId::Project,
            QStringLiteral("insert into tblSystems (SysName, SysNum, Location, Elevation, EquipID, "
                           "Alias, Manufacturer, equipmentname) values (?, ?, ?, ?, ?, ?, ?, ?)"),
            registry_);
    bindFields(q, r).exec();
    Query key(DbId::Project,
              QStringLiteral("select max(SysID) from tblSystems where SysName = ? and SysNum = ?"),
              registry_);
    return key.bind(r.name).bind(r.number).scalar().toLongLong();
}

void SystemTable::update(const SystemRecord& r) {
    Query q(DbId::Project,
            QStringLiteral("update tblSystems set SysName = ?, SysNum = ?, Location = ?, "
                           "Elevation = ?, EquipID = ?, Alias = ?, Manufacturer = ?, "
                           "equipmentname = ? where SysID = ?"),
            registry_);
    bindFields(q, r).bind(r.id).exec();
}

void SystemTable::remove(const QList<qint64>& sysIds) {
    for (qsizetype from = 0; from < sysIds.size(); from += kRowsPerStatement) {
        const QList<qint64> part = sysIds.mid(from, kRowsPerStatement);
        Query q(DbId::Project,
                QStringLiteral("delete from tblSystems where SysID in (%1)")
                    .arg(placeholders(part.size())),
                registry_);
        for (qint64 id : part) q.bind(id);
        q.exec();
    }
}

QList<ItemCount> SystemTable::countsByModel() {
    // A model missing from the library is named as its units were named when assigned.
    Query q(DbId::Project,
            QStringLiteral("select EquipID, max(Manufacturer) as maker, max(equipmentname) as "
                           "model, count(SysNum) as units from tblSystems where EquipID is not "
                           "null group by EquipID order by EquipID"),
            registry_);
    q.exec();
    RowReader r(q);
    QList<ItemCount> out;
    while (q.next())
        out << ItemCount{r.value("EquipID"), r.text("maker"), r.text("model"),
                         r.value("units").toDouble()};
    return out;
}

}  // namespace tolvane::db
