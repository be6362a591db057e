#include "db/records/pins.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

const char* tableOf(PinList which) {
    return which == PinList::Inputs ? "tblInputs" : "tblOutputs";
}
const char* keyOf(PinList which) {
    return which == PinList::Inputs ? "InputID" : "OutputID";
}

// A pin; its key is read under the name `key` (a union of both lists names it one way).
PinRecord readPin(const RowReader& r, const char* key) {
    PinRecord p;
    p.id = r.integer(key);
    p.equipmentId = r.integer("EquipmentID");
    p.name = r.text("Name");
    p.type = r.text("Type");
    p.conn = r.text("conn");
    p.pinType = r.text("PinType");
    p.displayOrder = r.optionalInteger("DisplayOrder");
    return p;
}

QList<PinRecord> pins(Query& q, PinList which) {
    return readAll(q, [key = keyOf(which)](const RowReader& r) { return readPin(r, key); });
}

// The statement with the list's table for TABLE and its key for KEY.
QString sql(const char* text, PinList which) {
    return QString::fromLatin1(text)
        .replace(QLatin1String("TABLE"), QLatin1String(tableOf(which)))
        .replace(QLatin1String("KEY"), QLatin1String(keyOf(which)));
}

}  // namespace

QList<PinRecord> PinTable::ofModel(qint64 equipmentId, PinList which) {
    Query q(DbId::Equipment,
            sql("select * from TABLE where EquipmentID = ? order by Name, KEY", which), registry_);
    q.bind(equipmentId);
    return pins(q, which);
}

std::optional<PinRecord> PinTable::find(PinList which, qint64 id) {
    Query q(DbId::Equipment, sql("select * from TABLE where KEY = ?", which), registry_);
    q.bind(id);
    const QList<PinRecord> found = pins(q, which);
    if (found.isEmpty()) return std::nullopt;
    return found.first();
}

std::optional<PinRecord> PinTable::named(PinList which, qint64 equipmentId, const QString& name) {
    Query q(DbId::Equipment,
            sql("select * from TABLE where EquipmentID = ? and Name = ? order by KEY", which),
            registry_);
    q.bind(equipmentId).bind(name);
    const QList<PinRecord> found = pins(q, which);
    if (found.isEmpty()) return std::nullopt;
    return found.first();
}

QList<ModelPin> PinTable::withModels() {
    Query q(DbId::Equipment,
            QStringLiteral(
                "select e.ManufacturerID, e.EquipmentName, 'Input' as PinList, p.Name, p.Type, "
                "p.conn, p.PinType, p.DisplayOrder, p.InputID as PinID, p.EquipmentID from "
                "tblInputs p join tblEquipment e on e.EquipmentID = p.EquipmentID union all "
                "select e.ManufacturerID, e.EquipmentName, 'Output', p.Name, p.Type, p.conn, "
                "p.PinType, p.DisplayOrder, p.OutputID, p.EquipmentID from tblOutputs p join "
                "tblEquipment e on e.EquipmentID = p.EquipmentID order by 1, 2, 3, 4, 9"),
            registry_);
    return readAll(q, [](const RowReader& r) {
        return ModelPin{
            r.text("ManufacturerID"), r.text("EquipmentName"),
            r.text("PinList") == QLatin1String("Input") ? PinList::Inputs : PinList::Outputs,
            readPin(r, "PinID")};
    });
}

void PinTable::insert(PinList which, const QList<PinRecord>& list) {
    const QString row = QLatin1Char('(') + placeholders(6) + QLatin1Char(')');
    for (qsizetype from = 0; from < list.size(); from += kRowsPerStatement) {
        const QList<PinRecord> part = list.mid(from, kRowsPerStatement);
        QStringList rows;
        rows.fill(row, part.size());
        Query q(DbId::Equipment,
                QStringLiteral("insert into %1 (EquipmentID, Name, Type, conn, PinType, "
                               "DisplayOrder) values %2")
                    .arg(QLatin1String(tableOf(which)), rows.join(QStringLiteral(", "))),
                registry_);
        for (const PinRecord& p : part)
            q.bind(p.equipmentId)
                .bind(p.name)
                .bind(p.type)
                .bind(p.conn)
                .bind(p.pinType)
                .bind(boundValue(p.displayOrder));
        q.exec();
    }
}

void PinTable::remove(PinList which, const QList<qint64>& ids) {
    for (qsizetype from = 0; from < ids.size(); from += kRowsPerStatement) {
        const QList<qint64> part = ids.mid(from, kRowsPerStatement);
        Query q(DbId::Equipment,
                sql("delete from TABLE where KEY in (", which) + placeholders(part.size()) +
                    QLatin1Char(')'),
                registry_);
        for (qint64 id : part) q.bind(id);
        q.exec();
    }
}

void PinTable::removeOfModel(PinList which, qint64 equipmentId) {
    Query(DbId::Equipment, sql("delete from TABLE where EquipmentID = ?", which), registry_)
        .bind(equipmentId)
        .exec();
}

// ---- connectors ------------------------------------------------------------------------

QStringList ConnectorTable::names() {
    Query q(DbId::Equipment,
            QStringLiteral("select Connector from tblConnectors order by Connector"), registry_);
    QStringList out;
    for (const QString& name : readAll(q, [](const RowReader& r) { return r.text("Connector"); }))
        out << name;
    return out;
}

bool ConnectorTable::exists(const QString& connector) {
    Query q(DbId::Equipment, QStringLiteral("select 1 from tblConnectors where Connector = ?"),
            registry_);
    return q.bind(connector).scalar().isValid();
}

QList<ItemPrice> ConnectorTable::pricesOf(const QVariantList& connectors) {
    return readItemPrices(registry_,
                          "select Connector as ItemKey, null as Maker, Connector as ItemName, "
                          "connvendor1 as Vendor1, connvendor2 as Vendor2, conncost1 as Cost1, "
                          "conncost2 as Cost2 from tblConnectors where Connector in (%1)",
                          connectors);
}

}  // namespace tolvane::db
