// Reading the rows of a query by column name. The names are looked up once per result, without
// regard to case (the engines fold them differently: PostgreSQL gives them in lower case), so a
// record reads the same whatever order a table's columns were made in. A name the result does
// not have is a fault of the statement, not of the data, and is reported as one.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QSqlRecord>
#include <QString>
#include <QVariant>
#include <optional>
#include <utility>

#include "db/database.h"

namespace tolvane::db {

class RowReader {
  public:
    // Reads the current row of `q`, which has been run.
    explicit RowReader(Query& q);

    QVariant value(const char* column) const;
    // Null text reads as a null string, as the column held it.
    QString text(const char* column) const { return value(column).toString(); }
    qint64 integer(const char* column) const { return value(column).toLongLong(); }
    // A null flag is false.
    bool flag(const char* column) const { return value(column).toBool(); }
    std::optional<double> real(const char* column) const;
    std::optional<qint64> optionalInteger(const char* column) const;
    QDateTime dateTime(const char* column) const { return value(column).toDateTime(); }

  private:
    int index(const char* column) const;

    Query& q_;
    QSqlRecord record_;
    // Column names are mostly literals that every row asks for again: found by their address
    // first (the name is compared too, as a buffer may be reused for another), so that a row
    // does not build a string for each of its columns.
    struct Named {
        QByteArray name;
        int index = -1;
    };
    mutable QHash<const char*, Named> byAddress_;
    mutable QHash<QString, int> indexes_;
};

// Runs the query and reads each of its rows into a record.
template <class Read>
auto readAll(Query& q, Read read) -> QList<decltype(read(std::declval<const RowReader&>()))> {
    q.exec();
    RowReader r(q);
    QList<decltype(read(r))> out;
    while (q.next()) out << read(r);
    return out;
}

// Runs the query and reads its first row into a record; nullopt when it gives none.
template <class Read>
auto readFirst(Query& q, Read read)
    -> std::optional<decltype(read(std::declval<const RowReader&>()))> {
    q.exec();
    RowReader r(q);
    if (!q.next()) return std::nullopt;
    return read(r);
}

// "?, ?, ?": the placeholders of `count` values.
QString placeholders(qsizetype count);
// Statements that name many rows take them in parts of this many, well below every engine's
// limit on parameters.
constexpr int kRowsPerStatement = 500;

// "column LIKE ? ESCAPE '\'" without regard to letter case on either engine: with
// beginsWithValue(find) bound, the rows whose column begins with the text, the user's % and _
// taken literally.
QString beginsWithSql(Engine engine, const QString& column);
QString beginsWithValue(const QString& find);

// A value to bind for an optional number: the number, or a typed null.
QVariant boundValue(const std::optional<double>& v);
QVariant boundValue(const std::optional<qint64>& v);

}  // namespace tolvane::db
