#include "db/records/cable_types.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

namespace {

CableTypeRecord readCableType(const RowReader& r) {
    CableTypeRecord c;
    c.id = r.integer("CableTypeID");
    c.manufacturerId = r.text("ManufacturerID");
    c.partNumber = r.text("CableType");
    c.description = r.text("cabledescription");
    c.rating = r.text("CableRating");
    c.charZ = r.text("CableCharZ");
    c.gauge = r.text("cableGuage");
    c.conductors = r.text("cableConductors");
    c.shielding = r.text("CableShielding");
    c.multicore = r.flag("cablemulticore");
    c.cores = int(r.integer("cablecorenumber"));
    c.scheme = r.text("CableCoreScheme");
    return c;
}

CableCoreRecord readCore(const RowReader& r) {
    return {r.integer("PairID"), r.integer("CableTypeID"), r.text("PairNumber"),
            r.text("paircolorcode")};
}

QVariant textOrNull(const QString& s) {
    return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s);
}

std::optional<qint64> firstId(Query& q) {
    const QVariant id = q.scalar();
    if (!id.isValid() || id.isNull()) return std::nullopt;
    return id.toLongLong();
}

}  // namespace

QString CableCoreRecord::numberText() const {
    if (number.isNull()) return {};
    return QStringLiteral("%1").arg(number.toLongLong(), 2, 10, QLatin1Char('0'));
}

std::optional<CableTypeRecord> CableTypeTable::find(qint64 id) {
    Query q(DbId::Equipment, QStringLiteral("select * from tblCableTypes where CableTypeID = ?"),
            registry_);
    q.bind(id);
    return readFirst(q, readCableType);
}

QList<CableTypeRecord> CableTypeTable::beginningWith(const QString& manufacturerId,
                                                     const QString& find) {
    Query q(DbId::Equipment,
            QStringLiteral("select * from tblCableTypes where ManufacturerID = ? and %1 order by "
                           "CableType, CableTypeID")
                .arg(beginsWithSql(registry_.engine(DbId::Equipment), QStringLiteral("CableType"))),
            registry_);
    q.bind(manufacturerId).bind(beginsWithValue(find));
    return readAll(q, readCableType);
}

std::optional<qint64> CableTypeTable::idOf(const QString& manufacturerId,
                                           const QString& partNumber) {
    Query q(DbId::Equipment,
            QStringLiteral("select CableTypeID from tblCableTypes where CableType = ? and "
                           "ManufacturerID = ? order by CableTypeID"),
            registry_);
    q.bind(partNumber).bind(manufacturerId);
    return firstId(q);
}

qint64 CableTypeTable::insert(const CableTypeRecord& r) {
    Query(DbId::Equipment,
          QStringLiteral("insert into tblCableTypes (ManufacturerID, CableType, cabledescription, "
                         "CableRating, CableCharZ, cableGuage, cableConductors, CableShielding, "
                         "cablemulticore, cablecorenumber, CableCoreScheme) values (%1)")
              .arg(placeholders(11)),
          registry_)
        .bind(r.manufacturerId)
        .bind(r.partNumber)
        .bind(r.description)
        .bind(r.rating)
        .bind(r.charZ)
        .bind(r.gauge)
        .bind(r.conductors)
        .bind(r.shielding)
        .bind(r.multicore)
        .bind(r.cores)
        .bind(r.multicore ? QVariant(r.scheme) : textOrNull({}))
        .exec();
    return idOf(r.manufacturerId, r.partNumber).value_or(0);
}

void CableTypeTable::remove(qint64 id) {
    Query(DbId::Equipment, QStringLiteral("delete from tblCablePairs where CableTypeID = ?"),
          registry_)
        .bind(id)
        .exec();
    Query(DbId::Equipment, QStringLiteral("delete from tblCableTypes where CableTypeID = ?"),
          registry_)
        .bind(id)
        .exec();
}

QList<CableCoreRecord> CableTypeTable::cores(qint64 typeId) {
    Query q(DbId::Equipment,
            QStringLiteral("select * from tblCablePairs where CableTypeID = ? order by PairNumber, "
                           "PairID"),
            registry_);
    q.bind(typeId);
    return readAll(q, readCore);
}

QList<TypedCore> CableTypeTable::typedCores() {
    Query q(DbId::Equipment,
            QStringLiteral("select t.ManufacturerID, t.CableType, p.* from tblCablePairs p join "
                           "tblCableTypes t on t.CableTypeID = p.CableTypeID order by "
                           "t.ManufacturerID, t.CableType, p.PairNumber, p.PairID"),
            registry_);
    return readAll(q, [](const RowReader& r) {
        return TypedCore{r.text("ManufacturerID"), r.text("CableType"), readCore(r)};
    });
}

bool CableTypeTable::hasCore(qint64 typeId, const QString& number) {
    Query q(DbId::Equipment,
            QStringLiteral("select 1 from tblCablePairs where CableTypeID = ? and PairNumber = ?"),
            registry_);
    return q.bind(typeId).bind(number).scalar().isValid();
}

void CableTypeTable::insertCores(const QList<CableCoreRecord>& list) {
    const QString row = QStringLiteral("(?, ?, ?)");
    for (qsizetype from = 0; from < list.size(); from += kRowsPerStatement) {
        const QList<CableCoreRecord> part = list.mid(from, kRowsPerStatement);
        QStringList rows;
        rows.fill(row, part.size());
        Query q(DbId::Equipment,
                QStringLiteral("insert into tblCablePairs (CableTypeID, PairNumber, paircolorcode) "
                               "values %1")
                    .arg(rows.join(QStringLiteral(", "))),
                registry_);
        for (const CableCoreRecord& c : part)
            q.bind(c.typeId).bind(c.number).bind(textOrNull(c.marking));
        q.exec();
    }
}

bool CableTypeTable::setCoreMarking(qint64 coreId, const QString& marking) {
    Query q(DbId::Equipment,
            QStringLiteral("update tblCablePairs set paircolorcode = ? where PairID = ?"),
            registry_);
    q.bind(textOrNull(marking)).bind(coreId).exec();
    return q.rowsAffected() > 0;
}

QList<ItemPrice> CableTypeTable::pricesOf(const QVariantList& partNumbers) {
    return readItemPrices(registry_,
                          "select CableType as ItemKey, ManufacturerID as Maker, CableType as "
                          "ItemName, CableVendor1 as Vendor1, CableVendor2 as Vendor2, CableCost1 "
                          "as Cost1, CableCost2 as Cost2 from tblCableTypes where CableType in "
                          "(%1) order by CableTypeID",
                          partNumbers);
}

}  // namespace tolvane::db
