#include "db/records/equipment_models.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

const QString kSelect = QStringLiteral(
    "select e.*, m.ManufacturerName from tblEquipment e left join tblManufacturers m on "
    "m.ManufacturerID = e.ManufacturerID");

EquipmentModelRecord readModel(const RowReader& r) {
    EquipmentModelRecord e;
    e.id = r.integer("EquipmentID");
    e.manufacturerId = r.text("ManufacturerID");
    e.manufacturerName = r.text("ManufacturerName");
    e.name = r.text("EquipmentName");
    e.description = r.text("EquipmentDescription");
    e.type = r.text("EquipmentType");
    e.displayAsDa = r.flag("DisplayASDA");
    return e;
}

}  // namespace

std::optional<PhysicalRecord> readPhysical(Connections& registry, const char* table,
                                           const char* key, qint64 id) {
    Query q(DbId::Equipment,
            QStringLiteral("select EquipmentH, EquipmentW, EquipmentD, EquipmentWeight, "
                           "EquipmentV, EquipmentP, EquipmentHValue, equipmentVValue from %1 "
                           "where %2 = ?")
                .arg(QLatin1String(table), QLatin1String(key)),
            registry);
    q.bind(id);
    const QList<PhysicalRecord> found = readAll(q, [](const RowReader& r) {
        return PhysicalRecord{r.real("EquipmentH"),      r.real("EquipmentW"),
                              r.real("EquipmentD"),      r.real("EquipmentWeight"),
                              r.real("EquipmentV"),      r.real("EquipmentP"),
                              r.text("EquipmentHValue"), r.text("equipmentVValue")};
    });
    if (found.isEmpty()) return std::nullopt;
    return found.first();
}

bool writePhysical(Connections& registry, const char* table, const char* key, qint64 id,
                   const PhysicalRecord& r) {
    Query q(DbId::Equipment,
            QStringLiteral("update %1 set EquipmentH = ?, EquipmentW = ?, EquipmentD = ?, "
                           "EquipmentWeight = ?, EquipmentV = ?, EquipmentP = ?, "
                           "EquipmentHValue = ?, equipmentVValue = ? where %2 = ?")
                .arg(QLatin1String(table), QLatin1String(key)),
            registry);
    for (const std::optional<double>* n : {&r.height, &r.width, &r.depth, &r.weight, &r.v, &r.p})
        q.bind(boundValue(*n));
    q.bind(r.heightUnit).bind(r.vUnit).bind(id).exec();
    return q.rowsAffected() > 0;
}

std::optional<EquipmentModelRecord> EquipmentModelTable::find(qint64 id) {
    Query q(DbId::Equipment, kSelect + QStringLiteral(" where e.EquipmentID = ?"), registry_);
    q.bind(id);
    return readFirst(q, readModel);
}

QList<EquipmentModelRecord> EquipmentModelTable::beginningWith(const QString& manufacturerId,
                                                               const QString& find) {
    Query q(DbId::Equipment,
            kSelect + QStringLiteral(" where e.ManufacturerID = ? and %1 order by e.EquipmentName, "
                                     "e.EquipmentID")
                          .arg(beginsWithSql(registry_.engine(DbId::Equipment),
                                             QStringLiteral("e.EquipmentName"))),
            registry_);
    q.bind(manufacturerId).bind(beginsWithValue(find));
    return readAll(q, readModel);
}

std::optional<qint64> EquipmentModelTable::idOf(const QString& manufacturerId,
                                                const QString& name) {
    Query q(DbId::Equipment,
            QStringLiteral("select EquipmentID from tblEquipment where EquipmentName = ? and "
                           "ManufacturerID = ? order by EquipmentID"),
            registry_);
    const QVariant id = q.bind(name).bind(manufacturerId).scalar();
    if (!id.isValid() || id.isNull()) return std::nullopt;
    return id.toLongLong();
}

