#include "db/records/bills_of_materials.h"

#include <QRegularExpression>
#include <QStringList>

#include "db/records/row_reader.h"
#include "db/schema.h"

namespace tolvane::db {

namespace {

// A stored date: SQLite keeps it as ISO text, PostgreSQL as a timestamp.
QDate dateOf(const QVariant& v) {
    if (v.typeId() == QMetaType::QString)
        return QDate::fromString(v.toString().left(10), Qt::ISODate);
    return v.toDate();
}

BomLine readLine(const RowReader& r) {
    BomLine l;
    l.itemKey = r.text("ItemKey");
    l.bill = r.text("FileName");
    l.bomClass = r.text("BOMClass");
    l.item = r.text("Item");
    l.manufacturer = r.text("Manufacturer");
    l.qty = r.real("QTY").value_or(0);
    l.vendor1 = r.text("vendor1");
    l.vendor2 = r.text("vendor2");
    l.cost1 = r.real("Cost1");
    l.cost2 = r.real("COST2");
    l.ext1 = r.real("Ext1");
    l.ext2 = r.real("Ext2");
    return l;
}

}  // namespace

QList<BomBill> BomTable::bills() {
    Query q(DbId::Project,
            QStringLiteral("select BOMFileName, BOMDate from tblBOMMaster order by BOMFileName"),
            registry_);
    return readAll(q, [](const RowReader& r) {
        return BomBill{r.text("BOMFileName"), dateOf(r.value("BOMDate"))};
    });
}

bool BomTable::exists(const QString& name) {
    Query q(DbId::Project, QStringLiteral("select 1 from tblBOMMaster where BOMFileName = ?"),
            registry_);
    q.bind(name).exec();
    return q.next();
}

QList<BomLine> BomTable::lines(const QString& bill) {
    Query q(DbId::Project,
            QStringLiteral("select * from tblBOM where FileName = ? order by BOMClass, Item"),
            registry_);
    q.bind(bill);
    return readAll(q, readLine);
}

void BomTable::insert(const BomBill& bill) {
    Query q(DbId::Project,
            QStringLiteral("insert into tblBOMMaster (BOMFileName, BOMDate) values (?, ?)"),
            registry_);
    q.bind(bill.name).bind(bill.date.startOfDay()).exec();
}

void BomTable::insert(const QList<BomLine>& lines) {
    const QString row = QStringLiteral("(%1)").arg(placeholders(11));
    for (qsizetype from = 0; from < lines.size(); from += kRowsPerStatement) {
        const QList<BomLine> part = lines.mid(from, kRowsPerStatement);
        QStringList rows;
        rows.fill(row, part.size());
        Query q(DbId::Project,
                QStringLiteral("insert into tblBOM (FileName, BOMClass, Item, Manufacturer, QTY, "
                               "vendor1, vendor2, Cost1, COST2, Ext1, Ext2) values %1")
                    .arg(rows.join(QStringLiteral(", "))),
                registry_);
        for (const BomLine& l : part)
            q.bind(l.bill)
                .bind(l.bomClass)
                .bind(l.item)
                .bind(l.manufacturer)
                .bind(l.qty)
                .bind(l.vendor1)
                .bind(l.vendor2)
                .bind(boundValue(l.cost1))
                .bind(boundValue(l.cost2))
                .bind(boundValue(l.ext1))
                .bind(boundValue(l.ext2));
        q.exec();
    }
}

void BomTable::recomputeExtensions(const QString& bill) {
    Query q(DbId::Project,
            QStringLiteral(
                "update tblBOM set Ext1 = QTY * Cost1, Ext2 = QTY * COST2 where FileName = ?"),
            registry_);
    q.bind(bill).exec();
}

void BomTable::remove(const QString& bill) {
    Query(DbId::Project, QStringLiteral("delete from tblBOMMaster where BOMFileName = ?"),
          registry_)
        .bind(bill)
        .exec();
    Query(DbId::Project, QStringLiteral("delete from tblBOM where FileName = ?"), registry_)
        .bind(bill)
        .exec();
}

QString BomTable::linesSelect() {
    return QStringLiteral("SELECT * FROM tblBOM");
}

QString BomTable::linesCondition(const QString& bill) {
    Query q(DbId::Project,
            QStringLiteral("select %1 from tblBOMMaster where BOMFileName = ?").arg(kGuidColumn),
            registry_);
    q.bind(bill);
    const QString guid = q.scalar().toString();
    static const QRegularExpression identity(QStringLiteral("^[0-9A-Fa-f-]+$"));
    if (!identity.match(guid).hasMatch()) return {};
    return QStringLiteral("FileName = (select BOMFileName from tblBOMMaster where %1 = '%2')")
        .arg(kGuidColumn, guid);
}

}  // namespace tolvane::db
