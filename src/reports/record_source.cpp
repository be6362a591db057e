// Running the data control's query for a report.
#include "reports/record_source.h"

#include <QRegularExpression>
#include <QSqlRecord>

#include "db/read_only_sql.h"
#include "reports/report_error.h"
#include "reports/report_renderer.h"

namespace tolvane::reports {

QStringList tablesRead(const QString& sql) {
    static const QRegularExpression token(QStringLiteral(
        R"('(?:[^']|'')*'|\[[^\]]*\]|"[^"]*"|[A-Za-z_][A-Za-z0-9_$]*(?:\.[A-Za-z_][A-Za-z0-9_$]*)?|[(),;])"));
    static const QStringList ends{"where",  "group",  "order", "having",  "limit",
                                  "join",   "inner",  "left",  "right",   "outer",
                                  "cross",  "on",     "union", "natural", "full",
                                  "select", "offset", "using", "except",  "intersect"};
    const auto unquote = [](QString t) {
        if (t.startsWith(QLatin1Char('[')) || t.startsWith(QLatin1Char('"')))
            t = t.mid(1, t.size() - 2);
        return t;
    };
    QStringList tables;
    enum { Scan, ExpectTable, AfterTable } state = Scan;
    bool inList = false;  // a FROM list, where a comma brings another table
    auto it = token.globalMatch(sql);
    while (it.hasNext()) {
        const QString t = it.next().captured();
        const QString lower = t.toLower();
        if (t.startsWith(QLatin1Char('\''))) {
            state = Scan;
            continue;
        }
        if (lower == QLatin1String("from") || lower == QLatin1String("join")) {
            state = ExpectTable;
            inList = lower == QLatin1String("from");
            continue;
        }
        switch (state) {
            case ExpectTable:
                if (t == QLatin1String("(")) {
                    state = Scan;  // a subquery: its own FROM is found as the scan goes on
                } else {
                    QString name = unquote(t);
                    // A schema-qualified name counts by its table.
                    if (name.contains(QLatin1Char('.'))) name = name.section(QLatin1Char('.'), -1);
                    tables << name;
                    state = AfterTable;
                }
                break;
            case AfterTable:
                if (t == QLatin1String(",") && inList)
                    state = ExpectTable;
                else if (ends.contains(lower) || t == QLatin1String(")") || t == QLatin1String(";"))
                    state = Scan, inList = false;
                // otherwise an alias ("as x" or "x"): stay
                break;
            case Scan:
                break;
        }
    }
    return tables;
}

bool isReplicationColumn(const QString& column) {
    for (const char* name : {"s_GUID", "s_Lineage", "s_Generation", "s_ColLineage"})
        if (column.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString quotedColumn(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QueryRecordSource::QueryRecordSource(DataControl data, db::Connections& registry, DataFilter filter,
                                     QList<SortField> order)
    : data_(std::move(data)),
      registry_(registry),
      filter_(std::move(filter)),
      order_(std::move(order)) {}

QueryRecordSource::~QueryRecordSource() = default;

void QueryRecordSource::start() {
    query_.reset();
    const auto dbId = databaseForKey(data_.databaseKey);
    if (!dbId)
        throw ReportError(QStringLiteral("the data control \"%1\" names no database (\"%2\")")
                              .arg(data_.name, data_.databaseKey));
    QString sql = data_.sql.trimmed();
    while (sql.endsWith(QLatin1Char(';'))) sql.chop(1);
    if (sql.isEmpty())
        throw ReportError(QStringLiteral("the data control \"%1\" has no query").arg(data_.name));
    // The layout's SQL is the program's own dialect (bracketed names, Jet's true).
    const db::Engine engine =
        registry_.isBound(*dbId) ? registry_.engine(*dbId) : db::Engine::SQLite;
    if (const QString problem = db::readOnlyProblem(engine, db::dialect::fromJet(engine, sql));
        !problem.isEmpty())
        throw ReportError(
            QStringLiteral("the report's query must be one SELECT statement: %1").arg(problem));
    for (const QString& table : tablesRead(sql)) {
        const auto home = db::homeOf(table);
        if (home && *home != *dbId)
            throw ReportError(
                QStringLiteral("the report's query reads %1, a table of the %2, but its data "
                               "control \"%3\" is bound to the %4")
                    .arg(table, db::dbTitle(*home), data_.name, db::dbTitle(*dbId)));
    }
    // The line break keeps the bracket out of a comment that ends the layout's query.
    if (!filter_.condition.trimmed().isEmpty())
        sql = QStringLiteral("select * from (%1\n) filtered where %2").arg(sql, filter_.condition);
    if (!registry_.isBound(*dbId))
        throw ReportError(QStringLiteral("the %1 is not open").arg(db::dbTitle(*dbId)));
    ranSql_ = db::dialect::fromJet(engine, sql);
    try {
        if (!order_.isEmpty()) ranSql_ = ordered(*dbId, ranSql_);
        query_ = std::make_unique<db::ReadOnlyQuery>(*dbId, ranSql_, registry_);
        for (const QVariant& v : filter_.values) query_->bind(v);
        query_->exec();
    } catch (const db::RefusedQuery& e) {
        // The layout's own query passed above: what is refused is the filter put over it.
        query_.reset();
        throw ReportError(
            QStringLiteral("the report's filter must be a condition on its query's rows: %1")
                .arg(e.reason()));
    } catch (const db::DbError& e) {
        query_.reset();
        throw ReportError(
            QStringLiteral("the report's query cannot be run. %1").arg(e.description()));
    }
    fields_.clear();
    const QSqlRecord record = query_->sql().record();
    for (int i = 0; i < record.count(); ++i) fields_ << record.fieldName(i);
}

QString QueryRecordSource::ordered(db::DbId id, const QString& sql) {
    // The result's columns first, from a run that gives no row: the keys name those.
    db::ReadOnlyQuery probe(id, QStringLiteral("select * from (%1\n) probed where 1 = 0").arg(sql),
                            registry_);
    for (const QVariant& v : filter_.values) probe.bind(v);
    probe.exec();
    QStringList columns;
    const QSqlRecord record = probe.sql().record();
    for (int i = 0; i < record.count(); ++i) columns << record.fieldName(i);
    QList<SortField> keys;
    for (const SortField& key : std::as_const(order_)) {
        const int column = columnOfField(columns, key.field);
        if (column < 0)
            throw ReportError(QStringLiteral("the report sorts its rows by the field \"%1\", "
                                             "which its query does not give (it gives %2)")
                                  .arg(key.field, columns.join(QStringLiteral(", "))));
        keys << SortField{{}, columns[column], key.descending};
    }
    return QStringLiteral("select * from (%1\n) sorted").arg(sql) +
           orderByClause(keys,
                         [](const QString&, const QString& field) { return quotedColumn(field); });
}

qint64 QueryRecordSource::count() {
    if (!query_) return -1;
    try {
        db::ReadOnlyQuery counted(
            *databaseForKey(data_.databaseKey),
            QStringLiteral("select count(*) from (%1\n) counted").arg(ranSql_), registry_);
        for (const QVariant& v : filter_.values) counted.bind(v);
        counted.exec();
        return counted.next() ? counted.value(0).toLongLong() : -1;
    } catch (const db::DbError& e) {
        throw ReportError(
            QStringLiteral("the report's query cannot be run. %1").arg(e.description()));
    }
}

bool QueryRecordSource::next() {
    return query_ && query_->next();
}

QVariant QueryRecordSource::value(int column) const {
    return query_ ? query_->value(column) : QVariant();
}

}  // namespace tolvane::reports
