#include "db/records/table_copy.h"

#include "db/records/row_reader.h"

namespace tolvane::db {

QList<QVariantList> TableCopy::rows(const QString& table, const QStringList& columns,
                                    const QStringList& orderBy) {
    Query q(db_,
            QStringLiteral("select %1 from %2 order by %3")
                .arg(columns.join(QStringLiteral(", ")), table, orderBy.join(QStringLiteral(", "))),
            registry_);
    q.exec();
    RowReader r(q);
    QList<QVariantList> out;
    while (q.next()) {
        QVariantList row;
        row.reserve(columns.size());
        for (const QString& c : columns) row << r.value(c.toLatin1().constData());
        out << row;
    }
    return out;
}

void TableCopy::insert(const QString& table, const QStringList& columns,
                       const QVariantList& values) {
    const QString sql =
        QStringLiteral("insert into %1 (%2) values (%3)")
            .arg(table, columns.join(QStringLiteral(", ")), placeholders(columns.size()));
    auto it = inserts_.find(sql);
    if (it == inserts_.end())
        // Made in place: a statement is not copied.
        it = inserts_.emplace(sql, std::make_unique<Query>(db_, sql, registry_)).first;
    Query& q = *it->second;
    for (const QVariant& v : values) q.bind(v);
    q.exec();
}

}  // namespace tolvane::db
