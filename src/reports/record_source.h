// The rows a report prints. The renderer reads them once from the start for every pass it
// makes (twice when the layout shows the page count), one row at a time: no pass keeps more
// than the current row, so a report of any length runs in constant memory.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <optional>

#include "db/database.h"
#include "reports/report_layout.h"

namespace tolvane::reports {

class RecordSource {
  public:
    virtual ~RecordSource() = default;
    // (Re)starts at the first row. Throws ReportError.
    virtual void start() = 0;
    virtual bool next() = 0;
    virtual QVariant value(int column) const = 0;
    // The columns of the result, valid after start().
    virtual QStringList fields() const = 0;
    // How many rows a pass reads, for progress: -1 when it is not known. Throws ReportError.
    virtual qint64 count() { return -1; }
};

// Rows held in memory: generated reports, and tests.
class TableRecordSource : public RecordSource {
  public:
    TableRecordSource(QStringList fields, QList<QVariantList> rows)
        : fields_(std::move(fields)), rows_(std::move(rows)) {}
    void start() override { at_ = -1; }
    bool next() override { return ++at_ < rows_.size(); }
    QVariant value(int column) const override { return rows_.value(at_).value(column); }
    QStringList fields() const override { return fields_; }
    qint64 count() override { return rows_.size(); }

  private:
    QStringList fields_;
    QList<QVariantList> rows_;
    qsizetype at_ = -1;
};

// A filter the report window or a command puts over the data control's rows: an SQL condition
// on the query's columns whose user values come in as parameters ("FileName = ?", {name}).
struct DataFilter {
    QString condition{};
    QVariantList values{};
};

// The data control's query run on the connection its database key names, as a db::ReadOnlyQuery:
// it reads and never writes. start() refuses, with "Error: " and the reason, a key of no
// database, a query that is not one SELECT that only reads (db/read_only_sql.h), a filter that
// would make it more than that, a query that reads a table another database holds, and a query
// the database cannot run.
//
// An order (rowOrder() of the layout) sorts the rows by columns of the query's result, found as
// bound fields find theirs (columnOfField) and quoted as the result names them; a key that
// names no column is refused.
class QueryRecordSource : public RecordSource {
  public:
    QueryRecordSource(DataControl data, db::Connections& registry, DataFilter filter = {},
                      QList<SortField> order = {});
    ~QueryRecordSource() override;
    void start() override;
    bool next() override;
    QVariant value(int column) const override;
    QStringList fields() const override { return fields_; }
    // Runs the query once more, counting its rows; valid after start().
    qint64 count() override;

  private:
    // The statement that reads sql's rows in the order. Throws ReportError, db::DbError.
    QString ordered(db::DbId id, const QString& sql);
    DataControl data_;
    db::Connections& registry_;
    DataFilter filter_;
    QList<SortField> order_;
    std::unique_ptr<db::ReadOnlyQuery> query_;
    QStringList fields_;
    QString ranSql_;  // the statement start() ran, filter and order included
};

// A column name quoted for either engine: in double quotes, a quote inside doubled, its case
// kept (the name as the query's result gives it).
QString quotedColumn(const QString& name);

// The columns replication adds to every table of databases made by the original program
// (s_GUID, s_Lineage, s_Generation, s_ColLineage): never shown to the user.
bool isReplicationColumn(const QString& column);

// The tables a SELECT reads (after FROM, in its comma list, and after JOIN), as written, without
// quotes or brackets.
QStringList tablesRead(const QString& sql);

}  // namespace tolvane::reports