QStringList EquipmentModelTable::names(const QString& manufacturerId) {
    Query q(DbId::Equipment,
            QStringLiteral("select EquipmentName from tblEquipment where ManufacturerID = ? and "
                           "EquipmentName is not null order by EquipmentName"),
            registry_);
    q.bind(manufacturerId);
    QStringList out;
    for (const QString& name :
         readAll(q, [](const RowReader& r) { return r.text("EquipmentName"); }))
        out << name;
    return out;
}

QList<qint64> EquipmentModelTable::ids() {
    Query q(DbId::Equipment, QStringLiteral("select EquipmentID from tblEquipment"), registry_);
    return readAll(q, [](const RowReader& r) { return r.integer("EquipmentID"); });
}

qint64 EquipmentModelTable::insert(const EquipmentModelRecord& r) {
    Query(DbId::Equipment,
          QStringLiteral("insert into tblEquipment (ManufacturerID, EquipmentName, "
                         "EquipmentDescription, EquipmentType) values (?, ?, ?, ?)"),
          registry_)
        .bind(r.manufacturerId)
        .bind(r.name)
        .bind(r.description)
        .bind(r.type)
        .exec();
    return idOf(r.manufacturerId, r.name).value_or(0);
}

void EquipmentModelTable::remove(qint64 id) {
    Query(DbId::Equipment, QStringLiteral("delete from tblEquipment where EquipmentID = ?"),
          registry_)
        .bind(id)
        .exec();
}

bool EquipmentModelTable::setDisplayAsDa(qint64 id, bool on) {
    Query q(DbId::Equipment,
            QStringLiteral("update tblEquipment set DisplayASDA = ? where EquipmentID = ?"),
            registry_);
    q.bind(on).bind(id).exec();
    return q.rowsAffected() > 0;
}

std::optional<PhysicalRecord> EquipmentModelTable::physical(qint64 id) {
    return readPhysical(registry_, "tblEquipment", "EquipmentID", id);
}

QHash<qint64, PhysicalRecord> EquipmentModelTable::physicalOf(const QList<qint64>& ids) {
    QHash<qint64, PhysicalRecord> out;
    out.reserve(ids.size());
    for (qsizetype from = 0; from < ids.size(); from += kRowsPerStatement) {
        const QList<qint64> part = ids.mid(from, kRowsPerStatement);
        Query q(DbId::Equipment,
                QStringLiteral("select EquipmentID, EquipmentH, EquipmentW, EquipmentD, "
                               "EquipmentWeight, EquipmentV, EquipmentP, EquipmentHValue, "
                               "equipmentVValue from tblEquipment where EquipmentID in (%1)")
                    .arg(placeholders(part.size())),
                registry_);
        for (qint64 id : part) q.bind(id);
        q.exec();
        RowReader r(q);
        while (q.next())
            out.insert(r.integer("EquipmentID"),
                       PhysicalRecord{r.real("EquipmentH"), r.real("EquipmentW"),
                                      r.real("EquipmentD"), r.real("EquipmentWeight"),
                                      r.real("EquipmentV"), r.real("EquipmentP"),
                                      r.text("EquipmentHValue"), r.text("equipmentVValue")});
    }
    return out;
}

bool EquipmentModelTable::setPhysical(qint64 id, const PhysicalRecord& r) {
    return writePhysical(registry_, "tblEquipment", "EquipmentID", id, r);
}

QList<ItemPrice> EquipmentModelTable::pricesOf(const QVariantList& ids) {
    return readItemPrices(registry_,
                          "select EquipmentID as ItemKey, ManufacturerID as Maker, EquipmentName "
                          "as ItemName, EquipmentVendor1 as Vendor1, EquipmentVendor2 as Vendor2, "
                          "EquipmentCost1 as Cost1, EquipmentCost2 as Cost2 from tblEquipment "
                          "where EquipmentID in (%1)",
                          ids);
}

}  // namespace tolvane::db
