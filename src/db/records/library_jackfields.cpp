#include "db/records/library_jackfields.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

const QString kSelect = QStringLiteral(
    "select j.*, m.ManufacturerName from tblJackFields j left join tblManufacturers m on "
    "m.ManufacturerID = j.ManufacturerID");

LibraryJackfieldRecord readModel(const RowReader& r) {
    LibraryJackfieldRecord j;
    j.id = r.integer("JackFieldID");
    j.manufacturerId = r.text("ManufacturerID");
    j.manufacturerName = r.text("ManufacturerName");
    j.name = r.text("JackFieldName");
    j.description = r.text("EquipmentDescription");
    j.rows = int(r.integer("JFRows"));
    j.columns = int(r.integer("JFCols"));
    j.frontConn = r.text("FrontConn");
    j.rearConn = r.text("RearConn");
    return j;
}

bool changed(Query& q) {
    q.exec();
    return q.rowsAffected() > 0;
}

}  // namespace

std::optional<LibraryJackfieldRecord> LibraryJackfieldTable::find(qint64 id) {
    Query q(DbId::Equipment, kSelect + QStringLiteral(" where j.JackFieldID = ?"), registry_);
    q.bind(id);
    return readFirst(q, readModel);
}

QList<LibraryJackfieldRecord> LibraryJackfieldTable::beginningWith(const QString& manufacturerId,
                                                                   const QString& find) {
    Query q(DbId::Equipment,
            kSelect + QStringLiteral(" where j.ManufacturerID = ? and %1 order by "
                                     "j.JackFieldName, j.JackFieldID")
                          .arg(beginsWithSql(registry_.engine(DbId::Equipment),
                                             QStringLiteral("j.JackFieldName"))),
            registry_);
    q.bind(manufacturerId).bind(beginsWithValue(find));
    return readAll(q, readModel);
}

std::optional<qint64> LibraryJackfieldTable::idOf(const QString& manufacturerId,
                                                  const QString& name) {
    Query q(DbId::Equipment,
            QStringLiteral("select JackFieldID from tblJackFields where ManufacturerID = ? and "
                           "JackFieldName = ? order by JackFieldID"),
            registry_);
    const QVariant id = q.bind(manufacturerId).bind(name).scalar();
    if (!id.isValid() || id.isNull()) return std::nullopt;
    return id.toLongLong();
}

qint64 LibraryJackfieldTable::insert(const LibraryJackfieldRecord& r) {
    Query(DbId::Equipment,
          QStringLiteral("insert into tblJackFields (ManufacturerID, JackFieldName, "
                         "EquipmentDescription, JFRows, JFCols, FrontConn, RearConn) values (?, "
                         "?, ?, ?, ?, ?, ?)"),
          registry_)
        .bind(r.manufacturerId)
        .bind(r.name)
        .bind(r.description)
        .bind(r.rows)
        .bind(r.columns)
        .bind(r.frontConn)
        .bind(r.rearConn)
        .exec();
    return idOf(r.manufacturerId, r.name).value_or(0);
}

bool LibraryJackfieldTable::setDescription(qint64 id, const QString& description) {
    Query q(
        DbId::Equipment,
        QStringLiteral("update tblJackFields set EquipmentDescription = ? where JackFieldID = ?"),
        registry_);
    q.bind(description).bind(id);
    return changed(q);
}

bool LibraryJackfieldTable::setSize(qint64 id, const LibraryJackfieldRecord& r) {
    Query q(DbId::Equipment,
            QStringLiteral("update tblJackFields set JFRows = ?, JFCols = ?, FrontConn = ?, "
                           "RearConn = ? where JackFieldID = ?"),
            registry_);
    q.bind(r.rows).bind(r.columns).bind(r.frontConn).bind(r.rearConn).bind(id);
    return changed(q);
}

bool LibraryJackfieldTable::remove(qint64 id) {
    Query q(DbId::Equipment, QStringLiteral("delete from tblJackFields where JackFieldID = ?"),
            registry_);
    q.bind(id);
    return changed(q);
}

std::optional<PhysicalRecord> LibraryJackfieldTable::physical(qint64 id) {
    return readPhysical(registry_, "tblJackFields", "JackFieldID", id);
}

bool LibraryJackfieldTable::setPhysical(qint64 id, const PhysicalRecord& r) {
    return writePhysical(registry_, "tblJackFields", "JackFieldID", id, r);
}

QList<ItemPrice> LibraryJackfieldTable::pricesOf(const QVariantList& ids) {
    return readItemPrices(registry_,
                          "select JackFieldID as ItemKey, ManufacturerID as Maker, JackFieldName "
                          "as ItemName, jfvendor1 as Vendor1, jfvendor2 as Vendor2, jfcost1 as "
                          "Cost1, jfcost2 as Cost2 from tblJackFields where JackFieldID in (%1)",
                          ids);
}

}  // namespace tolvane::db
