// Deciding about the rows a merge set aside.
#include "db/conflicts.h"

#include <QSqlRecord>

#include "db/schema.h"

namespace tolvane::db {

namespace {

bool isReplication(const QString& column) {
    for (const char* name : {"s_GUID", "s_Lineage", "s_Generation", "s_ColLineage"})
        if (column.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return true;
    return false;
}

bool isOwnColumn(const QString& column) {
    for (const QString& name : {kConflictId, kConflictRowGuid, kConflictReason})
        if (column.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

int columnIndex(const QStringList& columns, const QString& name) {
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

RowSet read(Query& q) {
    RowSet set;
    const QSqlRecord record = q.sql().record();
    for (int i = 0; i < record.count(); ++i) set.columns << record.fieldName(i);
    while (q.next()) {
        QVariantList row;
        for (int i = 0; i < record.count(); ++i) row << q.value(i);
        set.rows.push_back(row);
    }
    return set;
}

}  // namespace

RowSet Conflicts::conflicts(const QString& table) const {
    const Engine e = registry_.engine(id_);
    Query q(id_,
            QStringLiteral("select * from %1 order by %2")
                .arg(quotedName(e, table + kConflictSuffix), quotedName(e, kConflictId)),
            registry_);
    q.exec();
    return read(q);
}

QVariantList Conflicts::conflictRow(const QString& table, qint64 conflictId,
                                    QStringList* columns) const {
    const Engine e = registry_.engine(id_);
    Query q(id_,
            QStringLiteral("select * from %1 where %2 = ?")
                .arg(quotedName(e, table + kConflictSuffix), quotedName(e, kConflictId)),
            registry_);
    q.bind(conflictId).exec();
    const RowSet set = read(q);
    if (set.rows.empty())
        throw AppError(err::kNoCurrentRecord,
                       QStringLiteral("The conflicting record is no longer there."));
    if (columns) *columns = set.columns;
    return set.rows.front();
}

RowSet Conflicts::existing(const QString& table, qint64 conflictId) const {
    QStringList columns;
    const QVariantList row = conflictRow(table, conflictId, &columns);
    const QVariant guid = row.value(columnIndex(columns, kConflictRowGuid));
    const Engine e = registry_.engine(id_);
    Query q(id_,
            QStringLiteral("select * from %1 where %2 = ?")
                .arg(quotedName(e, table), quotedName(e, kGuidColumn)),
            registry_);
    q.bind(guid).exec();
    return read(q);
}

ConflictReason Conflicts::reason(const QString& table, qint64 conflictId) const {
    QStringList columns;
    const QVariantList row = conflictRow(table, conflictId, &columns);
    if (row.value(columnIndex(columns, kConflictReason)).toInt() == int(ConflictReason::Integrity))
        return ConflictReason::Integrity;
    return existing(table, conflictId).rows.empty() ? ConflictReason::Deleted
                                                    : ConflictReason::Changed;
}

void Conflicts::use(const QString& table, qint64 conflictId) {
    const ConflictReason why = reason(table, conflictId);
    if (why == ConflictReason::Integrity)
        throw AppError(err::kDatabase,
                       QStringLiteral("A record whose parent is missing can only be deleted."));
    QStringList columns;
    const QVariantList row = conflictRow(table, conflictId, &columns);
    // The key that numbers the table's rows stays the one in use (or is given anew).
    QStringList numbered;
    for (const ExistingColumn& c : existingColumns(id_, registry_, table))
        if (c.identity || (c.primaryKey && c.declaredType.compare(QLatin1String("INTEGER"),
                                                                  Qt::CaseInsensitive) == 0))
            numbered << c.name;
    QStringList names;
    QVariantList values;
    const QVariant guid = row.value(columnIndex(columns, kConflictRowGuid));
    for (int i = 0; i < columns.size(); ++i) {
        if (isReplication(columns[i]) || isOwnColumn(columns[i]) ||
            numbered.contains(columns[i].toLower()))
            continue;
        names << columns[i];
        values << row.value(i);
    }
    const Engine e = registry_.engine(id_);
    Transaction tx(id_, registry_);
    if (why == ConflictReason::Changed) {
        QStringList sets;
        for (const QString& n : names) sets << quotedName(e, n) + QStringLiteral(" = ?");
        Query q(id_,
                QStringLiteral("update %1 set %2 where %3 = ?")
                    .arg(quotedName(e, table), sets.join(QStringLiteral(", ")),
                         quotedName(e, kGuidColumn)),
                registry_);
        for (const QVariant& v : values) q.bind(v);
        q.bind(guid).exec();
    } else {
        QStringList quotedNames, marks;
        for (const QString& n : names) {
            quotedNames << quotedName(e, n);
            marks << QStringLiteral("?");
        }
        Query q(id_,
                QStringLiteral("insert into %1 (%2) values (%3)")
                    .arg(quotedName(e, table), quotedNames.join(QStringLiteral(", ")),
                         marks.join(QStringLiteral(", "))),
                registry_);
        for (const QVariant& v : values) q.bind(v);
        q.exec();
    }
    discard(table, conflictId);
    tx.commit();
}

void Conflicts::discard(const QString& table, qint64 conflictId) {
    const Engine e = registry_.engine(id_);
    Query(id_,
          QStringLiteral("delete from %1 where %2 = ?")
              .arg(quotedName(e, table + kConflictSuffix), quotedName(e, kConflictId)),
          registry_)
        .bind(conflictId)
        .exec();
}

}  // namespace tolvane::db
