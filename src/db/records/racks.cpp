#include "db/records/racks.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

RackRecord readRack(const RowReader& r) {
    RackRecord rack;
    rack.id = r.integer("RackUnitID");
    rack.name = r.text("RackUnitName");
    rack.height = int(r.integer("RackUnits"));
    rack.powerLimit = r.real("PowerLimit");
    rack.weightLimit = r.real("WeightLimit");
    rack.description = r.text("RackUnitDescription");
    return rack;
}

// Binds the fields in the order the statements below name them.
Query& bindFields(Query& q, const RackRecord& r) {
    return q.bind(r.name.trimmed())
        .bind(r.height)
        .bind(boundValue(r.powerLimit))
        .bind(boundValue(r.weightLimit))
        .bind(r.description);
}

}  // namespace

QList<RackRecord> RackTable::all() {
    Query q(DbId::Project,
            QStringLiteral("select * from tblRackUnits order by RackUnitName, RackUnitID"),
            registry_);
    return readAll(q, readRack);
}

std::optional<RackRecord> RackTable::find(qint64 id) {
    Query q(DbId::Project, QStringLiteral("select * from tblRackUnits where RackUnitID = ?"),
            registry_);
    q.bind(id);
    return readFirst(q, readRack);
}

std::optional<RackRecord> RackTable::named(const QString& name) {
    Query q(DbId::Project,
            QStringLiteral("select * from tblRackUnits where lower(RackUnitName) = lower(?)"),
            registry_);
    q.bind(name.trimmed());
    return readFirst(q, readRack);
}

qint64 RackTable::insert(const RackRecord& r) {
    Query q(DbId::Project,
            QStringLiteral("insert into tblRackUnits (RackUnitName, RackUnits, PowerLimit, "
                           "WeightLimit, RackUnitDescription) values (?, ?, ?, ?, ?)"),
            registry_);
    bindFields(q, r).exec();
    Query key(DbId::Project,
              QStringLiteral("select RackUnitID from tblRackUnits where RackUnitName = ?"),
              registry_);
    return key.bind(r.name.trimmed()).scalar().toLongLong();
}

void RackTable::update(const RackRecord& r) {
    Query q(DbId::Project,
            QStringLiteral("update tblRackUnits set RackUnitName = ?, RackUnits = ?, PowerLimit = "
                           "?, WeightLimit = ?, RackUnitDescription = ? where RackUnitID = ?"),
            registry_);
    bindFields(q, r).bind(r.id).exec();
}

void RackTable::remove(qint64 id) {
    Query q(DbId::Project, QStringLiteral("delete from tblRackUnits where RackUnitID = ?"),
            registry_);
    q.bind(id).exec();
}

void RackBudgetTable::replace(const QList<RackBudgetRow>& rows) {
    Query(DbId::Project, QStringLiteral("delete from tblRackBudgets"), registry_).exec();
    Query q(DbId::Project,
            QStringLiteral("insert into tblRackBudgets (RackUnitName, RackUnits, RUUsed, RUFree, "
                           "Systems, Watts, PowerLimit, BTU, Weight, WeightLimit, OverLimits, "
                           "BudgetDate) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            registry_);
    for (const RackBudgetRow& r : rows)
        q.bind(r.rack)
            .bind(r.height)
            .bind(r.used)
            .bind(r.free)
            .bind(r.systems)
            .bind(r.watts)
            .bind(boundValue(r.powerLimit))
            .bind(r.btu)
            .bind(r.weight)
            .bind(boundValue(r.weightLimit))
            .bind(r.overLimits)
            .bind(r.worked)
            .exec();
}

QList<RackBudgetRow> RackBudgetTable::all() {
    Query q(DbId::Project, QStringLiteral("select * from tblRackBudgets order by RackUnitName"),
            registry_);
    return readAll(q, [](const RowReader& r) {
        RackBudgetRow b;
        b.rack = r.text("RackUnitName");
        b.height = int(r.integer("RackUnits"));
        b.used = int(r.integer("RUUsed"));
        b.free = int(r.integer("RUFree"));
        b.systems = int(r.integer("Systems"));
        b.watts = r.real("Watts").value_or(0);
        b.powerLimit = r.real("PowerLimit");
        b.btu = r.real("BTU").value_or(0);
        b.weight = r.real("Weight").value_or(0);
        b.weightLimit = r.real("WeightLimit");
        b.overLimits = r.text("OverLimits");
        b.worked = r.dateTime("BudgetDate");
        return b;
    });
}

}  // namespace tolvane::db
